#include "render/LightFade.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TLightingSets Sets() {
    TLightingSets s;
    auto set = [](float(&c)[4], float r, float g, float b) {
        c[0] = r;
        c[1] = g;
        c[2] = b;
    };
    set(s.RgbRed.Diffuse, 1.0f, 0.1f, 0.1f);
    set(s.RgbRed.Specular, 1.0f, 0.5f, 0.5f);
    set(s.RgbGreen.Diffuse, 0.1f, 1.0f, 0.1f);
    set(s.RgbGreen.Specular, 0.5f, 1.0f, 0.5f);
    set(s.RgbBlue.Diffuse, 0.3f, 0.3f, 1.0f);
    set(s.RgbBlue.Specular, 0.5f, 0.5f, 1.0f);
    set(s.SunLight.Diffuse, 0.2f, 0.2f, 0.23f);
    set(s.SunLight.Specular, 0.7f, 0.3f, 0.1f);
    return s;
}

// Every val triple with the setting it fades towards.
std::vector<std::pair<const TglColor*, TglColor>> Pairs(const TLightFade& f,
                                                        const TLightingSets& s) {
    return {{&f.init_red_diffuse_val, RgbOf(s.RgbRed.Diffuse)},
            {&f.init_green_diffuse_val, RgbOf(s.RgbGreen.Diffuse)},
            {&f.init_blue_diffuse_val, RgbOf(s.RgbBlue.Diffuse)},
            {&f.init_red_specular_val, RgbOf(s.RgbRed.Specular)},
            {&f.init_green_specular_val, RgbOf(s.RgbGreen.Specular)},
            {&f.init_blue_specular_val, RgbOf(s.RgbBlue.Specular)},
            {&f.init_sun_diffuse_val, RgbOf(s.SunLight.Diffuse)},
            {&f.init_sun_specular_val, RgbOf(s.SunLight.Specular)}};
}

TEST(LightFade, RisesInEqualStepsAndEndsExactlyOnTheSettings) {
    const TLightingSets sets = Sets();
    TLightFade fade = PrepareLightFade(sets);
    EXPECT_FALSE(fade.LightInit);
    EXPECT_FLOAT_EQ(fade.init_sun_specular_pass.R, 0.7f / 20);
    EXPECT_FLOAT_EQ(fade.init_blue_diffuse_pass.B, 1.0f / 20);
    for (const auto& [val, target] : Pairs(fade, sets)) {
        EXPECT_EQ(val->R, 0);
        EXPECT_EQ(val->B, 0);
    }

    for (int tick = 1; tick <= LightFadeTicks; ++tick) {
        EXPECT_TRUE(LightFadeTick(fade, sets)) << tick;
        EXPECT_EQ(fade.LightInit, tick == LightFadeTicks);
        for (const auto& [val, target] : Pairs(fade, sets)) {
            if (tick < LightFadeTicks) {
                EXPECT_NEAR(val->R, target.R * tick / 20, 1e-5) << tick;
                EXPECT_NEAR(val->G, target.G * tick / 20, 1e-5) << tick;
                EXPECT_NEAR(val->B, target.B * tick / 20, 1e-5) << tick;
            } else {
                EXPECT_EQ(val->R, target.R);
                EXPECT_EQ(val->G, target.G);
                EXPECT_EQ(val->B, target.B);
            }
        }
    }
    // Over: further ticks change nothing.
    const TLightFade done = fade;
    EXPECT_FALSE(LightFadeTick(fade, sets));
    EXPECT_EQ(fade.init_red_diffuse_val.R, done.init_red_diffuse_val.R);
    EXPECT_EQ(fade.Ticks, done.Ticks);
}

TEST(LightFade, FinishingEarlyJumpsToTheSettings) {
    const TLightingSets sets = Sets();
    TLightFade fade = PrepareLightFade(sets);
    LightFadeTick(fade, sets);
    FinishLightFade(fade, sets);
    EXPECT_TRUE(fade.LightInit);
    for (const auto& [val, target] : Pairs(fade, sets))
        EXPECT_EQ(val->G, target.G);
    EXPECT_FALSE(LightFadeTick(fade, sets));
}

} // namespace
} // namespace nimbora
