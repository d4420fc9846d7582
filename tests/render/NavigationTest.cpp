#include "render/navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nimbora {
namespace {

TNavState StateAt(float z) {
    TNavState s;
    RestoreView(s, TVertex{0, 0, z});
    return s;
}

TEST(Navigation, ZoomCompensation) {
    struct Case {
        float z, scale;
    };
    const Case cases[] = {{-15, 1},
                          {-10, 1},
                          {-40, 1},
                          {-5, 2},
                          {-8, 1.25f},
                          {-5.5f, 10 / 5.5f},
                          // Nonsense distances from a damaged settings file stay finite.
                          {0, 10 / 5.5f},
                          {3, 10 / 5.5f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(ZoomCompensation(c.z), c.scale) << c.z;
}

TEST(Navigation, RestoreKeepsTheSavedViewUnclamped) {
    TNavState s;
    s.pMou.Hor = 3;
    s.pKey.Up = true;
    RestoreView(s, TVertex{370, -95, -50});
    EXPECT_EQ(s.Proj.X, 370);
    EXPECT_EQ(s.Proj.Y, -95);
    EXPECT_EQ(s.Proj.Z, -50);
    EXPECT_EQ(s.ScaleZ, 1);
    EXPECT_EQ(s.pMou.Hor, 0);
    EXPECT_FALSE(s.pKey.Up);
    // Only the first zoom step clamps it.
    NavTimerTick(s);
    EXPECT_EQ(s.Proj.Z, -50);
    NavMouseWheel(s, -120);
    EXPECT_EQ(s.Proj.Z, -40);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    RestoreView(s, TVertex{nan, std::numeric_limits<float>::infinity(), nan});
    EXPECT_EQ(s.Proj.X, 0);
    EXPECT_EQ(s.Proj.Y, 0);
    EXPECT_EQ(s.Proj.Z, -15);
}

TEST(Navigation, WheelNotchMovesAtOnceThenCoastsOneTick) {
    for (int direction : {1, -1}) {
        TNavState s = StateAt(-15);
        NavMouseWheel(s, 120 * direction);
        EXPECT_FLOAT_EQ(s.Proj.Z, -15 - 0.04f * direction);
        NavTimerTick(s);
        EXPECT_FLOAT_EQ(s.Proj.Z, -15 - 0.06f * direction);
        EXPECT_DOUBLE_EQ(s.pMou.Dep, 0.02 * direction);
        NavTimerTick(s); // within the friction step: stops without moving
        EXPECT_EQ(s.pMou.Dep, 0);
        EXPECT_FLOAT_EQ(s.Proj.Z, -15 - 0.06f * direction);
    }
}

TEST(Navigation, WheelAtCloseRangeIsSlowerAndRecomputesScale) {
    TNavState s = StateAt(-6);
    NavMouseWheel(s, -1);
    EXPECT_NEAR(s.pMou.Dep, -0.04 * 0.6, 1e-9);
    EXPECT_NEAR(s.Proj.Z, -5.976, 1e-5);
    EXPECT_FLOAT_EQ(s.ScaleZ, -10 / s.Proj.Z);
}

TEST(Navigation, ZoomNeverPassesItsLimits) {
    struct Case {
        double dep;
        float limit;
    };
    for (const Case& c : {Case{-100, ZoomNear}, Case{100, ZoomFar}}) {
        TNavState s = StateAt(-15);
        s.pMou.Dep = c.dep;
        for (int i = 0; i < 20; ++i) {
            NavTimerTick(s);
            EXPECT_EQ(s.Proj.Z, c.limit);
        }
        EXPECT_NE(s.pMou.Dep, 0); // friction is still at work
    }
}

TEST(Navigation, ControlArrowsStopAddingZoomAtTheLimits) {
    struct Case {
        float z;
        bool up;
        double dep;
    };
    const Case cases[] = {{-6, true, -0.05}, {-5.5f, true, 0}, {-39, false, 0.05}, {-40, false, 0}};
    for (const Case& c : cases) {
        TNavState s = StateAt(c.z);
        s.ScaleZ = 1;
        NavKeyDown(s, c.up ? NkUp : NkDown, true);
        s.pMou.Track = true; // keep friction out of the way for this tick
        NavTimerTick(s);
        EXPECT_NEAR(s.pMou.Dep, c.dep, 1e-12) << c.z;
    }
}

TEST(Navigation, KeyFlags) {
    TNavState s;
    EXPECT_EQ(NavKeyDown(s, NkUp, true), NavNone);
    EXPECT_TRUE(s.pKey.CtUp);
    EXPECT_FALSE(s.pKey.Up);
    EXPECT_TRUE(s.pKey.Track);
    NavKeyDown(s, NkUp, false);
    EXPECT_TRUE(s.pKey.Up);
    NavKeyUp(s, NkUp);
    EXPECT_FALSE(s.pKey.Up);
    EXPECT_FALSE(s.pKey.CtUp);
    EXPECT_FALSE(s.pKey.Track);

    NavKeyDown(s, NkLeft, false);
    NavKeyUp(s, NkOther); // ignored
    NavKeyUp(s, NkEscape);
    EXPECT_TRUE(s.pKey.Lf);
    EXPECT_TRUE(s.pKey.Track);

    TNavState quiet;
    EXPECT_EQ(NavKeyDown(quiet, NkOther, true), NavNone);
    EXPECT_FALSE(quiet.pKey.Track);
    EXPECT_EQ(NavKeyDown(quiet, NkEscape, false), NavClose);
}

TEST(Navigation, HeldArrowAcceleratesAndEbbsAway) {
    TNavState s = StateAt(-15);
    NavKeyDown(s, NkRight, false);
    float x = 0;
    for (int tick = 1; tick <= 10; ++tick) {
        NavTimerTick(s);
        EXPECT_NEAR(s.pMou.Hor, -0.1 * tick, 1e-9);
        x += 0.1f * tick;
        EXPECT_NEAR(s.Proj.X, x, 1e-4);
    }
    NavKeyUp(s, NkRight);
    int moving = 0;
    while (s.pMou.Hor != 0 && moving < 100) {
        NavTimerTick(s);
        ++moving;
    }
    // Nine ticks of 0.9 .. 0.1, then rounding may leave a last sliver of 1e-16.
    EXPECT_GE(moving, 10);
    EXPECT_LE(moving, 11);
    // Turning accumulates beyond 180 without wrapping.
    EXPECT_NEAR(s.Proj.X, 5.5 + 4.5, 1e-3);
    for (int i = 0; i < 3; ++i) {
        NavKeyDown(s, NkLeft, false);
        for (int tick = 0; tick < 60; ++tick)
            NavTimerTick(s);
    }
    EXPECT_LT(s.Proj.X, -180);
}

TEST(Navigation, ReleasingHeldKeysLetsTheSpinRunOutButKeepsTheMouseSpeeds) {
    TNavState s = StateAt(-15);
    for (const TNavKey key : {NkLeft, NkRight, NkUp, NkDown})
        NavKeyDown(s, key, false);
    NavKeyDown(s, NkUp, true);
    NavKeyDown(s, NkDown, true);
    s.pMou = TMou{1.5, 0, -0.3, true};
    ReleaseHeldKeys(s);
    for (const bool held :
         {s.pKey.Up, s.pKey.Dw, s.pKey.Lf, s.pKey.Rg, s.pKey.CtUp, s.pKey.CtDw, s.pKey.Track})
        EXPECT_FALSE(held);
    EXPECT_EQ(s.pMou.Hor, 1.5);
    EXPECT_EQ(s.pMou.Dep, -0.3);
    EXPECT_TRUE(s.pMou.Track);
    // Nothing adds speed any more: friction alone brings the turn to rest (1.5 / 0.1 ticks).
    for (int tick = 0; tick <= 15; ++tick)
        NavTimerTick(s);
    EXPECT_NEAR(s.pMou.Hor, 0, 1e-9);
}

TEST(Navigation, LeftDragTurnsWithInertia) {
    TNavState s = StateAt(-15);
    NavMouseDown(s, true, false, 100, 200);
    NavMouseMove(s, true, false, 150, 200);
    EXPECT_DOUBLE_EQ(s.pMou.Hor, -1);
    EXPECT_EQ(s.pMou.Ver, 0);
    // First tick after the press: no friction, no movement.
    NavTimerTick(s);
    EXPECT_EQ(s.Proj.X, 0);
    EXPECT_DOUBLE_EQ(s.pMou.Hor, -1);
    NavMouseUp(s);
    const float expected[] = {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0.1f, 0.0f};
    float before = 0;
    for (float step : expected) {
        NavTimerTick(s);
        EXPECT_NEAR(s.Proj.X - before, step, 1e-5);
        before = s.Proj.X;
    }
    EXPECT_NEAR(s.pMou.Hor, 0, 1e-12);
    NavTimerTick(s);
    EXPECT_EQ(s.pMou.Hor, 0);
    EXPECT_NEAR(s.Proj.X, 4.5, 1e-4);
}

TEST(Navigation, DragDownTiltsAndIsSlowerWhenClose) {
    TNavState s = StateAt(-5);
    EXPECT_FLOAT_EQ(s.ScaleZ, 2);
    NavMouseDown(s, true, false, 0, 0);
    NavMouseMove(s, true, false, 0, 50);
    EXPECT_DOUBLE_EQ(s.pMou.Ver, -0.5);
    NavMouseMove(s, true, false, 0, 50); // no change, no velocity
    EXPECT_DOUBLE_EQ(s.pMou.Ver, -0.5);
}

TEST(Navigation, SecondPressWhileTrackingKeepsTheDragOrigin) {
    TNavState s;
    NavMouseDown(s, true, false, 10, 20);
    NavMouseDown(s, true, true, 99, 99);
    EXPECT_EQ(s.mx, 10);
    EXPECT_EQ(s.my, 20);
    EXPECT_EQ(s.mz, 0);
}

TEST(Navigation, RightDragZoomsAtOnce) {
    TNavState s = StateAt(-10.05f);
    NavMouseDown(s, false, true, 0, 100);
    EXPECT_EQ(s.mz, 100);
    NavMouseMove(s, false, true, 0, 150); // down: closer
    EXPECT_NEAR(s.pMou.Dep, -0.1, 1e-9);
    EXPECT_NEAR(s.Proj.Z, -9.95, 1e-5);
    EXPECT_FLOAT_EQ(s.ScaleZ, -10 / s.Proj.Z);
    // The timer moves on by inertia, and the compensation follows.
    NavMouseUp(s);
    NavTimerTick(s);
    EXPECT_NEAR(s.Proj.Z, -9.87, 1e-5);
    EXPECT_FLOAT_EQ(s.ScaleZ, -10 / s.Proj.Z);
}

// Every way the distance changes leaves ScaleZ matching it, so turning speed and marker size
// are those of the new distance at once.
TEST(Navigation, ScaleZFollowsEveryChangeOfDistance) {
    struct Case {
        const char* what;
        float startZ;
        void (*act)(TNavState&);
    };
    const Case cases[] = {
        {"reset from near", -6,
         [](TNavState& s) { ResetViewpoint(s); }},
        {"reset from far", -30,
         [](TNavState& s) { ResetViewpoint(s); }},
        {"Ctrl+Up held", -10,
         [](TNavState& s) {
             NavKeyDown(s, NkUp, true);
             for (int i = 0; i < 40; ++i) NavTimerTick(s);
         }},
        {"Shift+Down held", -5.5f,
         [](TNavState& s) {
             NavKeyDown(s, NkDown, true);
             for (int i = 0; i < 40; ++i) NavTimerTick(s);
         }},
        {"coasting after a wheel notch", -9.9f,
         [](TNavState& s) {
             NavMouseWheel(s, -120);
             NavMouseWheel(s, -120);
             for (int i = 0; i < 5; ++i) NavTimerTick(s);
         }},
        {"right drag", -12,
         [](TNavState& s) {
             NavMouseDown(s, false, true, 0, 0);
             NavMouseMove(s, false, true, 0, 2000);
         }},
    };
    for (const Case& c : cases) {
        TNavState s = StateAt(c.startZ);
        const float before = s.Proj.Z;
        c.act(s);
        EXPECT_NE(s.Proj.Z, before) << c.what;
        EXPECT_FLOAT_EQ(s.ScaleZ, ZoomCompensation(s.Proj.Z)) << c.what << " at " << s.Proj.Z;
    }
}

TEST(Navigation, ResetKeepsTheSpin) {
    TNavState s = StateAt(-20);
    s.Proj.X = 77;
    s.Proj.Y = -30;
    s.pMou.Hor = -2;
    ResetViewpoint(s);
    EXPECT_EQ(s.Proj.X, 0);
    EXPECT_EQ(s.Proj.Y, 0);
    EXPECT_EQ(s.Proj.Z, -15);
    NavTimerTick(s);
    EXPECT_NEAR(s.Proj.X, 1.9, 1e-6);
}

TEST(Navigation, GlideTurnsTheShortWayAndEndsOnThePlace) {
    const struct {
        TVertex from;
        double lat, lon;
        TVertex to;
    } cases[] = {
        {{350, 0, -15}, 10, 20, {340, 10, -8}},     // X spun past a turn: -20 + 360
        {{-170, 5, -30}, -40, -170, {-190, 5, -8}}, // across the date line, pulled nearer
        {{170, 0, -7}, 40, 170, {190, 0, -7}},      // near enough already
        {{0, 0, -8}, -90, 180, {-180, -90, -8}},    // exactly at the distance: it stays
    };
    for (const auto& c : cases) {
        TNavState s = StateAt(c.from.Z);
        s.Proj = c.from;
        s.pMou.Hor = 3; // the spin stops
        GlideTo(s, c.lat, c.lon);
        TVertex to = c.to;
        to.Y = static_cast<float>(c.lat);
        float last = c.from.X;
        for (int tick = 1; tick <= GlideTicks; ++tick) {
            NavTimerTick(s);
            ASSERT_LE(std::fabs(s.Proj.X - c.from.X), std::fabs(to.X - c.from.X) + 1e-3f);
            ASSERT_GE((s.Proj.X - last) * (to.X - c.from.X), 0) << "one way only";
            last = s.Proj.X;
            EXPECT_EQ(s.Glide.Active, tick < GlideTicks);
        }
        EXPECT_FLOAT_EQ(s.Proj.X, to.X) << c.lon;
        EXPECT_FLOAT_EQ(s.Proj.Y, to.Y) << c.lat;
        EXPECT_FLOAT_EQ(s.Proj.Z, to.Z);
        EXPECT_FLOAT_EQ(s.ScaleZ, ZoomCompensation(to.Z));
        NavTimerTick(s);
        EXPECT_FLOAT_EQ(s.Proj.X, to.X) << "still afterwards";
    }
    // A press, an arrow key or a wheel turn leaves the view where the glide had brought it.
    for (int how = 0; how < 3; ++how) {
        TNavState s = StateAt(-15);
        GlideTo(s, 0, 90);
        NavTimerTick(s);
        const float x = s.Proj.X;
        if (how == 0) NavMouseDown(s, true, false, 1, 1);
        if (how == 1) NavKeyDown(s, NkUp, false);
        if (how == 2) NavMouseWheel(s, 0);
        EXPECT_FALSE(s.Glide.Active) << how;
        NavMouseUp(s);
        NavKeyUp(s, NkUp);
        NavTimerTick(s);
        EXPECT_NEAR(s.Proj.X, x, 0.5) << how;
    }
}

} // namespace
} // namespace nimbora
