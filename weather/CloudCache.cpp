#include "weather/CloudCache.h"

#include "core/Cp1252.h"
#include "core/IniFile.h"
#include "platform/Files.h"
#include "platform/IniStore.h"
#include "platform/Paths.h"
#include "weather/WeatherTexts.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace nimbora {

namespace {

constexpr char FactsSection[] = "Clouds";

} // namespace

std::string CloudCachePath(const std::string& dataFolder, TTyp type) {
    return dataFolder + texts::CloudsBaseName + (type == TypPng ? ".png" : ".jpg");
}

TCachedClouds FindCachedClouds(const std::string& dataFolder) {
    for (const TTyp type : {TypJpg, TypPng}) {
        const std::string path = CloudCachePath(dataFolder, type);
        if (FileExists(path)) return {path, type};
    }
    return {};
}

TJpegEnd ReadJpegEnd(const std::string& path) {
    const TFileEnds ends = ReadFileEnds(path, 2);
    if (!ends.Readable) return TJpegEnd::Unreadable;
    // Only a JPEG is checked for its end; other content is taken as it is.
    if (ends.Head != "\xFF\xD8") return TJpegEnd::Complete;
    if (ends.Tail.empty()) return TJpegEnd::Unreadable;
    return ends.Tail == "\xFF\xD9" ? TJpegEnd::Complete : TJpegEnd::CutShort;
}

bool DropCutShortCachedJpeg(const std::string& dataFolder) {
    const std::string path = CloudCachePath(dataFolder, TypJpg);
    return ReadJpegEnd(path) == TJpegEnd::CutShort && DeleteFileIfExists(path);
}

std::string CloudFactsPath(const std::string& dataFolder) {
    return dataFolder + texts::CloudFactsFileName;
}

TCloudFacts DownloadFacts(const TMapInfo& mapInfo) {
    return {mapInfo.LastMap, mapInfo.DownFilter, mapInfo.DownCredit};
}

std::optional<TCloudFacts> ReadCloudFacts(const std::string& dataFolder, double nowUtc) {
    const TCachedClouds cached = FindCachedClouds(dataFolder);
    if (cached.Type == TypUnk) return std::nullopt;
    const TIniFile ini = ReadIniFile(CloudFactsPath(dataFolder));
    // The facts name their picture, so that facts left from an earlier picture (a write that
    // failed, a run stopped between the two files) are not taken for this one's.
    const std::string size = ini.ReadString(FactsSection, "Size", "");
    long long bytes = -1;
    const auto parsed = std::from_chars(size.data(), size.data() + size.size(), bytes);
    if (ini.ReadString(FactsSection, "Picture", "") != FileNameOf(cached.Path) ||
        parsed.ec != std::errc() || parsed.ptr != size.data() + size.size() ||
        bytes != FileSize(cached.Path))
        return std::nullopt;

    TCloudFacts facts;
    facts.LastMap = IsoToDateTimeZ(ini.ReadString(FactsSection, "LastDate", ""));
    const double utc = facts.LastMap.DateTime - facts.LastMap.TimeZone / 1440.0;
    // A date ahead of the clock would make every server answer "not modified" for years.
    if (!facts.LastMap.Exists || !(utc > 0) || utc > nowUtc + MaxDateAheadDays) return std::nullopt;
    const int filter = ini.ReadInteger(FactsSection, "Filter", -1);
    if (filter < 0 || filter > 255) return std::nullopt;
    facts.Filter = static_cast<std::uint8_t>(filter);
    if (!ini.ValueExists(FactsSection, "Credit")) return std::nullopt;
    facts.Credit = Utf8ToCp1252(ini.ReadString(FactsSection, "Credit", ""));
    return facts;
}

bool WriteCloudFacts(const std::string& dataFolder, const TCloudFacts& facts) {
    const TCachedClouds cached = FindCachedClouds(dataFolder);
    if (cached.Type == TypUnk) return false;
    TIniBatch batch;
    batch.WriteString(FactsSection, "Picture", FileNameOf(cached.Path));
    batch.WriteString(FactsSection, "Size", std::to_string(FileSize(cached.Path)));
    batch.WriteString(FactsSection, "LastDate", DateTimeZToIso(facts.LastMap));
    batch.WriteInteger(FactsSection, "Filter", facts.Filter);
    batch.WriteString(FactsSection, "Credit", Cp1252ToUtf8(facts.Credit));
    try {
        CommitIniFresh(batch, CloudFactsPath(dataFolder));
    } catch (const TSettingsWriteError&) {
        return false;
    }
    return true;
}

std::string CannotSaveCloudsText(const std::string& dataFolder) {
    std::string folder = dataFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    folder = folder.empty() ? std::string("the working folder") : HomeRelative(folder);
    return Utf8ToCp1252("Error: Cannot save the cloud picture in " + folder);
}

TInstallResult InstallCloudPicture(const std::string& downFile, const std::string& dataFolder,
                                   TTyp type, const TCloudFacts& facts,
                                   const THistoryBounds& history) {
    if (type != TypPng && type != TypJpg) {
        DeleteFileIfExists(downFile);
        return {false, "Error: Cannot download data", {}};
    }
    // MoveFile renames in one step, or copies beside the target and renames that.
    if (!MoveFile(downFile, CloudCachePath(dataFolder, type))) {
        DeleteFileIfExists(downFile);
        return {false, CannotSaveCloudsText(dataFolder), {}};
    }
    DeleteFileIfExists(CloudCachePath(dataFolder, type == TypPng ? TypJpg : TypPng));
    WriteCloudFacts(dataFolder, facts);
    TInstallResult result{true, {}, {}};
    if (facts.LastMap.Exists)
        result.HistoryText =
            KeepInCloudHistory(CloudCachePath(dataFolder, type), type,
                               facts.LastMap.DateTime - facts.LastMap.TimeZone / 1440.0,
                               dataFolder, history);
    return result;
}

bool SameFileContents(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rbe");
    std::FILE* fb = fa ? std::fopen(b.c_str(), "rbe") : nullptr;
    bool same = fa && fb;
    std::vector<char> bufA(1 << 16), bufB(1 << 16);
    while (same) {
        const std::size_t na = std::fread(bufA.data(), 1, bufA.size(), fa);
        const std::size_t nb = std::fread(bufB.data(), 1, bufB.size(), fb);
        same = na == nb && std::equal(bufA.begin(), bufA.begin() + na, bufB.begin()) &&
               !std::ferror(fa) && !std::ferror(fb);
        if (na == 0) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

void AdoptDownloadLabels(TMapInfo& mapInfo) {
    mapInfo.AutoFilterVal = mapInfo.DownFilter;
    mapInfo.Credit = mapInfo.DownCredit;
}

void ForgetDownloadLabels(TMapInfo& mapInfo) {
    mapInfo.DownFilter = mapInfo.AutoFilterVal;
    mapInfo.DownCredit = mapInfo.Credit;
}

} // namespace nimbora
