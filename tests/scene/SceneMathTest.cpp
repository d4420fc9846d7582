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

} // namespace
} // namespace nimbora
