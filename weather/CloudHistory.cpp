#include "weather/CloudHistory.h"

#include "core/Cp1252.h"
#include "core/Iso8601.h"
#include "platform/Files.h"
#include "weather/ThDown.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nimbora {

namespace {

constexpr char NamePrefix[] = "clouds-";
// "clouds-" + "YYYYMMDD" + "T" + "HHMM" + "Z" + ".jpg"
constexpr std::size_t NameLength = 7 + 8 + 1 + 4 + 1 + 4;
// A folder that somebody filled with millions of entries must not hold us up.
constexpr std::size_t MaxFolderEntries = 100000;

bool ReadDigits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::string CloudHistoryFolder(const std::string& dataFolder) {
    return dataFolder + "history/";
}

std::string HistoryFileName(double utc, TTyp type) {
    if ((type != TypJpg && type != TypPng) || !std::isfinite(utc)) return {};
    // Whole minutes; a hair below a minute (a date read back from text) counts as that minute.
    const double minutes = std::floor(utc * 1440 + 1e-4);
    const long day = static_cast<long>(std::floor(minutes / 1440)) - UnixEpochDay;
    if (minutes < 0 || minutes > 1e10) return {};
    int year = 0, month = 0, dayOfMonth = 0;
    CivilFromDays(day, year, month, dayOfMonth);
    if (year < 1900 || year > 9999) return {};
    const int minuteOfDay = static_cast<int>(minutes - std::floor(minutes / 1440) * 1440);
    char name[40];
    std::snprintf(name, sizeof name, "%s%04d%02d%02dT%02d%02dZ%s", NamePrefix, year, month,
                  dayOfMonth, minuteOfDay / 60, minuteOfDay % 60, type == TypPng ? ".png" : ".jpg");
    return name;
}

std::optional<THistoryName> ParseHistoryFileName(const std::string& name) {
    if (name.size() != NameLength || name.compare(0, 7, NamePrefix) != 0 || name[15] != 'T' ||
        name[20] != 'Z')
        return std::nullopt;
    const std::string extension = name.substr(21);
    THistoryName result;
    result.Type = extension == ".jpg" ? TypJpg : extension == ".png" ? TypPng : TypUnk;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (result.Type == TypUnk || !ReadDigits(name, 7, 4, year) || !ReadDigits(name, 11, 2, month) ||
        !ReadDigits(name, 13, 2, day) || !ReadDigits(name, 16, 2, hour) ||
        !ReadDigits(name, 18, 2, minute))
        return std::nullopt;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59)
        return std::nullopt;
    result.Utc = static_cast<double>(DaysFromCivil(year, month, day) + UnixEpochDay) +
                 (hour * 60 + minute) / 1440.0;
    return result;
}

std::vector<THistoryPicture> ListCloudHistory(const std::string& dataFolder) {
    const std::string folder = CloudHistoryFolder(dataFolder);
    std::vector<THistoryPicture> pictures;
    for (const TFolderEntry& entry : ListFolder(folder, MaxFolderEntries)) {
        const auto name = ParseHistoryFileName(entry.Name);
        if (!name || !entry.Regular || entry.Size <= 0 || entry.Size > MaxDownloadBytes) continue;
        pictures.push_back({folder + entry.Name, name->Utc, name->Type, entry.Size});
    }
    // By time; the same minute as JPEG and PNG (a hand-made copy) in a fixed order.
    std::sort(pictures.begin(), pictures.end(), [](const auto& a, const auto& b) {
        return a.Utc != b.Utc ? a.Utc < b.Utc : a.Path < b.Path;
    });
    return pictures;
}

std::optional<THistoryPicture> NearestHistoryPicture(const std::vector<THistoryPicture>& pictures,
                                                     double utc) {
    if (pictures.empty() || !(utc >= pictures.front().Utc) || !(utc <= pictures.back().Utc))
        return std::nullopt;
    const auto later = std::lower_bound(pictures.begin(), pictures.end(), utc,
                                        [](const THistoryPicture& p, double t) { return p.Utc < t; });
    if (later == pictures.begin()) return *later;
    const auto earlier = later - 1;
    return later->Utc - utc < utc - earlier->Utc ? *later : *earlier;
}

int PruneCloudHistory(const std::string& dataFolder, const THistoryBounds& bounds) {
    const std::string folder = CloudHistoryFolder(dataFolder);
    int removed = 0;
    // A file under our name that no picture can be (empty, or larger than any download) is
    // ours to remove, not to count; copies are written under other names until complete.
    for (const TFolderEntry& entry : ListFolder(folder, MaxFolderEntries))
        if (entry.Regular && (entry.Size <= 0 || entry.Size > MaxDownloadBytes) &&
            ParseHistoryFileName(entry.Name) &&
            DeleteFileIfExists(folder + entry.Name))
            ++removed;
    std::vector<THistoryPicture> pictures = ListCloudHistory(dataFolder);
    if (pictures.empty()) return removed;
    // Measured from the newest picture, not from the clock: a clock set wrong, back or ahead,
    // must not empty the history.
    const double oldestKept = pictures.back().Utc - std::clamp(bounds.Days, 0, MaxHistoryDays);
    long long total = 0;
    for (const THistoryPicture& p : pictures)
        total += p.Size;
    const long long limit = static_cast<long long>(std::clamp(bounds.MB, 0, MaxHistoryMB)) << 20;
    for (const THistoryPicture& p : pictures) {
        const bool tooOld = bounds.Days <= 0 || p.Utc < oldestKept;
        if (!tooOld && total <= limit) break;
        if (DeleteFileIfExists(p.Path)) ++removed;
        total -= p.Size;
    }
    return removed;
}

std::string KeepInCloudHistory(const std::string& picturePath, TTyp type, double utc,
                               const std::string& dataFolder, const THistoryBounds& bounds) {
    if (bounds.Days <= 0 || bounds.MB <= 0) return {};
    const std::string name = HistoryFileName(utc, type);
    if (name.empty()) return {};
    const std::string folder = CloudHistoryFolder(dataFolder);
    std::string error;
    if (!MakeFolder(folder)) {
        error = "cannot make the folder";
    } else if (CopyFileReplacing(picturePath, folder + name, error)) {
        PruneCloudHistory(dataFolder, bounds);
        return {};
    }
    // The picture in hand is installed already; only its copy is missing.
    return Utf8ToCp1252("Cannot keep the cloud picture in the history: " + error);
}

} // namespace nimbora
