#include "weather/CloudCache.h"

#include "platform/Files.h"
#include "weather/WeatherTexts.h"

#include <cstdio>
#include <vector>

namespace nimbora {

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

bool InstallCloudPicture(const std::string& downFile, const std::string& dataFolder, TTyp type) {
    if (type != TypPng && type != TypJpg) {
        DeleteFileIfExists(downFile);
        return false;
    }
    // MoveFile renames in one step, or copies beside the target and renames that.
    if (!MoveFile(downFile, CloudCachePath(dataFolder, type))) {
        DeleteFileIfExists(downFile);
        return false;
    }
    DeleteFileIfExists(CloudCachePath(dataFolder, type == TypPng ? TypJpg : TypPng));
    return true;
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
