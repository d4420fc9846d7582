#pragma once
// The cloud picture download: the worker thread, its parameters and the main thread's reading
// of its result.
#include "core/Messages.h"
#include "net/Proxy.h"
#include "weather/DownloadSupport.h"
#include "weather/MapInfo.h"
#include "weather/WorkerThread.h"

#include <QObject>
#include <cstdint>
#include <string>
#include <utility>

namespace nimbora {

class TSynchronizer;

enum TAct : int { ActNone = 0, ActGetSrvc = 1, ActGetMap = 2 };
// The messages name what a transfer fetched by these values.
static_assert(ActGetSrvc == WpGetSrvc && ActGetMap == WpGetMap);

// Parameters and results of one transfer.
struct TDownInfo {
    TAct Act = ActNone;
    std::string Url;
    std::string Agent;
    std::string Reference;
    std::string FileName;
    bool InformSize = false;
    bool Compressed = false; // in: offer gzip; out: the body arrived gzip-coded
    TTyp ContentType = TypUnk;
    std::uint32_t ProgrMsg = 0;
    QObject* ProgrForm = nullptr;
    TProxy ProxyInfo;
    double LastMap = 0; // in: If-Modified-Since (0 = not sent); out: Last-Modified
    // out: LastMap is the server's date; when false it is the time of receipt.
    bool DateFromServer = true;
};

// The transfer of a cloud picture from server into fileName: gzip offered, progress posted to
// progressTarget, and conditional on lastMap (0: the picture is fetched whatever its date).
TDownInfo MakeDownInfo(const TMap& server, const TProxy& proxy, double lastMap,
                       const std::string& fileName, QObject* progressTarget);

// Largest body written to disk, and largest picture after inflating a gzip body. Generous for
// a 16384 x 8192 cloud map, small enough that a hostile server cannot fill the disk.
inline constexpr std::int64_t MaxDownloadBytes = std::int64_t(256) << 20;
inline constexpr std::int64_t MaxInflatedBytes = MaxDownloadBytes;

// Progress of the received bytes is posted at most this often, and once more with the last
// count, so a fast body does not flood the window with a message per chunk.
inline constexpr int ProgressIntervalMs = 200;

class TDownThread : public TWorkerThread {
public:
    // sync runs DownResults on the main thread as the thread's last act.
    TDownThread(TDownInfo info, TSynchronizer* sync, std::function<void(TDownThread&)> results);
    ~TDownThread() override;

    TDownInfo DownInfo;
    int ThError() const { return FError; }

protected:
    void Execute() override;

private:
    // Tests shorten the time-outs and lower the limits (weather/WorkerTestSeam.h).
    friend struct TWorkerTestSeam;
    int ConnectTimeoutMs = 20000;
    int LowSpeedSeconds = 30;
    // Largest body received, whether its length is announced or not, and largest picture a
    // gzip body may inflate to.
    std::int64_t BodyLimit = MaxDownloadBytes;
    std::int64_t InflateLimit = MaxInflatedBytes;
    int FError = ErrNone;
    bool Working = false;
    TSynchronizer* Synchronizer;
    std::function<void(TDownThread&)> DownResults;
};

// Inflates a gzip file into a new file (zlib's gzip decoding: every valid member is accepted
// and its trailer checked). False, with no output left behind, when the data is damaged or
// inflates beyond limit.
bool InflateGzipFile(const std::string& from, const std::string& to, std::int64_t limit);

// What the main window shows and does when a download has ended.
struct TDownOutcome {
    std::string StatusText;  // empty: leave the line as it is
    bool ShowHints = false;  // replace the two lower lines by the hint lines
    bool ConnectionFailed = false; // the hint lines also say where the proxy is set
    bool NewPicture = false; // post the download-finished message with Type
    TTyp Type = TypUnk;
    TDateTimeZ PreviousDate; // the date in hand before a new picture's date replaced it
};

// The main thread's reading of a finished transfer: compares the picture's time with the one
// in hand and updates mapInfo.LastMap for a newer picture. act is the main window's Act; with
// ActNone (the window stopped waiting, as at shutdown) a picture is not taken, so the time in
// hand never names a picture that was thrown away. A picture without a usable server date is
// new unless it holds the same bytes as pictureInHand (the cached file, empty when none).
// Without a new picture the download's filter level and credit are dropped again.
TDownOutcome DownResults(const TDownThread& thread, TAct act, TMapInfo& mapInfo,
                         const std::string& pictureInHand = {});

// The two hint lines that replace the lower status lines after a failed download
// (Windows-1252). After a connection failure the second also names the settings file, given by
// its path, whose [Proxy] section holds the proxy.
std::pair<std::string, std::string> ErrorHintLines(bool connectionFailed,
                                                   const std::string& settingsFile);

} // namespace nimbora
