// The point under the pointer, against the frame's own transform run forwards.
#include "render/PointerReadout.h"

#include "core/support.h"
#include "render/Scene.h"
#include "render/countries.h"
#include "render/navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace nimbora {
namespace {

constexpr int W = 640, H = 480;

// Where the frame draws the surface point (lat, lon): the model turned by proj.X about Y,
// tilted by proj.Y about X, moved by proj.Z, then the perspective.
bool PixelOf(double lat, double lon, TVertex proj, double& x, double& y) {
    const double k = std::numbers::pi / 180;
    double px = EarthRadius * std::cos(lat * k) * std::sin(lon * k);
    double py = EarthRadius * std::sin(lat * k);
    double pz = EarthRadius * std::cos(lat * k) * std::cos(lon * k);
    const double t = proj.X * k, u = proj.Y * k;
    const double x1 = px * std::cos(t) + pz * std::sin(t),
                 z1 = -px * std::sin(t) + pz * std::cos(t);
    const double y2 = py * std::cos(u) - z1 * std::sin(u), z2 = py * std::sin(u) + z1 * std::cos(u);
    if (z2 < 0) return false; // the far side
    const double depth = -(z2 + proj.Z), f = 1 / std::tan(FieldOfView / 2 * k);
    x = (1 + x1 * f * H / W / depth) * W / 2;
    y = (1 - y2 * f / depth) * H / 2;
    return true;
}

TEST(PointerReadout, FindsThePointUnderThePixelInEveryQuarter) {
    const struct {
        double viewLat, viewLon, z;
    } views[] = {
        {0, 0, -15}, {36, 138, -15}, {-33.87, 151.2, -9}, {40.5, -3.7, -30}, {-40, -170, -6}};
    for (const auto& v : views) {
        TVertex proj{0, 0, static_cast<float>(v.z)};
        LookDownOn(proj, v.viewLat, v.viewLon);
        const auto centre = GlobePointAt(W / 2, H / 2, W, H, proj);
        ASSERT_TRUE(centre);
        EXPECT_NEAR(centre->Lat, v.viewLat, 1e-4);
        EXPECT_NEAR(centre->Lon, v.viewLon, 1e-4);
        for (const double dLat : {-12.0, 12.0})
            for (const double dLon : {-12.0, 12.0}) {
                const double lat = v.viewLat + dLat, lon = NormLon(v.viewLon + dLon);
                double x = 0, y = 0;
                ASSERT_TRUE(PixelOf(lat, lon, proj, x, y));
                const auto at = GlobePointAt(x, y, W, H, proj);
                ASSERT_TRUE(at) << x << "," << y;
                EXPECT_NEAR(at->Lat, lat, 1e-3) << v.viewLat << " " << dLat;
                EXPECT_NEAR(at->Lon, lon, 1e-3) << v.viewLon << " " << dLon;
            }
    }
    // Mirror pixels give mirror places: east and west, north and south.
    const TVertex front{0, 0, -15};
    const auto east = GlobePointAt(W / 2 + 100, H / 2, W, H, front);
    const auto west = GlobePointAt(W / 2 - 100, H / 2, W, H, front);
    const auto north = GlobePointAt(W / 2, H / 2 - 100, W, H, front);
    const auto south = GlobePointAt(W / 2, H / 2 + 100, W, H, front);
    ASSERT_TRUE(east && west && north && south);
    EXPECT_GT(east->Lon, 10);
    EXPECT_NEAR(west->Lon, -east->Lon, 1e-9);
    EXPECT_NEAR(north->Lat, east->Lon, 1e-9);
    EXPECT_NEAR(south->Lat, -north->Lat, 1e-9);
    // The rim at 15 units lies 204.85 pixels from the centre.
    EXPECT_TRUE(GlobePointAt(W / 2 + 204.8, H / 2, W, H, front));
    EXPECT_FALSE(GlobePointAt(W / 2 + 204.9, H / 2, W, H, front));
    EXPECT_FALSE(GlobePointAt(0, 0, W, H, front));
    EXPECT_FALSE(GlobePointAt(1, 1, 0, H, front));
}

TEST(PointerReadout, NamesTheNearestLabelWithinReach) {
    TDrawPointList points;
    AddNamePoints(points);
    points.push_back(MakeDrawPoint("Camp", 36, 138, WpTUser)); // the user's own are not named
    const struct {
        double lat, lon;
        const char* text;
    } cases[] = {
        {36, 138, "Lat=36.0  Lon=138.0  Japan"},
        {40, 135, "Lat=40.0  Lon=135.0  Japan Sea"},
        {-25, 134, "Lat=-25.0  Lon=134.0  Australia"},
        {30, -40, "Lat=30.0  Lon=-40.0"}, // no label within five degrees
        {-90, 180, "Lat=-90.0  Lon=180.0  Antarctica"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PointerReadout(TGeoPosition{c.lat, c.lon}, points), c.text);
    EXPECT_EQ(PointerReadout(std::nullopt, points), "");
}

} // namespace
} // namespace nimbora
