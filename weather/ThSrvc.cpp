#include "weather/ThSrvc.h"

#include "app/Messages.h"
#include "app/Texts.h"
#include "net/HttpCli.h"

#include <cstdio>
#include <sys/stat.h>

namespace nimbora {

namespace {

long long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

} // namespace

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
    FError = -1;
    Connected = false;
    Working = true;

    THttpCli client;
    THttpRequest& request = client.Request;
    if (WorkInfo.Proxy.Enabled) {
        request.Proxy.Host = WorkInfo.Proxy.Address;
        request.Proxy.Port = WorkInfo.Proxy.Port;
        if (WorkInfo.Proxy.Authenticate) {
            request.Proxy.Username = WorkInfo.Proxy.Username;
            request.Proxy.Password = WorkInfo.Proxy.Password;
        }
    }
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
            FError = 3;
        } else if (status >= 200 && status <= 299) {
            FError = FileSize(WorkInfo.FileName) > 0 ? 0 : 1;
        } else if (status >= 300 && status <= 399) {
            FError = 1; // a redirect that was not followed: no catalogue
        } else {
            FError = 2;
        }
        Working = false;
    };

    if (WorkInfo.Url.empty() || !client.GetAsync()) {
        FError = 1;
    } else {
        while ((Connected || Working) && client.Busy()) {
            client.Step(10);
            if (Terminated()) {
                if (client.Busy()) client.Abort();
                FError = 4;
                break;
            }
        }
        if (FError < 0) FError = 1;
    }
    client.CloseBodySink();
    if (FError > 0) std::remove(WorkInfo.FileName.c_str());
    if (WorkInfo.MainHandle) PostMessage(WorkInfo.MainHandle, UM_CATALOGUE, FError == 0 ? 1 : 0);
}

} // namespace nimbora
