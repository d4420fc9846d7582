#include "render/Points.h"

#include <cmath>
#include <numbers>

namespace nimbora {

TVertex SpherePoint(double r, double lon, double lat) {
    // Single precision on purpose: the vertices go to OpenGL as floats anyway.
    constexpr float toRad = std::numbers::pi_v<float> / 180.0f;
    const float lonRad = static_cast<float>(lon) * toRad;
    const float latRad = static_cast<float>(lat) * toRad;
    const float rf = static_cast<float>(r);
    const float ring = rf * std::fabs(std::cos(latRad));
    return TVertex{ring * std::sin(lonRad), rf * std::sin(latRad), ring * std::cos(lonRad)};
}

TglColor PointColor(TWpT kind) {
    if (kind == WpTCountry) return TglColor{1, 0, 0};
    return TglColor{0, 1, 0};
}

TDrawPoint MakeDrawPoint(const std::string& name, double lat, double lon, TWpT kind) {
    TDrawPoint p;
    p.WayPoint = SpherePoint(MarkerRadius, lon, lat);
    p.NamPoint = SpherePoint(LabelRadius, lon + LabelOffset, lat + LabelOffset);
    p.Kind = kind;
    p.Color = PointColor(kind);
    p.RepPoint = TRepPoint{name, lat, lon};
    return p;
}

TDrawPoint MakeSpecialPoint() {
    return MakeDrawPoint(SpecialPointName, SpecialPointLat, SpecialPointLon, WpTSpecial);
}

std::vector<std::size_t> UserPointIndices(const TDrawPointList& points) {
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].Kind == WpTUser) indices.push_back(i);
    return indices;
}

} // namespace nimbora
