#include "render/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nimbora {
namespace {

TEST(ClampShininess, KeepsWhatOpenGLTakes) {
    const struct {
        float In, Out;
    } cases[] = {{0, 0},
                 {50, 50},
                 {128, 128},
                 {150, 128},
                 {1e9f, 128},
                 {-3, 0},
                 {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ClampShininess(c.In), c.Out) << c.In;
}

TEST(ClearRotation, KeepsOnlyTheTranslation) {
    // Column-major: a rotation and scale with a translation of (1, 2, 3).
    float m[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    ClearRotation(m);
    const float want[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], want[i]) << i;
}

TEST(FarSide, CameraStandsWhereTheViewLooksFrom) {
    const TVertex front = CameraInGlobe({0, 0, -15});
    EXPECT_NEAR(front.Z, 15, 1e-4);
    EXPECT_NEAR(front.X, 0, 1e-4);
    // Turned so that 90 degrees east faces the viewer, and tilted so that the north pole does.
    EXPECT_NEAR(CameraInGlobe({-90, 0, -15}).X, 15, 1e-4);
    EXPECT_NEAR(CameraInGlobe({0, 90, -10}).Y, 10, 1e-4);
}

TEST(FarSide, OnlyPointsBehindTheEarthAreHidden) {
    const TVertex camera = CameraInGlobe({0, 0, -15});
    const struct {
        TVertex P;
        bool Hidden;
    } cases[] = {
        {{0, 0, 5}, false},       // facing the viewer, on the surface
        {{0, 0, 5.2f}, false},    // a label above it
        {{0, 0, -5}, true},       // straight behind
        {{0, 4.7f, 1.8f}, false}, // near the limb (seen from 15 units: z = 5 * 5 / 15), in front
        {{0, 5, 0.5f}, true},     // just beyond the limb
        {{0, 5.5f, 0}, false},    // high above the limb: it sticks out
        {{4, 0, -3}, true},       // well behind
    };
    for (const auto& c : cases)
        EXPECT_EQ(HiddenByEarth(camera, c.P), c.Hidden) << c.P.X << " " << c.P.Y << " " << c.P.Z;
}

TEST(FarSide, TheMoonIsHiddenOnlyWhenWhollyBehindTheEarth) {
    const TVertex camera = CameraInGlobe({0, 0, -15}); // on +z
    const float moon = 1.25f;
    const struct {
        TVertex Centre;
        bool Hidden;
    } cases[] = {
        {{0, 0, -20}, true},    // straight behind
        {{0, 5.5f, -20}, true}, // off centre, still inside the outline
        {{0, 9.0f, -18}, true}, // its rim just inside the outline
        {{0, 11, -18}, false},  // its rim shows past the limb
        {{0, 14, -14}, false},  // beside the earth
        {{0, 0, 20}, false},    // behind the camera
        {{0, 0, 10}, false},    // between camera and earth
        {{3, 0, 6}, false},     // in front of the earth, inside its outline
        {{0, 0, -5.5f}, true},  // partly inside the earth, the rest behind it
    };
    for (const auto& c : cases)
        EXPECT_EQ(BallHiddenByEarth(camera, c.Centre, moon), c.Hidden)
            << c.Centre.X << " " << c.Centre.Y << " " << c.Centre.Z;
    // Every hidden case is hidden for each point of its ball, as the ray test sees it.
    for (const auto& c : cases) {
        if (!c.Hidden) continue;
        for (int i = 0; i < 200; ++i) {
            const double a = i * 2.399963, z = 1 - 2 * (i + 0.5) / 200, r = std::sqrt(1 - z * z);
            const TVertex p{c.Centre.X + moon * float(r * std::cos(a)),
                            c.Centre.Y + moon * float(r * std::sin(a)),
                            c.Centre.Z + moon * float(z)};
            EXPECT_TRUE(HiddenByEarth(camera, p)) << i;
        }
    }
}

TEST(FarSide, ClipPlaneKeepsEverythingStillVisible) {
    // On a line shell seen from several distances: just above the clip offset a point is still
    // visible past the earth; well below it the earth hides it.
    for (const float distance : {5.5f, 8.5f, 15.0f, 40.0f}) {
        for (const float radius : {5.02f, 5.045f}) {
            const TVertex camera{0, 0, distance};
            const double h = FarSideClipOffset(distance, radius);
            for (const double z : {h + 0.06, h - 0.3}) {
                const double y = std::sqrt(double(radius) * radius - z * z);
                const TVertex p{0, static_cast<float>(y), static_cast<float>(z)};
                EXPECT_EQ(HiddenByEarth(camera, p), z < h)
                    << "distance " << distance << " radius " << radius << " z " << z;
            }
        }
    }
}

} // namespace
} // namespace nimbora
