#pragma once
// The cloud picture in hand: where its file lives, the start-up check of a cut-short JPEG, and
// the installation of a downloaded picture in its place. Every rule about the cache files is
// here, so that the window, the settings and the update decision all see the same files.
#include "weather/MapInfo.h"
#include "weather/DownloadSupport.h"

#include <string>

namespace nimbora {

// dataFolder + "clouds" + ".png" (TypPng) or ".jpg" (any other type). An empty data folder is
// the working directory, the fallback when no data folder could be made.
std::string CloudCachePath(const std::string& dataFolder, TTyp type);

// The cached picture: the JPEG when both exist. Type TypUnk and an empty path when none.
struct TCachedClouds {
    std::string Path;
    TTyp Type = TypUnk;
};
TCachedClouds FindCachedClouds(const std::string& dataFolder);

enum class TJpegEnd { Unreadable, Complete, CutShort };
// Complete: a file that does not begin with FF D8, or ends with FF D9. CutShort: one that was
// read, begins with FF D8 and does not end with FF D9. Unreadable: missing or not readable.
TJpegEnd ReadJpegEnd(const std::string& path);

// Deletes the cached JPEG only when it was read and found cut short; true when it did.
bool DropCutShortCachedJpeg(const std::string& dataFolder);

// Makes downFile the picture in hand: renamed over the cache file of its type in one step
// (copied into the data folder first when it lies on another file system), and only then the
// cache file of the other type removed. On failure the picture in hand is untouched and
// neither downFile nor a partial copy is left behind.
bool InstallCloudPicture(const std::string& downFile, const std::string& dataFolder, TTyp type);

// True when both files can be read and hold the same bytes.
bool SameFileContents(const std::string& a, const std::string& b);

// A downloaded picture is in hand: it takes the filter level and credit of its server.
void AdoptDownloadLabels(TMapInfo& mapInfo);
// No new picture came: the server last chosen no longer speaks for the picture in hand.
void ForgetDownloadLabels(TMapInfo& mapInfo);

} // namespace nimbora
