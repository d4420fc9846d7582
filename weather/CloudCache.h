#pragma once
// The cloud picture in hand: where its file lives, the start-up check of a cut-short JPEG, the
// installation of a downloaded picture in its place and the facts kept beside it. Every rule
// about the cache files is here, so that the window, the command line, the settings and the
// update decision all see the same files.
#include "weather/CloudHistory.h"
#include "weather/DownloadSupport.h"
#include "weather/MapInfo.h"

#include <cstdint>
#include <optional>
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

// What is known of the picture in hand. Kept in a small file beside it ("clouds.ini"), written
// whenever a picture is installed, so that every run (the window's and the command line's,
// which never writes the settings) asks the server with its date and shows its credit.
struct TCloudFacts {
    TDateTimeZ LastMap;      // its Last-Modified date, or when it was received
    std::uint8_t Filter = 0; // the filter level of the server that sent it
    std::string Credit;      // the credit line of that server (Windows-1252)
};
std::string CloudFactsPath(const std::string& dataFolder);
// The facts of a picture just downloaded: its date and the labels of the server chosen for it.
TCloudFacts DownloadFacts(const TMapInfo& mapInfo);
// The facts of the picture in hand. None when the file is missing, unreadable or damaged, when
// a value is out of range (a date that is not after 1899-12-30 or lies more than
// MaxDateAheadDays ahead of nowUtc, a filter level outside 0 to 255), or when it describes
// another picture than the one in hand (another file, or another size).
std::optional<TCloudFacts> ReadCloudFacts(const std::string& dataFolder, double nowUtc);
// Writes the facts of the picture in hand, replacing the file in one step; false on failure.
bool WriteCloudFacts(const std::string& dataFolder, const TCloudFacts& facts);

// The status line of a picture that arrived but could not be stored (Windows-1252).
std::string CannotSaveCloudsText(const std::string& dataFolder);

struct TInstallResult {
    bool Installed = false;
    std::string ErrorText; // the status line when it was not
    std::string HistoryText; // the status line when it was installed but not kept in the history
};
// Makes downFile the picture in hand: renamed over the cache file of its type in one step
// (copied into the data folder first when it lies on another file system), and only then the
// cache file of the other type removed; then its facts are written beside it (a failure there
// leaves a facts file that no longer matches and is therefore not believed). On failure the
// picture in hand is untouched and neither downFile nor a partial copy is left behind.
// An installed picture is also kept in the cloud history, named by the date of its facts.
TInstallResult InstallCloudPicture(const std::string& downFile, const std::string& dataFolder,
                                   TTyp type, const TCloudFacts& facts,
                                   const THistoryBounds& history = {});

// True when both files can be read and hold the same bytes.
bool SameFileContents(const std::string& a, const std::string& b);

// A downloaded picture is in hand: it takes the filter level and credit of its server.
void AdoptDownloadLabels(TMapInfo& mapInfo);
// No new picture came: the server last chosen no longer speaks for the picture in hand.
void ForgetDownloadLabels(TMapInfo& mapInfo);

} // namespace nimbora
