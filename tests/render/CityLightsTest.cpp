// The cities' lights without a window: the fade across the twilight, the plane that gives each
// point of the earth sphere its twilight, the lights taken from the embedded night picture, and
// their dimming by the clouds baked into the earth's alpha.
#include "render/CityLights.h"
#include "render/Scene.h"
#include "render/SpherePieces.h"
#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace nimbora {
namespace {

TEST(CityLights, FadeInAcrossTheTwilightOnly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double cases[][2] = {{90, 0},  {6, 0},    {1e-9, 0}, {0, 0},   {-0.0, 0},
                               {nan, 0}, {-3, 0.5}, {-6, 1},   {-90, 1}, {-6.0001, 1}};
    for (const auto& c : cases)
        EXPECT_NEAR(CityLightsFade(c[0]), c[1], 0.002) << c[0];
    // Rising all the way, without a step.
    for (double e = 0; e > -6; e -= 0.25)
        EXPECT_TRUE(CityLightsFade(e - 0.25) >= CityLightsFade(e) &&
                    CityLightsFade(e - 0.25) - CityLightsFade(e) < 0.1)
            << e;
}

TEST(CityLights, PlaneGivesEveryPointOfTheEarthSphereItsTwilight) {
    // The sphere's vertices where its texture puts them on the map: the plane must agree with
    // the picture, in every quarter of the globe and in both hemispheres.
    const TSphereMesh mesh = MakeSphereMesh(EarthRadius, 128, 128, true);
    const struct {
        double Lat, Lon;
    } suns[] = {{0, 0}, {23.44, 90}, {-23.44, -90}, {12, 180}, {-5, -179.5}, {89, 45}};
    for (const auto& sun : suns) {
        const std::array<double, 4> plane = CityLightsPlane(sun.Lat, sun.Lon, EarthRadius);
        double worst = 0;
        for (std::size_t i = 0; i < mesh.Positions.size(); ++i) {
            const TVertex& p = mesh.Positions[i];
            const double lon = mesh.TexCoords[2 * i] * 2 * M_PI - M_PI - sun.Lon * M_PI / 180;
            const double lat = mesh.TexCoords[2 * i + 1] * M_PI - M_PI / 2,
                         s = sun.Lat * M_PI / 180;
            const double sine =
                std::sin(lat) * std::sin(s) + std::cos(lat) * std::cos(s) * std::cos(lon);
            worst =
                std::max(worst, std::abs(plane[0] * p.X + plane[1] * p.Y + plane[2] * p.Z +
                                         plane[3] - sine / std::sin(-TwilightDepth * M_PI / 180)));
        }
        EXPECT_LT(worst, 1e-4) << sun.Lat << "," << sun.Lon;
    }
}

TEST(CityLights, TheNightPictureGivesLightsOverCitiesAndNoneElsewhere) {
    InitNimboraResources();
    const auto lights = DecodeCityLightsFile(QStringLiteral(":/night2048.jpg"));
    ASSERT_TRUE(lights);
    ASSERT_EQ(lights->Width, 2048);
    ASSERT_EQ(lights->Height, 1024);
    ASSERT_EQ(lights->Pixels.size(), std::size_t{2048} * 1024);
    // The brightest level within half a degree of a place (rows bottom first).
    const auto level = [&](double lat, double lon) {
        const int cx = static_cast<int>((lon + 180) / 360 * lights->Width);
        const int cy = static_cast<int>((lat + 90) / 180 * lights->Height);
        int most = 0;
        for (int y = cy - 3; y <= cy + 3; ++y)
            for (int x = cx - 3; x <= cx + 3; ++x)
                most = std::max<int>(most, lights->Pixels[std::size_t(y) * lights->Width + x]);
        return most;
    };
    const struct {
        const char* Name;
        double Lat, Lon;
        bool Lit;
    } places[] = {{"Paris", 48.86, 2.35, true},      {"New York", 40.71, -74.0, true},
                  {"Tokyo", 35.68, 139.7, true},     {"Sao Paulo", -23.55, -46.63, true},
                  {"Sahara", 23, 12, false},         {"Pacific", 0, -150, false},
                  {"Greenland ice", 72, -40, false}, {"Antarctica", -80, 60, false}};
    for (const auto& p : places)
        EXPECT_EQ(level(p.Lat, p.Lon) > 160, p.Lit) << p.Name << " " << level(p.Lat, p.Lon);
    for (const auto& p : places)
        if (!p.Lit) {
            EXPECT_EQ(level(p.Lat, p.Lon), 0) << p.Name;
        }

    // A damaged picture gives nothing.
    const std::uint8_t cut[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    EXPECT_FALSE(DecodeCityLights(cut));
}

TGreyPicture Grey(int width, int height, std::vector<std::uint8_t> pixels) {
    return {width, height, std::move(pixels)};
}

// Alpha becomes lights x (1 - 0.85 x cover) at each pixel's centre; the colours stay. Pictures
// of other sizes are filtered, joined across the east/west seam and held at the poles.
TEST(CityLights, BakeDimsTheLightsByTheCloudsInTheAlpha) {
    const struct {
        const char* Name;
        int Width, Height;
        TGreyPicture Lights;
        std::optional<TGreyPicture> Cover;
        std::vector<std::uint8_t> Alpha;
    } cases[] = {
        {"clear sky", 2, 1, Grey(2, 1, {0, 201}), std::nullopt, {0, 201}},
        {"cover of no cloud", 2, 1, Grey(2, 1, {7, 255}), Grey(2, 1, {0, 0}), {7, 255}},
        {"empty cover: clear sky", 2, 1, Grey(2, 1, {7, 255}), TGreyPicture{}, {7, 255}},
        {"full cloud leaves 15 %",
         3,
         1,
         Grey(3, 1, {255, 100, 1}),
         Grey(3, 1, {255, 255, 255}),
         {38, 15, 0}},
        {"lights of half the size, seam on both sides",
         4,
         1,
         Grey(2, 1, {0, 255}),
         std::nullopt,
         {64, 64, 191, 191}},
        {"cloud of half the size, seam on both sides",
         4,
         1,
         Grey(1, 1, {255}),
         Grey(2, 1, {255, 0}),
         {92, 92, 201, 201}},
        {"cloud of half the height, poles held",
         1,
         4,
         Grey(1, 1, {255}),
         Grey(1, 2, {0, 255}),
         {255, 201, 92, 38}},
        {"larger lights", 1, 1, Grey(2, 2, {0, 0, 255, 255}), std::nullopt, {128}},
        {"unusable lights: none", 2, 1, Grey(2, 1, {255}), std::nullopt, {0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> rgba(std::size_t(c.Width) * c.Height * 4, 0);
        for (std::size_t i = 0; i < rgba.size(); ++i)
            rgba[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : 17 + i);
        const std::vector<std::uint8_t> before = rgba;
        BakeLitLights(rgba, c.Width, c.Height, c.Lights, c.Cover ? &*c.Cover : nullptr);
        ASSERT_EQ(c.Alpha.size(), rgba.size() / 4) << c.Name;
        for (std::size_t i = 0; i < rgba.size(); ++i) {
            if (i % 4 == 3)
                EXPECT_EQ(int(rgba[i]), int(c.Alpha[i / 4])) << c.Name << " pixel " << i / 4;
            else
                EXPECT_EQ(rgba[i], before[i]) << c.Name;
        }
    }
    // A picture smaller than its size says is left alone.
    std::vector<std::uint8_t> small(7, 9);
    BakeLitLights(small, 2, 1, Grey(2, 1, {0, 0}), nullptr);
    EXPECT_EQ(small, std::vector<std::uint8_t>(7, 9));
}

TEST(CityLights, CloudCoverIsTheBrightestChannel) {
    const std::uint8_t rgba[] = {10, 200, 30, 255, 0, 0, 0, 255};
    EXPECT_EQ(CloudCover(2, 1, 4, rgba).Pixels, (std::vector<std::uint8_t>{200, 0}));
    EXPECT_EQ(CloudCover(2, 1, 3, std::span(rgba).first(6)).Pixels,
              (std::vector<std::uint8_t>{200, 255}));
    EXPECT_EQ(CloudCover(8, 1, 1, rgba).Pixels, std::vector<std::uint8_t>(rgba, rgba + 8));
    // Sizes that do not match the pixels, or another count of channels: no cover.
    EXPECT_EQ(CloudCover(2, 1, 4, std::span(rgba).first(7)).Width, 0);
    EXPECT_EQ(CloudCover(4, 1, 2, rgba).Width, 0);
    EXPECT_EQ(CloudCover(0, 1, 1, rgba).Width, 0);
}

} // namespace
} // namespace nimbora
