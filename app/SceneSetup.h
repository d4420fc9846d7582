#pragma once
// The pieces of a frame that the window and the command-line picture share, so that a picture
// shows exactly what the window would.
#include "app/Settings.h"
#include "render/Points.h"
#include "render/Scene.h"
#include "render/navigation.h"
#include "render/sunmoondata.h"
#include "weather/CloudHistory.h"
#include "weather/CloudJob.h"
#include "weather/MapInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// The three status lines drawn on the globe (Windows-1252).
struct TStatusLines {
    std::string Status, Update, Credit;
};

// What one frame shows, from the settings' features, the view and the sun and moon.
TFrameState MakeFrameState(const TSettings& settings, const TNavState& nav, const TSunMoon& sunMoon,
                           bool cloudsAvailable, const TDrawPointList& drawPoints,
                           const TStatusLines& lines);

// What preparing the cached cloud picture takes, from the settings and the map info as they are
// now; nullopt when no picture is in hand. maxSide: the context's largest texture side.
std::optional<TCloudJobInfo> CachedCloudsJob(const std::string& dataFolder,
                                             const TSettings& settings, const TMapInfo& mapInfo,
                                             int maxSide);

// The same for a kept picture of the cloud history: filtered as the picture in hand would be,
// and labelled with its own time.
TCloudJobInfo HistoryCloudsJob(const THistoryPicture& picture, const TSettings& settings,
                               const TMapInfo& mapInfo, int maxSide);

// A prepared cloud picture becomes the scene's cloud texture (context current). On success the
// map info takes the filter level and credit the picture was asked with, and lines.Update and
// lines.Credit say so; false, with nothing changed, when the texture could not be made.
bool ShowPreparedClouds(TScene& scene, const TCloudJobInfo& info, const TCloudPixels& pixels,
                        TMapInfo& mapInfo, TStatusLines& lines);

// Both at once, on this thread: the cached cloud picture, filtered and coloured as the settings
// say, becomes the scene's cloud texture (context current); false when there is no usable
// picture. stream is the reused buffer for the processed picture.
bool ShowCachedClouds(TScene& scene, const std::string& dataFolder, const TSettings& settings,
                      TMapInfo& mapInfo, std::vector<std::uint8_t>& stream, TStatusLines& lines);
// The same with the kept picture nearest to utc when utc lies within the history: false, with
// nothing changed, when there is none or it cannot be read.
bool ShowHistoryClouds(TScene& scene, const std::string& dataFolder, double utc,
                       const TSettings& settings, TMapInfo& mapInfo,
                       std::vector<std::uint8_t>& stream, TStatusLines& lines);

} // namespace nimbora
