#pragma once
// What lies under the pointer: the point of the globe seen at a window position, and the line
// of text the status area shows for it.
#include "core/Geometry.h"
#include "render/Points.h"

#include <optional>
#include <string>

namespace nimbora {

inline constexpr double NearLabelDegrees = 5.0; // how far a label may be to be named

struct TGeoPosition {
    double Lat = 0; // degrees, north positive
    double Lon = 0; // degrees, east positive, in (-180, 180]
};

// The point of the earth's surface at window position (x, y) of a panel width x height (any
// one unit, origin top left) seen from view proj; nothing when the position is off the globe.
std::optional<TGeoPosition> GlobePointAt(double x, double y, int width, int height, TVertex proj);

// The country or sea label (kind WpTCountry) nearest to position, if one is within
// maxDegrees of it along the surface.
const TDrawPoint* NearestLabel(const TDrawPointList& points, TGeoPosition position,
                               double maxDegrees = NearLabelDegrees);

// "Lat=36.0  Lon=138.0  Japan" (Windows-1252), the numbers as the waypoint list shows them;
// empty off the globe.
std::string PointerReadout(const std::optional<TGeoPosition>& position,
                           const TDrawPointList& points);

} // namespace nimbora
