// The waypoint file as anything a disk may hold: reading never crashes or hangs, yields at most
// one waypoint per section, every position is drawable, and what is written reads back the same.
#include "core/IniFile.h"
#include "fuzz/FuzzSupport.h"
#include "render/Points.h"
#include "waypoints/WaypointFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace nimbora;

namespace {

void Check(const TDrawPointList& points, std::size_t sections) {
    FUZZ_CHECK(points.size() <= sections);
    for (const TDrawPoint& p : points) {
        const TRepPoint& r = p.RepPoint;
        FUZZ_CHECK(p.Kind == WpTUser);
        FUZZ_CHECK(std::fabs(r.Lat) <= 90 && std::fabs(r.Lon) <= 180);
        for (float v :
             {p.WayPoint.X, p.WayPoint.Y, p.WayPoint.Z, p.NamPoint.X, p.NamPoint.Y, p.NamPoint.Z})
            FUZZ_CHECK(std::isfinite(v));
        FUZZ_CHECK(r.NamUtf8.size() <= MaxIniValueLength * 4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchPath("waypoints.ini");
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::WriteScratchFile(path, text);

    std::size_t sections = 0;
    for (char c : text)
        sections += c == '[';
    TDrawPointList points;
    LoadCustomWaypoints(path, points);
    Check(points, sections);

    // Rewriting and reading again keeps every waypoint as it was.
    static const std::string copy = fuzz::ScratchPath("copy.ini");
    SaveCustomWaypoints(copy, points);
    TDrawPointList again;
    LoadCustomWaypoints(copy, again);
    FUZZ_CHECK(again.size() == points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TRepPoint &a = points[i].RepPoint, &b = again[i].RepPoint;
        // Numbers are stored with 15 significant digits.
        auto near = [](double x, double y) {
            return std::fabs(x - y) <= 1e-13 * std::max(1.0, std::fabs(x));
        };
        FUZZ_CHECK(a.NamUtf8 == b.NamUtf8 && near(a.Lat, b.Lat) && near(a.Lon, b.Lon));
    }
    std::remove(copy.c_str());
    return 0;
}
