#pragma once
// Running the download and catalogue threads in a test the way the main window runs them: the
// thread posts to a receiver object, and its last call runs on the test's (main) thread.
#include "core/Messages.h"
#include "core/Synchronize.h"
#include "weather/ThDown.h"
#include "weather/ThSrvc.h"

#include <QCoreApplication>
#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbora::test {

// The one application object of the test program (created on first use).
QCoreApplication& App();

struct TPostedMessage {
    int Message = 0;
    std::intptr_t WParam = 0;
    std::intptr_t LParam = 0;
};

// Stands in for the main window: keeps the posted messages and runs the pending worker call.
class TReceiver : public QObject {
public:
    TSynchronizer Sync{this};
    std::vector<TPostedMessage> Messages;
    // True once a progress message for received data has arrived.
    bool DataArrived() const;

protected:
    bool event(QEvent* e) override;
};

// One download from start to end. DownResults runs on this thread with the window's Act, as
// the main window runs it.
class TDownloadRun {
public:
    // Parameters as the main window fills them; the body file is a new temporary file in
    // tempFolder.
    TDownloadRun(const std::string& url, const std::string& tempFolder, double ifModifiedSince,
                 TMapInfo mapInfo);
    TDownThread& Thread() { return *Worker; }
    void Start();
    // Runs the event loop until the thread has ended; false after ms.
    bool WaitForEnd(int ms = 15000);
    // Runs the event loop until the first data has arrived; false after ms.
    bool WaitForData(int ms = 10000);
    // Stops the thread as shutdown does (the window's Act becomes ActNone first) and waits for
    // it; returns the milliseconds the wait took.
    long long Cancel();

    TReceiver Receiver;
    TAct Act = ActGetMap; // the window's Act while it waits
    TMapInfo MapInfo;
    bool ResultsRan = false;
    int Error = -99;
    TDownOutcome Outcome;
    TDownInfo Result; // the thread's parameters when it ended

private:
    std::unique_ptr<TDownThread> Worker;
};

// One catalogue transfer from start to end; the posted catalogue message lands in Receiver.
class TCatalogueRun {
public:
    TCatalogueRun(const std::string& url, const std::string& fileName);
    TWorkTh& Thread() { return *Worker; }
    void Start();
    bool WaitForEnd(int ms = 15000);
    long long Cancel();
    // wParam of the catalogue message, or -1 when none arrived.
    int CatalogueWParam() const;

    TReceiver Receiver;

private:
    std::unique_ptr<TWorkTh> Worker;
};

// Pictures and bodies for the servers.
std::string JpegBytes(int width, int height, std::uint8_t grey);
std::string PngBytes(int width, int height, std::uint8_t grey);
// A gzip member of data (zlib's own gzip writer, best compression).
std::string GzipBytes(const std::string& data);

// Names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

// Sets a file's modification time (seconds since 1970, UTC).
bool SetFileTime(const std::string& path, long long unixTime);

// Day count since 1899-12-30 of a Unix time.
double DateTimeOfUnix(long long unixTime);

} // namespace nimbora::test
