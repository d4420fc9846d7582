#include "weather/DownloadSupport.h"
#include "weather/DownloadSupportTestSeam.h"

#include "core/TextHelpers.h"

#include "weather/CloudCache.h"
#include "weather/CloudPicture.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

namespace nimbora {

namespace {

struct ProgramRandom {
    std::mutex lock;
    std::mt19937 engine{static_cast<std::uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count())};
};

ProgramRandom& Generator() {
    static ProgramRandom generator;
    return generator;
}

} // namespace

std::uint32_t RandomNumber() {
    auto& g = Generator();
    std::lock_guard guard(g.lock);
    return g.engine();
}

void SeedRandom(std::uint32_t seed) {
    auto& g = Generator();
    std::lock_guard guard(g.lock);
    g.engine.seed(seed);
}

std::size_t RandomBelow(std::size_t n) {
    if (n == 0) return 0;
    auto& g = Generator();
    std::lock_guard guard(g.lock);
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(g.engine);
}

std::string RandomText(int count) {
    constexpr std::size_t alphabetSize = sizeof(RandomTextAlphabet) - 1;
    std::string text;
    for (int i = 0; i < count; ++i)
        text += RandomTextAlphabet[RandomBelow(alphabetSize)];
    return text;
}

std::string MakeTempFileName(const std::string& tempFolder) {
    std::string folder = tempFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    // Names are drawn until one is free; a folder where none can be made must not hang us.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + RandomText(8) + ".dat";
        const TCreateResult created = CreateFileExclusively(path);
        if (created == TCreateResult::Created) return path;
        if (created == TCreateResult::Failed) return {};
    }
    return {};
}

TFile OpenTempFileForWriting(const std::string& path) {
    return TFile::OpenForWriting(path, 0600);
}

bool IsCompleteJpeg(const std::string& path) {
    return ReadJpegEnd(path) == TJpegEnd::Complete;
}

double LastModifiedFromHeaders(const std::vector<std::string>& headerLines, double fallback) {
    for (const std::string& line : headerLines) {
        if (!StartsWithNoCase(line, "Last-Modified:")) continue;
        const TDateTimeZ date = ParseRfc1123Date(Trim(line.substr(14), WhiteSpace));
        return date.Exists ? date.DateTime : fallback;
    }
    return fallback;
}

double UtcNowDateTime() {
    using namespace std::chrono;
    const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return UnixEpochDay + seconds / 86400.0;
}

TPictureDate PictureDateFromHeaders(const std::vector<std::string>& headerLines, double nowUtc) {
    const double date = LastModifiedFromHeaders(headerLines, -1);
    if (date > 0 && date <= nowUtc + MaxDateAheadDays) return {date, true};
    return {nowUtc, false};
}

std::optional<std::int64_t> ProgressPercent(std::uint32_t received, std::int32_t length) {
    if (length <= 0) return std::nullopt;
    // Exact integer arithmetic, so that 12.5 is a half and rounds to the even 12.
    const std::int64_t scaled = std::int64_t{received} * 100;
    std::int64_t q = scaled / length;
    const std::int64_t twice = 2 * (scaled % length);
    if (twice > length || (twice == length && q % 2 == 1)) ++q;
    return q;
}

std::optional<std::string> ProgressStatusText(std::uint32_t received, std::int32_t length) {
    if (length < 0) {
        constexpr std::uint32_t KiB = 1024, MiB = 1024 * KiB;
        return "Downloading " +
               (received < 10 * MiB ? std::to_string(received / KiB) + " KB..."
                                    : std::to_string(received / MiB) + " MB...");
    }
    const auto percent = ProgressPercent(received, length);
    if (!percent) return std::nullopt;
    return "Downloading " + std::to_string(*percent) + "%...";
}

std::optional<std::size_t> ChooseServer(unsigned serverIndex, std::size_t serverCount,
                                        const TRandomBelow& randomBelow) {
    if (serverCount == 0) return std::nullopt;
    if (serverIndex >= 1 && serverIndex <= 10) {
        if (serverIndex > serverCount) return std::nullopt;
        return serverIndex - 1;
    }
    const std::size_t index = randomBelow(serverCount);
    if (index >= serverCount) return std::nullopt;
    return index;
}

bool IsUsablePicture(const std::string& path, TTyp type) {
    return (type == TypPng || type == TypJpg) && CheckCloudPicture(path, type);
}

} // namespace nimbora
