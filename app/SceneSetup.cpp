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
    frame.ShowCityLights = features.CityLights;
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

namespace {

TCloudJobInfo CloudsJob(const std::string& path, TTyp type, const TSettings& settings,
                        const TMapInfo& mapInfo, int maxSide) {
    TCloudJobInfo info;
    info.Path = path;
    info.Type = type;
    info.Colour = settings.Features.ColorizeClouds;
    info.Filter = CloudFilterLevel(settings.AutoFilter, mapInfo.DownFilter, settings.UserFilterVal);
    info.MaxSide = maxSide;
    info.DownFilter = mapInfo.DownFilter;
    info.DownCredit = mapInfo.DownCredit;
    info.LastMap = mapInfo.LastMap;
    return info;
}

} // namespace

std::optional<TCloudJobInfo> CachedCloudsJob(const std::string& dataFolder,
                                             const TSettings& settings, const TMapInfo& mapInfo,
                                             int maxSide) {
    const TCachedClouds cached = FindCachedClouds(dataFolder);
    if (cached.Type == TypUnk) return std::nullopt;
    return CloudsJob(cached.Path, cached.Type, settings, mapInfo, maxSide);
}

TCloudJobInfo HistoryCloudsJob(const THistoryPicture& picture, const TSettings& settings,
                               const TMapInfo& mapInfo, int maxSide) {
    TCloudJobInfo info = CloudsJob(picture.Path, picture.Type, settings, mapInfo, maxSide);
    info.LastMap = {picture.Utc, 0, true};
    return info;
}

bool ShowPreparedClouds(TScene& scene, const TCloudJobInfo& info, const TCloudPixels& pixels,
                        TMapInfo& mapInfo, TStatusLines& lines) {
    if (!scene.SetCloudPicture(pixels.Width, pixels.Height, pixels.Channels, pixels.Pixels))
        return false;
    mapInfo.AutoFilterVal = info.DownFilter;
    mapInfo.Credit = info.DownCredit;
    lines.Update = CloudsUpdatedText(info.LastMap);
    lines.Credit = mapInfo.Credit;
    return true;
}

bool ShowCachedClouds(TScene& scene, const std::string& dataFolder, const TSettings& settings,
                      TMapInfo& mapInfo, std::vector<std::uint8_t>& stream, TStatusLines& lines) {
    const auto info = CachedCloudsJob(dataFolder, settings, mapInfo, MaxTextureSide());
    if (!info) return false;
    TCloudPixels pixels;
    if (!PrepareCloudPixels(*info, pixels, stream)) return false;
    return ShowPreparedClouds(scene, *info, pixels, mapInfo, lines);
}

bool ShowHistoryClouds(TScene& scene, const std::string& dataFolder, double utc,
                       const TSettings& settings, TMapInfo& mapInfo,
                       std::vector<std::uint8_t>& stream, TStatusLines& lines) {
    const auto picture = NearestHistoryPicture(ListCloudHistory(dataFolder), utc);
    if (!picture) return false;
    const TCloudJobInfo info = HistoryCloudsJob(*picture, settings, mapInfo, MaxTextureSide());
    TCloudPixels pixels;
    return PrepareCloudPixels(info, pixels, stream) &&
           ShowPreparedClouds(scene, info, pixels, mapInfo, lines);
}

} // namespace nimbora
