#include "weather/ThSrvc.h"

#include "core/IniFile.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "net/HttpCli.h"
#include "platform/Files.h"
#include "platform/IniStore.h"
#include "weather/WeatherTexts.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <cstdio>

namespace nimbora {

TCatalogue ReadCatalogue(const std::string& path) {
    TCatalogue c;
    const TIniFile ini = ReadIniFile(path);
    if (!ini.SectionExists(texts::ServiceSection) ||
        ini.ReadString(texts::ServiceSection, texts::IdentityKey, "") != texts::ProductFolder)
        return c;
    c.IdentityOk = true;

    const std::string code = ini.ReadString(texts::VersionSection, texts::VersionCodeKey, "");
    if (code != texts::CurrentVersion) {
        c.HasOffer = true;
        c.UpdateUrl = ini.ReadString(texts::VersionSection, texts::LinkKey, "");
        const std::string versionText =
            ini.ReadString(texts::VersionSection, texts::VersionTextKey, "");
        c.OfferText = std::string(texts::ProductName) + ": version " + versionText + " (build " +
                      code + ") is available. Download it now?";
    }
    c.HomeUrl = ini.ReadString(texts::InfoSection, texts::LinkKey, "");
    c.HomeContact = ini.ReadString(texts::InfoSection, texts::ContactKey, "");
    c.ProdUrl = ini.ReadString(texts::InfoSection, texts::MakerKey, "");
    c.PopMsg = ini.ReadString(texts::InfoSection, texts::NoticeKey, "");
    c.PopUrl = ini.ReadString(texts::InfoSection, texts::NoticeLinkKey, "");

    c.ServerCount = ini.ReadInteger("MapDef", "Count", 0);
    for (int i = 1; i <= std::min(c.ServerCount, MaxCatalogueServers); ++i) {
        const std::string section = "Map" + std::to_string(i);
        if (!ini.SectionExists(section)) continue;
        c.Servers.push_back(TMap{ini.ReadString(section, "Url", ""),
                                 ini.ReadByte(section, "Filter", 0),
                                 Utf8ToCp1252(ini.ReadString(section, "Credit", ""))});
    }
    c.LinkCount = ini.ReadInteger("ButDef", "Count", 0);
    for (int i = 1; i <= std::min(c.LinkCount, MaxCatalogueLinks); ++i) {
        const std::string section = "But" + std::to_string(i);
        if (!ini.SectionExists(section)) continue;
        c.Links.push_back(TButOn{ini.ReadString(section, "Caption", ""),
                                 ini.ReadString(section, "Url", ""),
                                 ini.ReadInteger(section, "Icon", 0), section});
    }
    return c;
}

void ApplyServiceLinks(const TCatalogue& catalogue, TService& service) {
    if (!catalogue.HomeUrl.empty()) service.HomeUrl = catalogue.HomeUrl;
    if (!catalogue.HomeContact.empty()) service.HomeContact = catalogue.HomeContact;
    if (!catalogue.ProdUrl.empty()) service.ProdUrl = catalogue.ProdUrl;
    service.PopMsg = catalogue.PopMsg;
    service.PopUrl = catalogue.PopUrl;
    if (catalogue.HasOffer) service.UpdateUrl = catalogue.UpdateUrl;
}

bool TakeNoticeDay(TService& service, const std::string& today) {
    if (service.DateShown == today) return false;
    service.DateShown = today;
    return true;
}

bool TakeNoticeDay(TService& service, const std::string& dataFolder, const std::string& today) {
    const std::string noticeFile = dataFolder + texts::NoticeFileName;
    service.DateShown =
        ReadIniFile(noticeFile).ReadString(texts::NoticeSection, texts::DateShownKey, "");
    if (!TakeNoticeDay(service, today)) return false;
    try {
        WriteIniString(noticeFile, texts::NoticeSection, texts::DateShownKey, today);
    } catch (const TSettingsWriteError&) {
        // Not remembering the day only means the notices may come again today.
    }
    return true;
}

std::string CatalogueRequestUrl(const std::string& catalogueUrl) {
    if (catalogueUrl.empty()) return {};
    const char joint = catalogueUrl.find('?') == std::string::npos ? '?' : '&';
    return catalogueUrl + joint + "prog=" + texts::ProductName + "&ver=" + texts::CurrentVersion +
           "&lang=en";
}

TWorkTh::~TWorkTh() {
    Terminate();
    Join();
}

void TWorkTh::Execute() {
    if (Terminated()) return;
    FError = ErrUndecided;
    Connected = false;
    Working = true;

    THttpCli client;
    THttpRequest& request = client.Request;
    request.Proxy = HttpProxyOf(WorkInfo.Proxy, WorkInfo.Url);
    request.Url = WorkInfo.Url;
    request.Agent = texts::CatalogueAgent;
    request.Reference.clear();
    request.From = texts::ProductName;
    request.Version = THttpVersion::Http10;
    request.FollowRelocation = true;
    request.Timeouts.ConnectMs = ConnectTimeoutMs;
    request.Timeouts.LowSpeedSeconds = LowSpeedSeconds;

    client.OnDocBegin = [&](const THttpDocInfo&) {
        client.CreateBodyFile(WorkInfo.FileName, MaxCatalogueBytes);
    };
    client.OnDocEnd = [&] { client.CloseBodySink(); };
    client.OnSessionConnected = [this] { Connected = true; };
    client.OnSessionClosed = [this] { Connected = false; };
    client.OnRequestDone = [this](int transportError, int status) {
        if (transportError != 0) {
            FError = ErrTransport;
        } else if (status >= 200 && status <= 299) {
            FError = FileSize(WorkInfo.FileName) > 0 ? ErrNone : ErrNoBody;
        } else if (status >= 300 && status <= 399) {
            FError = ErrNoBody; // a redirect that was not followed: no catalogue
        } else {
            FError = ErrStatus;
        }
        Working = false;
    };

    if (WorkInfo.Url.empty() || !client.GetAsync()) {
        FError = ErrNoBody;
    } else {
        while ((Connected || Working) && client.Busy()) {
            client.Step(10);
            if (Terminated()) {
                if (client.Busy()) client.Abort();
                FError = ErrCancelled;
                break;
            }
        }
        if (FError == ErrUndecided) FError = ErrNoBody;
    }
    client.CloseBodySink();
    if (FError != ErrNone) std::remove(WorkInfo.FileName.c_str());
    if (WorkInfo.MainHandle)
        PostMessage(WorkInfo.MainHandle, UM_CATALOGUE,
                    FError == ErrNone ? WpCatalogueOk : WpCatalogueFailed);
}

} // namespace nimbora
