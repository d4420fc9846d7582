#include "weather/WeatherTestSupport.h"

#include "support/NetHarness.h"
#include "support/TempDir.h"
#include "weather/TestPictures.h"
#include "weather/WorkerTestSeam.h"

#include <QElapsedTimer>
#include <algorithm>
#include <dirent.h>
#include <sys/time.h>
#include <zlib.h>

namespace nimbora::test {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_weather";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool TReceiver::DataArrived() const {
    return std::any_of(Messages.begin(), Messages.end(), [](const TPostedMessage& m) {
        return m.Message == UM_PROGRESS && m.LParam == LpProgressReceived;
    });
}

bool TReceiver::event(QEvent* e) {
    if (e->type() == TSynchronizer::EventType) {
        Sync.RunPending();
        return true;
    }
    if (IsMessageEvent(e)) {
        const auto* m = static_cast<const TMessageEvent*>(e);
        Messages.push_back({m->Message, m->WParam, m->LParam});
        return true;
    }
    return QObject::event(e);
}

namespace {

template <class Pred> bool RunEventsUntil(Pred pred, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

} // namespace

TDownloadRun::TDownloadRun(const std::string& url, const std::string& tempFolder,
                           double ifModifiedSince, TMapInfo mapInfo)
    : MapInfo(std::move(mapInfo)) {
    App();
    TDownInfo info = MakeDownInfo(TMap{url, 0, ""}, TProxy{}, ifModifiedSince,
                                  MakeTempFileName(tempFolder + "/"), &Receiver);
    Worker =
        std::make_unique<TDownThread>(std::move(info), &Receiver.Sync, [this](TDownThread& thread) {
            ResultsRan = true;
            Error = thread.ThError();
            Result = thread.DownInfo;
            Outcome = DownResults(thread, Act, MapInfo);
        });
    TWorkerTestSeam::SetTimeouts(*Worker, 3000, 5);
}

void TDownloadRun::Start() {
    Worker->Start(nullptr);
}

bool TDownloadRun::WaitForEnd(int ms) {
    const bool ended = RunEventsUntil([this] { return Worker->Finished(); }, ms);
    if (!ended) Cancel();
    Worker->Join();
    // Progress messages posted last.
    QCoreApplication::processEvents();
    return ended;
}

bool TDownloadRun::WaitForData(int ms) {
    return RunEventsUntil([this] { return Receiver.DataArrived() || Worker->Finished(); }, ms) &&
           Receiver.DataArrived();
}

long long TDownloadRun::Cancel() {
    QElapsedTimer clock;
    clock.start();
    Act = ActNone;
    Worker->Terminate();
    TDownThread* thread = Worker.get();
    Receiver.Sync.WaitUntil([thread] { return thread->Finished(); });
    Worker->Join();
    return clock.elapsed();
}

TCatalogueRun::TCatalogueRun(const std::string& url, const std::string& fileName) {
    App();
    TWorkInfo info;
    info.Url = url;
    info.FileName = fileName;
    info.MainHandle = &Receiver;
    Worker = std::make_unique<TWorkTh>(std::move(info));
    TWorkerTestSeam::SetTimeouts(*Worker, 3000, 5);
}

void TCatalogueRun::Start() {
    Worker->Start(nullptr);
}

bool TCatalogueRun::WaitForEnd(int ms) {
    const bool ended = RunEventsUntil([this] { return Worker->Finished(); }, ms);
    if (!ended) Cancel();
    Worker->Join();
    QCoreApplication::processEvents();
    return ended;
}

long long TCatalogueRun::Cancel() {
    QElapsedTimer clock;
    clock.start();
    Worker->Terminate();
    Worker->Join();
    return clock.elapsed();
}

int TCatalogueRun::CatalogueWParam() const {
    for (const TPostedMessage& m : Receiver.Messages)
        if (m.Message == UM_CATALOGUE) return static_cast<int>(m.WParam);
    return -1;
}

std::string JpegBytes(int width, int height, std::uint8_t grey) {
    TempDir dir;
    const std::string path = dir.str("picture.jpg");
    if (!WriteJpeg(path, width, height, 1,
                   std::vector<std::uint8_t>(std::size_t(width) * height, grey), 90))
        return {};
    return ReadWholeFile(path);
}

std::string PngBytes(int width, int height, std::uint8_t grey) {
    TempDir dir;
    const std::string path = dir.str("picture.png");
    TestPng png;
    png.Width = width;
    png.Height = height;
    png.ColorType = 0; // grey
    png.Samples.assign(std::size_t(width) * height, grey);
    if (!WritePng(path, png)) return {};
    return ReadWholeFile(path);
}

std::string GzipBytes(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&z, uLong(data.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool SetFileTime(const std::string& path, long long unixTime) {
    const timeval times[2] = {{time_t(unixTime), 0}, {time_t(unixTime), 0}};
    return utimes(path.c_str(), times) == 0;
}

double DateTimeOfUnix(long long unixTime) {
    return 25569.0 + double(unixTime) / 86400.0;
}

} // namespace nimbora::test
