// Times the cloud picture filter (decode, filter, colour, quality-80 JPEG in memory) against
// two shell pipelines doing comparable work: libjpeg-turbo's own tools and ImageMagick.
//
//   bench_cloudfilter [--source earth.jpg] [--runs N] [--magick-runs N] [WxH ...]
//
// Test pictures are scaled from the source with ImageMagick into a fresh temporary folder,
// which is removed at the end. Each figure is the best of its runs, the least disturbed by
// other work on the machine.
#include "weather/CloudPicture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Best time of one contender; rounds interleave the contenders, so that a burst of other work
// on the machine does not fall on one of them alone.
struct Contender {
    std::function<bool()> work;
    int runs = 0;
    double best = -1;
    bool failed = false;
};

void RunRounds(std::vector<Contender*> contenders) {
    for (int round = 0;; ++round) {
        bool any = false;
        for (Contender* c : contenders) {
            if (round >= c->runs || c->failed) continue;
            any = true;
            const auto start = Clock::now();
            c->failed = !c->work();
            const double ms = Milliseconds(Clock::now() - start);
            c->best = c->best < 0 ? ms : std::min(c->best, ms);
        }
        if (!any) return;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string source = NIMBORA_SOURCE_DIR "/resources/earth4096.jpg";
    int runs = 5;
    int magickRuns = 2;
    std::vector<std::pair<int, int>> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--source" && i + 1 < argc) {
            source = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--magick-runs" && i + 1 < argc) {
            magickRuns = std::max(1, std::atoi(argv[++i]));
        } else {
            int w = 0, h = 0;
            if (std::sscanf(arg.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) {
                std::fprintf(stderr,
                             "usage: %s [--source file.jpg] [--runs N] "
                             "[--magick-runs N] [WxH ...]\n",
                             argv[0]);
                return 2;
            }
            sizes.emplace_back(w, h);
        }
    }
    if (sizes.empty()) sizes = {{2048, 1024}, {4096, 2048}, {8192, 4096}};
    if (!std::filesystem::exists(source)) {
        std::fprintf(stderr, "source picture %s not found\n", source.c_str());
        return 1;
    }

    std::string pattern = (std::filesystem::temp_directory_path() / "cloudbench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::uint8_t filter = 190;
    const std::string level = std::to_string(filter * 100.0 / 255).substr(0, 5) + "%,100%";

    std::printf("%-11s %9s %9s %9s %9s %10s %11s %12s\n", "size", "grey ms", "fresh ms",
                "colour ms", "pipe ms", "fresh/pipe", "magick ms", "magick/fresh");
    int status = 0;
    for (const auto& [w, h] : sizes) {
        const std::string in = (folder / ("in" + std::to_string(w) + ".jpg")).string();
        const std::string out = (folder / "magick.jpg").string();
        if (!Shell("convert " + Quote(source) + " -resize " + std::to_string(w) + "x" +
                   std::to_string(h) + "! -quality 90 " + Quote(in))) {
            std::fprintf(stderr, "cannot make the %dx%d test picture\n", w, h);
            status = 1;
            break;
        }
        std::vector<std::uint8_t> stream; // reused between runs
        Contender grey{[&] {
                           return nimbora::FilterCloudPicture(in, &stream, nimbora::TypJpg, false,
                                                              filter);
                       },
                       runs};
        Contender fresh{[&] {
                            std::vector<std::uint8_t> own; // a new stream, as one update makes
                            return nimbora::FilterCloudPicture(in, &own, nimbora::TypJpg, false,
                                                               filter);
                        },
                        runs};
        Contender colour{
            [&] { return nimbora::FilterCloudPicture(in, &stream, nimbora::TypJpg, true, filter); },
            runs};
        Contender pipe{[&] {
                           return Shell("djpeg " + Quote(in) +
                                        " | cjpeg -quality 80 | djpeg > /dev/null");
                       },
                       runs};
        Contender magick{[&] {
                             return Shell("convert " + Quote(in) + " -colorspace gray -level " +
                                          level + " -quality 80 " + Quote(out));
                         },
                         magickRuns};
        RunRounds({&grey, &fresh, &colour, &pipe, &magick});
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", w, h);
        std::printf("%-11s %9.1f %9.1f %9.1f %9.1f %10.2f %11.1f %12.1f\n", size, grey.best,
                    fresh.best, colour.best, pipe.best, fresh.best / pipe.best, magick.best,
                    magick.best / fresh.best);
        std::fflush(stdout);
        for (const Contender* c : {&grey, &fresh, &colour, &pipe, &magick})
            if (c->failed) status = 1;
    }
    std::filesystem::remove_all(folder);
    return status;
}
