#pragma once
// The marked points of the globe: country and sea names, the one special point and the user's
// own waypoints, with their marker and label positions precomputed.
#include "core/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbora {

// Kind of a marked point; the values are stored nowhere, but keep their order.
enum TWpT : std::uint8_t {
    WpTCountry = 0, // a country or sea name of the built-in table
    WpTUser = 1,    // a custom waypoint
    WpTSpecial = 2, // the one built-in special point
};

// Name and geographic position of a point.
struct TRepPoint {
    std::string Nam; // Windows-1252 text, as the bitmap font draws it
    double Lat = 0;  // degrees, north positive
    double Lon = 0;  // degrees, east positive
    // Custom waypoints: the name as the user typed it (UTF-8), which Nam can only approximate.
    std::string NamUtf8 = {};
};

struct TDrawPoint {
    TVertex WayPoint; // marker: SpherePoint(MarkerRadius, Lon, Lat)
    TVertex NamPoint; // label anchor: SpherePoint(LabelRadius, Lon + 0.5, Lat + 0.5)
    TWpT Kind = WpTCountry;
    TglColor Color;
    TRepPoint RepPoint;
};

// The main window's ordered list of marked points: the name table, the special point, then the
// custom waypoints in file order; later waypoints are appended.
using TDrawPointList = std::vector<TDrawPoint>;

inline constexpr float MarkerRadius = 5.0f;
inline constexpr float LabelRadius = 5.2f;
inline constexpr double LabelOffset = 0.5; // degrees north and east of the marker

// The built-in special point: the Royal Observatory, where longitude 0 begins.
inline constexpr char SpecialPointName[] = "Greenwich";
inline constexpr double SpecialPointLat = 51.48;
inline constexpr double SpecialPointLon = 0.0;

// Radius r, longitude lon and latitude lat (degrees) to globe coordinates: north pole +Y,
// latitude 0 / longitude 0 at +Z, 90 degrees east at +X. The absolute cosine makes a latitude
// past a pole (90.5) fold back onto the same meridian (89.5).
TVertex SpherePoint(double r, double lon, double lat);

// Marker colour by kind: red for the name table, green for waypoints and the special point.
TglColor PointColor(TWpT kind);

// A complete point: positions from SpherePoint, colour by kind, name and position kept as given.
TDrawPoint MakeDrawPoint(const std::string& name, double lat, double lon, TWpT kind);

// Positions in points of the custom waypoints (kind WpTUser), in list order.
std::vector<std::size_t> UserPointIndices(const TDrawPointList& points);

// The special point, kind WpTSpecial.
TDrawPoint MakeSpecialPoint();

} // namespace nimbora
