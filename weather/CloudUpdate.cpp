#include "weather/CloudUpdate.h"

#include "core/Messages.h"
#include "platform/Files.h"
#include "weather/CloudCache.h"
#include "weather/WeatherTexts.h"

#include <utility>

namespace nimbora {

bool TCloudUpdate::TReceiver::event(QEvent* event) {
    if (IsMessageEvent(event)) {
        const auto* message = static_cast<const TMessageEvent*>(event);
        if (message->Message == UM_PROGRESS) Owner.Progress(message->WParam, message->LParam);
        return true;
    }
    if (event->type() == TSynchronizer::EventType) {
        Owner.Synchronizer.RunPending();
        return true;
    }
    if (event->type() == TCallEvent::EventType) {
        static_cast<TCallEvent*>(event)->Call();
        return true;
    }
    return QObject::event(event);
}

bool TCloudUpdateResult::Failed() const {
    return !Installed && StatusText != texts::NoNewerPictureText;
}

TCloudUpdate::TCloudUpdate(TMapInfo& mapInfo, std::string dataFolder, std::string tempFolder)
    : MapInfo(mapInfo), DataFolder(std::move(dataFolder)), TempFolder(std::move(tempFolder)) {}

TCloudUpdate::~TCloudUpdate() {
    Cancel();
}

bool TCloudUpdate::FetchCatalogue(const std::string& catalogueUrl, const TProxy& proxy) {
    if (Fetching) return false;
    Stop(WorkTh); // one that has ended and reported
    Fetching = true;
    WorkFile = MakeTempFileName(TempFolder);
    TWorkInfo info;
    info.Url = CatalogueRequestUrl(catalogueUrl);
    info.FileName = WorkFile;
    info.Proxy = proxy;
    if (WorkFile.empty()) info.Url.clear(); // nowhere to put it: end as a failed transfer
    WorkTh = std::make_unique<TWorkTh>(std::move(info));
    WorkTh->OnTerminate = [this] { CatalogueEnded(); };
    WorkTh->Start(&Receiver);
    return true;
}

void TCloudUpdate::CatalogueEnded() {
    Fetching = false;
    std::optional<TCatalogue> catalogue;
    if (WorkTh->ThError() == ErrNone && FileExists(WorkFile)) catalogue = ReadCatalogue(WorkFile);
    DeleteFileIfExists(WorkFile);
    WorkFile.clear();
    if (OnCatalogue) OnCatalogue(catalogue ? &*catalogue : nullptr);
}

bool TCloudUpdate::Start(unsigned serverIndex, const TProxy& proxy, const THistoryBounds& history) {
    if (Running) return false;
    Running = true;
    History = history;
    ++Generation;
    Stop(DownTh); // one that has ended and reported
    const auto index = ChooseServer(serverIndex, MapInfo.Map.size());
    if (!index) {
        // Nothing to fetch from: the same end as a download that brought nothing.
        Finish({"Error: Cannot download data", true});
        return true;
    }
    const TMap& server = MapInfo.Map[*index];
    MapInfo.DownFilter = server.Filter;
    MapInfo.DownCredit = server.Credit;
    DownFile = MakeTempFileName(TempFolder);
    if (DownFile.empty()) {
        Finish({"Error: Cannot download data"});
        return true;
    }
    if (OnProgress) OnProgress("Connecting...");
    // Without a picture in hand the server must send one, whatever its date.
    const bool inHand = FindCachedClouds(DataFolder).Type != TypUnk;
    TDownInfo info =
        MakeDownInfo(server, proxy, inHand ? MapInfo.LastMap.DateTime : 0, DownFile, &Receiver);
    DownLen = -1;
    DownTh = std::make_unique<TDownThread>(std::move(info), &Synchronizer,
                                           [this](TDownThread& thread) { Results(thread); });
    DownTh->Start(&Receiver);
    return true;
}

void TCloudUpdate::Progress(std::intptr_t wParam, std::intptr_t lParam) {
    if (!Running || !DownTh) return;
    if (lParam == LpProgressLength) {
        DownLen = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
    } else if (auto text = ProgressStatusText(static_cast<std::uint32_t>(wParam), DownLen)) {
        if (OnProgress) OnProgress(*text);
    }
}

// On the owner's thread while the worker waits, as its last act; also from Cancel's wait, when
// nothing is taken any more.
void TCloudUpdate::Results(TDownThread& thread) {
    // The body may have been renamed on the way (a gzip coding undone).
    DownFile = thread.DownInfo.FileName;
    // With no picture in hand whatever arrives is newer, even when it has the date the settings
    // still remember.
    const std::string inHand = FindCachedClouds(DataFolder).Path;
    const TDateTimeZ remembered = MapInfo.LastMap;
    if (inHand.empty()) MapInfo.LastMap = TDateTimeZ{};
    TDownOutcome outcome =
        DownResults(thread, Running ? ActGetMap : ActNone, MapInfo, inHand);
    if (!outcome.NewPicture) MapInfo.LastMap = remembered;
    outcome.PreviousDate = remembered;
    if (!Running || !outcome.NewPicture) {
        // A body that is not used (no newer picture) must not pile up in the temporary folder.
        DeleteFileIfExists(DownFile);
        DownFile.clear();
        if (Running) Finish({outcome.StatusText, outcome.ShowHints, outcome.ConnectionFailed});
        return;
    }
    const TCloudUpdateResult result{outcome.StatusText};
    PostCall(&Receiver, [this, generation = Generation, type = outcome.Type,
                         previous = outcome.PreviousDate, result] {
        if (generation == Generation && Running) Install(type, previous, result);
    });
}

void TCloudUpdate::Install(TTyp type, const TDateTimeZ& previousDate, TCloudUpdateResult result) {
    const TInstallResult installed =
        InstallCloudPicture(DownFile, DataFolder, type, DownloadFacts(MapInfo), History);
    DownFile.clear();
    if (installed.Installed) {
        AdoptDownloadLabels(MapInfo);
        result.Installed = true;
        result.HistoryText = installed.HistoryText;
    } else {
        // The picture in hand stays, and so do its date, filter level and credit.
        MapInfo.LastMap = previousDate;
        ForgetDownloadLabels(MapInfo);
        result = {installed.ErrorText, true};
    }
    Finish(std::move(result));
}

void TCloudUpdate::Finish(TCloudUpdateResult result) {
    PostCall(&Receiver, [this, generation = Generation, result = std::move(result)] {
        if (generation != Generation || !Running) return;
        Running = false;
        if (OnFinished) OnFinished(result);
    });
}

// Asks a worker to stop and waits for it; a result it still delivers runs meanwhile.
template <class TThread> void TCloudUpdate::Stop(std::unique_ptr<TThread>& worker) {
    if (!worker) return;
    worker->DetachEndCallback();
    worker->Terminate();
    TThread* thread = worker.get();
    Synchronizer.WaitUntil([thread] { return thread->Finished(); });
    worker.reset();
}

void TCloudUpdate::Cancel() {
    Running = Fetching = false;
    ++Generation;
    Stop(DownTh);
    Stop(WorkTh);
    if (!DownFile.empty()) DeleteFileIfExists(DownFile);
    if (!WorkFile.empty()) DeleteFileIfExists(WorkFile);
    DownFile.clear();
    WorkFile.clear();
}

} // namespace nimbora
