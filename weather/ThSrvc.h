#pragma once
// The server catalogue transfer: a worker thread that fetches the catalogue file into a
// temporary file and reports with the catalogue message.
#include "net/Proxy.h"
#include "weather/MapInfo.h"
#include "weather/WorkerThread.h"

#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbora {

struct TWorkInfo {
    std::string Url;      // catalogue address with its query; empty: nothing to fetch
    std::string FileName; // receives the body
    TProxy Proxy;
    QObject* MainHandle = nullptr; // receives the catalogue message
};

// The service links and notices the catalogue may bring.
struct TService {
    std::string HomeUrl, HomeContact, ProdUrl; // start values: texts::HomeUrl ...
    std::string PopMsg, PopUrl, UpdateUrl;
    std::string DateShown; // day on which notices were last shown (user's short date format)
};

// One link item of the options menu that a catalogue brings.
struct TButOn {
    std::string Caption;
    std::string Url;
    int Icon = -1;       // index into the window's link icons
    std::string Section; // "But" + n; the menu item is named "ptr" + Section
};

// What a catalogue file says, read without touching any program state.
struct TCatalogue {
    bool IdentityOk = false; // the service section names this program; otherwise all is ignored
    bool HasOffer = false;   // the catalogue knows another version
    std::string OfferText, UpdateUrl;
    std::string HomeUrl, HomeContact, ProdUrl, PopMsg, PopUrl;
    int ServerCount = 0;       // "Count" of "MapDef" as written
    std::vector<TMap> Servers; // the listed sections that exist, in order
    int LinkCount = 0;         // "Count" of "ButDef" as written
    std::vector<TButOn> Links;
};

// Sections looked at, whatever a catalogue claims: enough for any real list, and a catalogue
// cannot keep the program busy counting.
inline constexpr int MaxCatalogueServers = 1000;
inline constexpr int MaxCatalogueLinks = 100;

TCatalogue ReadCatalogue(const std::string& path);

// The service links and notices after a catalogue: links only when not empty, notices as they
// are.
void ApplyServiceLinks(const TCatalogue& catalogue, TService& service);

// Whether the day's notices are still to be shown; "today" is the user's short date text.
// Sets DateShown to today when they are.
bool TakeNoticeDay(TService& service, const std::string& today);
// The same with the day kept in the notice file of the data folder, so that a new start on the
// same day shows nothing again. A day that cannot be written only means the notices may come
// again today.
bool TakeNoticeDay(TService& service, const std::string& dataFolder, const std::string& today);

// A catalogue is a few kilobytes; anything much larger is not one.
inline constexpr std::int64_t MaxCatalogueBytes = 1 << 20;

class TWorkTh : public TWorkerThread {
public:
    explicit TWorkTh(TWorkInfo info) : WorkInfo(std::move(info)) {}
    ~TWorkTh() override;

    TWorkInfo WorkInfo;
    // A TThError; ErrUndecided while the transfer runs.
    int ThError() const { return FError; }

protected:
    void Execute() override;

private:
    friend struct TWorkerTestSeam; // tests shorten the time-outs
    int ConnectTimeoutMs = 20000;
    int LowSpeedSeconds = 30;
    int FError = ErrUndecided;
    bool Connected = false;
    bool Working = false;
};

// The catalogue address with the program's query: name, version and a language.
std::string CatalogueRequestUrl(const std::string& catalogueUrl);

} // namespace nimbora
