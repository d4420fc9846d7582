#pragma once
// What the picture mode draws where: the place --view names, the pictures of
// --output-per-screen, and how much larger than on the screen a picture's text is drawn.
#include "app/RenderCommand.h"
#include "render/sunmoondata.h"
#include "waypoints/PlaceFinder.h"

#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// "sun" and "moon" (any case) are the sub-solar and sub-lunar points at the clock's time; any
// other text is matched as the find box matches it among points (the name table and the
// waypoints). Nothing when no name holds the text.
std::optional<TPlace> ViewPlaceByName(const std::string& text, const TDrawPointList& points,
                                      const TUtcClock& clock);

// Turns o.ViewName into o.Lat and o.Lon, looking among the name table and the waypoints of
// dataFolder; false with error set when nothing has that name.
bool ResolveViewName(TRenderOptions& o, const std::string& dataFolder, std::string& error);

struct TPictureJob {
    std::string Target;
    int Width = 0, Height = 0;
};

// The screens' sizes in pixels, in the order the system lists them (the first is 1).
struct TScreenSize {
    int Width = 0, Height = 0;
};

// One picture per screen for --output-per-screen ("%n" in the pattern is the screen's
// number), else the one of --render; a side of 0 stands for the default size. Without any
// screen one picture at the default size, and note says so.
std::vector<TPictureJob> PictureJobs(const TRenderOptions& o,
                                     const std::vector<TScreenSize>& screens, std::string& note);

// How many times larger than in a 1920x1080 picture text, lines and markers are drawn: at
// least 1, growing with the smaller of the two proportions.
double PictureScale(int width, int height);

} // namespace nimbora
