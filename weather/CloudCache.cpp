#include "weather/CloudCache.h"

#include "weather/WeatherTexts.h"
#include "platform/Files.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
    // Non-blocking, so that a pipe planted under the name cannot stall us in open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return TJpegEnd::Unreadable;
    TJpegEnd result = TJpegEnd::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        unsigned char head[2] = {0, 0};
        const ssize_t got = ::pread(fd, head, 2, 0);
        if (got == 2 && head[0] == 0xFF && head[1] == 0xD8) {
            unsigned char tail[2] = {0, 0};
            if (::pread(fd, tail, 2, st.st_size - 2) == 2)
                result =
                    tail[0] == 0xFF && tail[1] == 0xD9 ? TJpegEnd::Complete : TJpegEnd::CutShort;
        } else if (got >= 0) {
            result = TJpegEnd::Complete;
        }
    }
    ::close(fd);
    return result;
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
