#include "app/RenderTargets.h"

#include "app/Texts.h"
#include "core/TextHelpers.h"
#include "render/countries.h"
#include "waypoints/WaypointFile.h"

#include <algorithm>

namespace nimbora {

std::optional<TPlace> ViewPlaceByName(const std::string& text, const TDrawPointList& points,
                                      const TUtcClock& clock) {
    const std::string word = Trim(text);
    if (EqualNoCase(word, "sun") || EqualNoCase(word, "moon")) {
        const TSunMoon sky = UpdateSunMoon(clock);
        const bool sun = EqualNoCase(word, "sun");
        return TPlace{word, sun ? sky.SunLat : sky.MoonLat, sun ? sky.SunLon : sky.MoonLon};
    }
    return FindPlace(TPlaceIndex(points), word);
}

bool ResolveViewName(TRenderOptions& o, const std::string& dataFolder, std::string& error) {
    if (o.ViewName.empty()) return true;
    TDrawPointList points;
    AddNamePoints(points);
    LoadCustomWaypoints(dataFolder + texts::WaypointFileName, points);
    const TUtcClock clock = o.Time ? TUtcClock([t = *o.Time] { return t; }) : SystemUtcNow;
    const auto place = ViewPlaceByName(o.ViewName, points, clock);
    if (!place) {
        error = "Unknown place \"" + o.ViewName +
                "\" for --view: give a country, a sea, a waypoint, sun, moon or LAT,LON";
        return false;
    }
    o.Lat = place->Lat;
    o.Lon = place->Lon;
    o.HasView = true;
    return true;
}

std::vector<TPictureJob> PictureJobs(const TRenderOptions& o,
                                     const std::vector<TScreenSize>& screens, std::string& note) {
    note.clear();
    if (o.PerScreenPattern.empty()) return {{o.Target, o.Width, o.Height}};
    std::vector<TPictureJob> jobs;
    const auto target = [&](std::size_t number) {
        std::string name = o.PerScreenPattern;
        const std::string text = std::to_string(number);
        for (std::size_t at = name.find("%n"); at != std::string::npos;
             at = name.find("%n", at + text.size()))
            name.replace(at, 2, text);
        return name;
    };
    for (std::size_t k = 0; k < screens.size(); ++k)
        if (screens[k].Width > 0 && screens[k].Height > 0)
            jobs.push_back({target(k + 1), std::min(screens[k].Width, MaxRenderSide),
                            std::min(screens[k].Height, MaxRenderSide)});
    if (jobs.empty()) {
        note = "No screen to measure: one picture at the default size.";
        jobs.push_back({target(1), 0, 0});
    }
    return jobs;
}

double PictureScale(int width, int height) {
    return std::max(1.0, std::min(width / 1920.0, height / 1080.0));
}

} // namespace nimbora
