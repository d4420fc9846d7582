// Plays a cloud history the way the window does: each kept picture is asked of the cloud worker
// (TCloudPreparer) at the history's reduced size and taken on the main thread when ready, the
// next one asked only then. Reports the time of one step (ask to ready, what the window waits
// between a key and the new clouds) and the process's memory over the whole play.
//
//   bench_history [--pictures N] [--rounds N] [--source earth.jpg]
//
// The pictures are copies of the source (default resources/earth4096.jpg) in a fresh temporary
// folder, removed at the end. The texture upload on the window's thread is not part of it.
#include "core/Messages.h"
#include "weather/CloudHistory.h"
#include "weather/CloudJob.h"
#include "weather/HistoryPlayer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A line of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + line.find(':') + 1) / 1024;
    return -1;
}

// Runs the worker's end calls, as the window's event handler does.
class TTarget : public QObject {
protected:
    bool event(QEvent* event) override {
        if (event->type() != nimbora::TCallEvent::EventType) return QObject::event(event);
        static_cast<nimbora::TCallEvent*>(event)->Call();
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string source = NIMBORA_SOURCE_DIR "/resources/earth4096.jpg";
    int count = 56, rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--pictures") count = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--source") source = argv[i + 1];
    }
    QTemporaryDir dir;
    const std::string data = dir.path().toStdString() + "/";
    std::filesystem::create_directory(nimbora::CloudHistoryFolder(data));
    const double first = 46000; // every three hours from then on, a week for 56
    for (int i = 0; i < count; ++i)
        std::filesystem::copy_file(source, nimbora::CloudHistoryFolder(data) +
                                               nimbora::HistoryFileName(first + i / 8.0,
                                                                        nimbora::TypJpg));
    const auto pictures = nimbora::ListCloudHistory(data);
    std::printf("%zu pictures of %lld bytes, prepared at most %dx%d\n", pictures.size(),
                pictures.empty() ? 0LL : pictures.front().Size, nimbora::HistoryMaxSide,
                nimbora::HistoryMaxSide / 2);
    const double rssBefore = StatusMB("VmRSS");

    QEventLoop loop;
    TTarget target;
    bool ready = false, failed = false;
    nimbora::TCloudPreparer preparer(&target, [&](nimbora::TCloudJob& job) {
        failed = failed || !job.Succeeded();
        ready = true;
        loop.quit();
    });
    std::vector<double> steps;
    double rssMax = rssBefore;
    for (int round = 0; round < rounds; ++round)
        for (const nimbora::THistoryPicture& p : pictures) {
            nimbora::TCloudJobInfo info;
            info.Path = p.Path;
            info.Type = p.Type;
            info.Filter = 190;
            info.MaxSide = nimbora::HistoryMaxSide;
            info.LastMap = {p.Utc, 0, true};
            ready = false;
            const auto start = Clock::now();
            preparer.Request(info);
            if (!ready) loop.exec();
            steps.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            rssMax = std::max(rssMax, StatusMB("VmRSS"));
        }
    std::sort(steps.begin(), steps.end());
    std::printf("step ms: median %.1f, 90%% %.1f, max %.1f (%zu steps%s)\n",
                steps[steps.size() / 2], steps[steps.size() * 9 / 10], steps.back(), steps.size(),
                failed ? ", SOME FAILED" : "");
    std::printf("VmRSS MB: before %.1f, highest while playing %.1f, after %.1f; VmHWM %.1f\n",
                rssBefore, rssMax, StatusMB("VmRSS"), StatusMB("VmHWM"));
    return failed ? 1 : 0;
}
