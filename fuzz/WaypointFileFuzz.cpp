// The waypoint file as anything a disk may hold: reading never crashes or hangs, yields at most
// one waypoint per section, every position is drawable, and what is written reads back the same.
#include "core/IniFile.h"
#include "render/Points.h"
#include "waypoints/WaypointFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace nimbora;

namespace {

std::string ScratchFile(const char* name) {
    static const std::string folder = [] {
        char pattern[] = "/tmp/nimbora-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) std::abort();
        return std::string(made) + "/";
    }();
    return folder + name;
}

void Check(const TDrawPointList& points, std::size_t sections) {
    if (points.size() > sections) std::abort();
    for (const TDrawPoint& p : points) {
        const TRepPoint& r = p.RepPoint;
        if (p.Kind != WpTUser) std::abort();
        if (!(std::fabs(r.Lat) <= 90) || !(std::fabs(r.Lon) <= 180)) std::abort();
        for (float v :
             {p.WayPoint.X, p.WayPoint.Y, p.WayPoint.Z, p.NamPoint.X, p.NamPoint.Y, p.NamPoint.Z})
            if (!std::isfinite(v)) std::abort();
        if (r.NamUtf8.size() > MaxIniValueLength * 4) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = ScratchFile("waypoints.ini");
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

    std::size_t sections = 0;
    for (char c : text)
        sections += c == '[';
    TDrawPointList points;
    LoadCustomWaypoints(path, points);
    Check(points, sections);

    // Rewriting and reading again keeps every waypoint as it was.
    const std::string copy = ScratchFile("copy.ini");
    SaveCustomWaypoints(copy, points);
    TDrawPointList again;
    LoadCustomWaypoints(copy, again);
    if (again.size() != points.size()) std::abort();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TRepPoint &a = points[i].RepPoint, &b = again[i].RepPoint;
        // Numbers are stored with 15 significant digits.
        auto near = [](double x, double y) {
            return std::fabs(x - y) <= 1e-13 * std::max(1.0, std::fabs(x));
        };
        if (a.NamUtf8 != b.NamUtf8 || !near(a.Lat, b.Lat) || !near(a.Lon, b.Lon)) std::abort();
    }
    std::remove(copy.c_str());
    return 0;
}
