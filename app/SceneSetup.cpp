#include "app/SceneSetup.h"

#include "render/JpegDecode.h"
#include "render/Textures.h"
#include "weather/CloudCache.h"
#include "weather/CloudPicture.h"
#include "weather/CloudsText.h"

namespace nimbora {

TFrameState MakeFrameState(const TSettings& settings, const TNavState& nav, const TSunMoon& sunMoon,
                           bool cloudsAvailable, const TDrawPointList& drawPoints,
                           const TStatusLines& lines) {
    TFrameState frame;
    frame.Proj = nav.Proj;
    frame.ScaleZ = nav.ScaleZ;
    const TFeatures& features = settings.Features;
    frame.ShowTexturing = features.WorldTexturing;
    frame.ShowCountries = features.CountryBoundaries;
    frame.ShowTimeZone = features.TimeZoneGrid;
    frame.ShowNames = features.CountryNames;
    frame.ShowClouds = features.Clouds;
    frame.ShowDayNight = features.DayNight;
    frame.ShowCustomWay = settings.ShowCustomWay;
    frame.CloudsAvailable = cloudsAvailable;
    frame.DrawPoints = &drawPoints;
    frame.StatusText = lines.Status;
    frame.UpdateText = lines.Update;
    frame.CreditText = lines.Credit;
    frame.SunLat = sunMoon.SunLat;
    frame.SunLon = sunMoon.SunLon;
    frame.MoonLat = sunMoon.MoonLat;
    frame.MoonLon = sunMoon.MoonLon;
    return frame;
}

// Every filtered cloud picture must be one the texture loader takes.
static_assert(MaxCloudTexturePixels <= MaxJpegPixels && MaxCloudTextureSide <= MaxJpegSide);

bool ShowCachedClouds(TScene& scene, const std::string& dataFolder, const TSettings& settings,
                      TMapInfo& mapInfo, std::vector<std::uint8_t>& stream, TStatusLines& lines) {
    const TCachedClouds cached = FindCachedClouds(dataFolder);
    const std::uint8_t filter =
        CloudFilterLevel(settings.AutoFilter, mapInfo.DownFilter, settings.UserFilterVal);
    stream.clear();
    if (cached.Type != TypUnk)
        FilterCloudPicture(cached.Path, &stream, cached.Type, settings.Features.ColorizeClouds,
                           filter, MaxTextureSide());
    if (stream.empty()) return false;
    if (!scene.SetCloudTexture(stream)) return false;
    mapInfo.AutoFilterVal = mapInfo.DownFilter;
    mapInfo.Credit = mapInfo.DownCredit;
    lines.Update = CloudsUpdatedText(mapInfo.LastMap);
    lines.Credit = mapInfo.Credit;
    return true;
}

} // namespace nimbora
