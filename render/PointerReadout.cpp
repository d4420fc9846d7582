#include "render/PointerReadout.h"

#include "core/support.h"
#include "render/Scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbora {

namespace {

constexpr double Radian = std::numbers::pi / 180;

struct TDirection {
    double X, Y, Z;
};

TDirection UnitVector(double lat, double lon) {
    return {std::cos(lat * Radian) * std::sin(lon * Radian), std::sin(lat * Radian),
            std::cos(lat * Radian) * std::cos(lon * Radian)};
}

} // namespace

std::optional<TGeoPosition> GlobePointAt(double x, double y, int width, int height, TVertex proj) {
    if (width <= 0 || height <= 0 || !(proj.Z < 0)) return std::nullopt;
    // The ray from the eye through the position, in eye coordinates (looking down -Z).
    const double half = std::tan(FieldOfView / 2 * Radian);
    const double dx = (2 * x / width - 1) * half * width / height;
    const double dy = (1 - 2 * y / height) * half;
    const double dz = -1;
    // Its nearer meeting with the sphere around (0, 0, proj.Z).
    const double cz = proj.Z, r = EarthRadius;
    const double a = dx * dx + dy * dy + dz * dz;
    const double b = -2 * dz * cz;
    const double c = cz * cz - r * r;
    const double disc = b * b - 4 * a * c;
    if (!(disc >= 0)) return std::nullopt;
    const double t = (-b - std::sqrt(disc)) / (2 * a);
    if (!(t > 0)) return std::nullopt;
    double px = t * dx, py = t * dy, pz = t * dz - cz;
    // Undo the frame's turns: the tilt proj.Y about X, then the turn proj.X about Y.
    const double tilt = -proj.Y * Radian, turn = -proj.X * Radian;
    const double y1 = py * std::cos(tilt) - pz * std::sin(tilt);
    const double z1 = py * std::sin(tilt) + pz * std::cos(tilt);
    const double x2 = px * std::cos(turn) + z1 * std::sin(turn);
    const double z2 = -px * std::sin(turn) + z1 * std::cos(turn);
    TGeoPosition position;
    position.Lat = std::asin(std::clamp(y1 / r, -1.0, 1.0)) / Radian;
    position.Lon = NormLon(std::atan2(x2, z2) / Radian);
    return position;
}

const TDrawPoint* NearestLabel(const TDrawPointList& points, TGeoPosition position,
                               double maxDegrees) {
    const TDirection at = UnitVector(position.Lat, position.Lon);
    const TDrawPoint* nearest = nullptr;
    double best = std::cos(maxDegrees * Radian);
    for (const TDrawPoint& p : points) {
        if (p.Kind != WpTCountry) continue;
        const TDirection label =
            UnitVector(p.RepPoint.Lat + LabelOffset, p.RepPoint.Lon + LabelOffset);
        const double cosine = at.X * label.X + at.Y * label.Y + at.Z * label.Z;
        if (cosine >= best) {
            best = cosine;
            nearest = &p;
        }
    }
    return nearest;
}

std::string PointerReadout(const std::optional<TGeoPosition>& position,
                           const TDrawPointList& points) {
    if (!position) return {};
    std::string text = "Lat=" + FormatDeg2(position->Lat) + "  Lon=" + FormatLonDeg2(position->Lon);
    if (const TDrawPoint* label = NearestLabel(points, *position))
        text += "  " + label->RepPoint.Nam;
    return text;
}

} // namespace nimbora
