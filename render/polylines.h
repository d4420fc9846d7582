#pragma once
// The coastline, island and boundary polylines of the embedded resources.
//
// Format (little-endian): int32 polyline count N; then N times: int32 point count P, P float32
// longitudes, P float32 latitudes (degrees, east and north positive). Nothing follows.
#include <QString>

#include <string_view>
#include <vector>

namespace nimbora {

struct TPolyPoint {
    float Lon = 0;
    float Lat = 0;
};

// One open line strip (an outline is closed only where its last point repeats its first).
struct TPolyline {
    std::vector<TPolyPoint> Points;
};

// Resource paths in drawing order: coastlines, national boundaries, islands.
inline const char* const BoundaryResources[] = {":/coast.bin", ":/nation.bin", ":/island.bin"};

// Reads polylines from bytes. Every count is checked against the bytes that remain: a damaged
// or truncated resource yields the polylines before the damage and nothing is read past the
// end. A negative count ends the data; a polyline with a value that is not a finite number is
// left out. Never throws.
std::vector<TPolyline> ReadPolylines(std::string_view bytes);

// Reads a resource (or file) path such as ":/coast.bin"; empty when it cannot be opened.
// The embedded resources need InitNimboraResources() first.
std::vector<TPolyline> ReadPolylineResource(const QString& path);

} // namespace nimbora
