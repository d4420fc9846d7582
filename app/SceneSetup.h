#pragma once
// The pieces of a frame that the window and the command-line picture share, so that a picture
// shows exactly what the window would.
#include "app/Settings.h"
#include "render/Points.h"
#include "render/Scene.h"
#include "render/navigation.h"
#include "render/sunmoondata.h"
#include "weather/MapInfo.h"

#include <cstdint>
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

// The cached cloud picture, filtered and coloured as the settings say, becomes the scene's cloud
// texture (context current). On success the map info takes the picture's filter level and
// credit, and lines.Update and lines.Credit say so; false when there is no usable picture.
// stream is the reused buffer for the processed picture.
bool ShowCachedClouds(TScene& scene, const std::string& dataFolder, const TSettings& settings,
                      TMapInfo& mapInfo, std::vector<std::uint8_t>& stream, TStatusLines& lines);

} // namespace nimbora
