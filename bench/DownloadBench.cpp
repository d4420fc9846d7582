// The cloud picture download (TDownThread with the program's HTTP client) against `curl -o`,
// both fetching the same large picture from nginx on 127.0.0.1.
//
//   bench_download [--runs N] [--size WxH] [--source FILE] [--png]
//
// The picture is scaled from the source with ImageMagick into a scratch folder that nginx
// serves. Runs alternate between the two contenders; each figure is a median. Peak memory
// (VmHWM) of this process is read before the first and after the last download: the body goes
// to disk, so it should barely grow.
#include "BenchProcess.h"

#include "core/Messages.h"
#include "core/Synchronize.h"
#include "support/NetHarness.h"
#include "weather/DownloadSupport.h"
#include "weather/ThDown.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace nimbora;
using namespace nimbora::bench;

namespace {

// Stands in for the main window: runs the thread's main-thread calls and its end callback.
class TOwner : public QObject {
public:
    TSynchronizer Sync{this};

protected:
    bool event(QEvent* event) override {
        if (event->type() == TSynchronizer::EventType) {
            Sync.RunPending();
            return true;
        }
        if (event->type() == TCallEvent::EventType) {
            static_cast<TCallEvent*>(event)->Call();
            return true;
        }
        return QObject::event(event);
    }
};

// One download into target; its time in ms, or -1 when it failed.
double DownloadOnce(TOwner& owner, const std::string& url, const std::string& target) {
    TDownInfo info;
    info.Act = ActGetMap;
    info.Url = url;
    info.Agent = "Nimbora benchmark";
    info.Reference = url;
    info.Compressed = true; // offered, as the program does; nginx sends the JPEG as it is
    info.FileName = target;
    int error = -1;
    QEventLoop loop; // sleeps until the thread's end callback arrives
    const std::int64_t start = MonotonicNs();
    auto thread = std::make_unique<TDownThread>(std::move(info), &owner.Sync,
                                                [&](TDownThread& th) { error = th.ThError(); });
    thread->OnTerminate = [&] { loop.quit(); };
    thread->Start(&owner);
    loop.exec();
    const double ms = MsBetween(start, MonotonicNs());
    thread->Join();
    return error == 0 ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 7;
    std::string size = "8192x4096";
    std::string source = NIMBORA_SOURCE_DIR "/resources/earth4096.jpg";
    bool png = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (arg == "--size" && i + 1 < argc) size = argv[++i];
        if (arg == "--source" && i + 1 < argc) source = argv[++i];
        if (arg == "--png") png = true;
    }
    const std::string extension = png ? ".png" : ".jpg";
    const TTyp type = png ? TypPng : TypJpg;

    TScratch scratch;
    const std::string root = scratch.Path() + "/www";
    std::filesystem::create_directories(root);
    const std::string picture = root + "/clouds" + extension;
    if (!Shell("convert " + Quote(source) + " -resize " + size + "! " +
               (png ? "" : "-quality 90 ") + Quote(picture))) {
        std::fprintf(stderr, "cannot make the test picture\n");
        return 1;
    }
    const auto bytes = std::filesystem::file_size(picture);

    test::NginxServer nginx;
    if (!nginx.Start(root)) {
        std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    const std::string url = nginx.Url("/clouds" + extension);
    const std::string ours = scratch.Path() + "/ours.dat";
    const std::string theirs = scratch.Path() + "/curl.dat";

    TOwner owner;
    const double hwmBefore = StatusKb("VmHWM");
    std::vector<double> ourMs, curlMs, checkMs, transferMs;
    for (int i = 0; i < runs; ++i) {
        const double ms = DownloadOnce(owner, url, ours);
        if (ms < 0 || std::filesystem::file_size(ours) != bytes) {
            std::fprintf(stderr, "download failed\n");
            return 1;
        }
        ourMs.push_back(ms);
        // The thread checks the finished file before it reports; time those checks alone.
        const std::int64_t checkStart = MonotonicNs();
        const bool sound = (png || IsCompleteJpeg(ours)) && IsUsablePicture(ours, type);
        checkMs.push_back(MsBetween(checkStart, MonotonicNs()));
        transferMs.push_back(ms - checkMs.back());
        if (!sound) std::fprintf(stderr, "downloaded picture does not check out\n");
        std::filesystem::remove(ours);

        std::string out;
        std::int64_t spawn = 0;
        if (RunChild({"/usr/bin/curl", "-s", "-o", theirs, url}, {}, 60000, &out, &spawn) != 0 ||
            std::filesystem::file_size(theirs) != bytes) {
            std::fprintf(stderr, "curl failed\n");
            return 1;
        }
        curlMs.push_back(MsBetween(spawn, MonotonicNs()));
        std::filesystem::remove(theirs);
        std::printf("  run %d: TDownThread %.1f ms, curl %.1f ms\n", i + 1, ourMs.back(),
                    curlMs.back());
    }
    const double hwmAfter = StatusKb("VmHWM");
    std::printf("%s %s, %.1f MB, from nginx on 127.0.0.1 (%d runs each): TDownThread median "
                "%.1f ms, curl -o median %.1f ms, ratio %.2f (target 1.2)\n",
                size.c_str(), png ? "PNG" : "JPEG", double(bytes) / 1e6, runs, Median(ourMs),
                Median(curlMs), Median(ourMs) / Median(curlMs));
    std::printf("  of which the picture checks after the transfer (IsCompleteJpeg, "
                "IsUsablePicture): median %.1f ms; transfer alone about %.1f ms, %.2f x curl\n",
                Median(checkMs), Median(transferMs), Median(transferMs) / Median(curlMs));
    std::printf("VmHWM of this process: %.1f MB before, %.1f MB after %d downloads (growth "
                "%.1f MB)\n",
                hwmBefore / 1024, hwmAfter / 1024, runs, (hwmAfter - hwmBefore) / 1024);
    return 0;
}
