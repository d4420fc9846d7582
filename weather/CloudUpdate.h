#pragma once
// One conductor of a cloud picture update, for the window's "Update weather", the command
// line's --update and any other caller alike: the catalogue fetch that may bring the server
// list, the download from one server, and the installation of a newer picture with its facts
// and labels. It owns both workers and their temporary files.
//
// Everything it reports runs on the owner's thread, from the event loop, never while a worker
// waits. Each Start that returns true is answered by exactly one OnFinished, unless Cancel (or
// the destructor) comes first; after that nothing more is reported. Callbacks must not destroy
// the conductor.
#include "core/Synchronize.h"
#include "net/Proxy.h"
#include "weather/CloudHistory.h"
#include "weather/MapInfo.h"
#include "weather/ThDown.h"
#include "weather/ThSrvc.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace nimbora {

// How an update ended, as the window's status lines show it.
struct TCloudUpdateResult {
    std::string StatusText;        // the first status line; empty: it stays as it is
    bool ShowHints = false;        // the two lower lines become ErrorHintLines(...)
    bool ConnectionFailed = false; // ...which then also say where the proxy is set
    bool Installed = false;        // a newer picture is in hand now
    std::string HistoryText = {};  // why the new picture could not be kept in the history

    // Neither a new picture nor the server's word that there is none newer.
    bool Failed() const;
};

class TCloudUpdate {
public:
    // mapInfo holds the servers and the picture in hand; the update writes its date and labels.
    TCloudUpdate(TMapInfo& mapInfo, std::string dataFolder, std::string tempFolder);
    ~TCloudUpdate();
    TCloudUpdate(const TCloudUpdate&) = delete;
    TCloudUpdate& operator=(const TCloudUpdate&) = delete;

    // "Connecting..." and "Downloading ..." for the first status line.
    std::function<void(const std::string& statusText)> OnProgress;
    // The catalogue that arrived, or nullptr when none did.
    std::function<void(const TCatalogue* catalogue)> OnCatalogue;
    std::function<void(const TCloudUpdateResult& result)> OnFinished;

    // Fetches the server catalogue; OnCatalogue follows once. False while one is being fetched.
    bool FetchCatalogue(const std::string& catalogueUrl, const TProxy& proxy);
    // Downloads from the server list's entry serverIndex (1 .. 10; any other value: one drawn
    // at random) and installs the picture when it is newer than the one in hand. False, and
    // nothing happens, while an update runs. A new picture is also kept in the history within
    // history's bounds.
    bool Start(unsigned serverIndex, const TProxy& proxy, const THistoryBounds& history = {});
    // Stops both workers and waits for them, and deletes their files; the picture in hand and
    // its facts stay as they were. Nothing is reported any more of what ran.
    void Cancel();
    // An update runs, or its result is still to be reported.
    bool Busy() const { return Running; }
    bool FetchingCatalogue() const { return Fetching; }

private:
    class TReceiver : public QObject {
    public:
        explicit TReceiver(TCloudUpdate& owner) : Owner(owner) {}

    protected:
        bool event(QEvent* event) override;

    private:
        TCloudUpdate& Owner;
    };

    void Progress(std::intptr_t wParam, std::intptr_t lParam);
    void Results(TDownThread& thread);
    void Install(TTyp type, const TDateTimeZ& previousDate, TCloudUpdateResult result);
    void CatalogueEnded();
    // Reports result from the event loop, unless the update is cancelled meanwhile.
    void Finish(TCloudUpdateResult result);
    template <class TThread> void Stop(std::unique_ptr<TThread>& worker);

    TMapInfo& MapInfo;
    const std::string DataFolder, TempFolder;
    TReceiver Receiver{*this};
    TSynchronizer Synchronizer{&Receiver};
    std::unique_ptr<TDownThread> DownTh;
    std::unique_ptr<TWorkTh> WorkTh;
    std::string DownFile, WorkFile;
    std::int32_t DownLen = -1;
    THistoryBounds History;
    bool Running = false, Fetching = false;
    unsigned Generation = 0; // what a posted step belongs to; Start and Cancel move it on
};

} // namespace nimbora
