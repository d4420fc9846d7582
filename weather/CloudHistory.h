#pragma once
// The cloud pictures of the last days, kept in "history/" of the data folder under names that
// say their time (UTC), so that the window can step and play through them and the command line
// can draw the one of a given time. Only files named in the program's own pattern are read or
// removed there; anything else in the folder is left alone.
#include "weather/DownloadSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// How much is kept: pictures no older than Days before the newest, and at most MB megabytes in
// all. A bound of 0 keeps nothing.
struct THistoryBounds {
    int Days = 7;
    int MB = 300;
};
inline constexpr int MaxHistoryDays = 3660;
inline constexpr int MaxHistoryMB = 1 << 20;

// dataFolder + "history/".
std::string CloudHistoryFolder(const std::string& dataFolder);

// "clouds-20261209T1800Z.jpg" (".png" for TypPng): the UTC minute of utc (a day count since
// 1899-12-30). Empty for a time outside the years 1900 to 9999 or a type that is no picture.
std::string HistoryFileName(double utc, TTyp type);
// The time and type such a name stands for; nullopt for any other name.
struct THistoryName {
    double Utc = 0;
    TTyp Type = TypUnk;
};
std::optional<THistoryName> ParseHistoryFileName(const std::string& name);

struct THistoryPicture {
    std::string Path;
    double Utc = 0;
    TTyp Type = TypUnk;
    long long Size = 0;
};
// The kept pictures, oldest first: plain files with the program's names, of a size a picture
// can have. Their content is not looked at; a damaged one fails where it is drawn.
std::vector<THistoryPicture> ListCloudHistory(const std::string& dataFolder);

// The picture nearest to utc, the earlier one on a tie; nullopt when the list is empty or utc
// lies outside its first and last times.
std::optional<THistoryPicture> NearestHistoryPicture(const std::vector<THistoryPicture>& pictures,
                                                     double utc);

// Keeps a copy of picturePath (the picture just taken, of the given type and time) in the
// history and then removes what lies beyond the bounds, the oldest first. The picture itself is
// never touched. Empty on success (or when the bounds keep nothing), else the status line
// (Windows-1252) saying why it could not be kept.
std::string KeepInCloudHistory(const std::string& picturePath, TTyp type, double utc,
                               const std::string& dataFolder, const THistoryBounds& bounds);

// Removes our own pictures beyond the bounds: older than Days before the newest, then the
// oldest until the rest fit in MB, and any file with our name that cannot be a picture (empty
// or too large).
// Returns how many were removed.
int PruneCloudHistory(const std::string& dataFolder, const THistoryBounds& bounds);

} // namespace nimbora
