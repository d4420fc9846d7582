#include "render/sunmoondata.h"

#include "core/SupportTestSeam.h"
#include "core/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <numbers>

namespace nimbora {
namespace {

constexpr double Rad = std::numbers::pi / 180;

// Days since 1899-12-30 of a UTC date and time (proleptic Gregorian calendar).
double DayCount(int y, int m, int d, double hours = 0) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double unixDays = era * 146097.0 + doe - 719468;
    return unixDays + 25569 + hours / 24;
}

double CircularDiff(double a, double b, double turn) {
    double d = std::fmod(a - b, turn);
    if (d > turn / 2) d -= turn;
    if (d < -turn / 2) d += turn;
    return d;
}

TEST(SunMoon, Wrapping) {
    struct Case {
        double x, wrap360, wrap180;
    };
    const Case cases[] = {
        {0, 0, 0},
        {1e-19, 0, 0},
        {-1e-19, 0, 0},
        {10, 10, 10},
        {360, 0, 0},
        {370.5, 10.5, 10.5},
        {180, 180, 180},
        {-180, 180, 180},
        {190, 190, -170},
        {-30, 330, -30},
        {-360, 0, 0},
        {-720, 0, 0},
        {-720.5, 359.5, -0.5},
        {540, 180, 180},
        {481267.8831, 307.8831, -52.1169},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_NEAR(SunWrap360(c.x), c.wrap360, 1e-9);
        EXPECT_NEAR(SunWrap180(c.x), c.wrap180, 1e-9);
    }
    EXPECT_EQ(SunWrap360(1e300), SunWrap360(1e300)); // finite, no hang
    EXPECT_LT(SunWrap360(1e300), 360);
}

TEST(SunMoon, SiderealTime) {
    // Greenwich mean sidereal time at 2000-01-01 12:00 UT is 18.697375 h.
    EXPECT_NEAR(SiderealFraction(DayCount(2000, 1, 1, 12)) * 24, 18.697375, 1e-4);
    // 1987-04-10 0h UT: 13h 10m 46.3668s.
    EXPECT_NEAR(SiderealFraction(DayCount(1987, 4, 10)) * 24, 13.1795463, 1e-4);
    for (double t : {-1e6, 0.0, 45000.25, 1e7}) {
        const double f = SiderealFraction(t);
        EXPECT_TRUE(f >= 0 && f <= 1) << t;
    }
    // A body on the local meridian of Greenwich stands above longitude 0.
    const double t = DayCount(2024, 5, 1, 7.5);
    EXPECT_NEAR(SubPointLon(24 * SiderealFraction(t), t), 0, 1e-9);
    EXPECT_NEAR(SubPointLon(24 * SiderealFraction(t) + 6, t), 90, 1e-9);
}

TEST(SunMoon, SunAgainstPublishedPosition) {
    // 1992-10-13 0h: right ascension 13h 13m 31.4s, declination -7 deg 47' 6".
    const TSkyPosition sun = SunPosition(DayCount(1992, 10, 13));
    EXPECT_NEAR(sun.RightAscension, 13.225389, 0.001);
    EXPECT_NEAR(sun.Declination, -7.78507, 0.005);
}

TEST(SunMoon, SubSolarPointAtEquinoxAndSolstice) {
    const TSunMoon equinox = SunMoonAt(DayCount(2024, 3, 20, 12));
    EXPECT_NEAR(equinox.SunLat, 0, 0.5);
    EXPECT_NEAR(equinox.SunLon, 0, 4);

    const TSunMoon solstice = SunMoonAt(DayCount(2024, 6, 20, 20.85));
    EXPECT_NEAR(solstice.SunLat, 23.44, 0.01);
    const TSunMoon midnight = SunMoonAt(DayCount(2024, 6, 21, 0));
    EXPECT_NEAR(midnight.SunLat, 23.44, 0.02);
    EXPECT_GT(std::fabs(midnight.SunLon), 178);
}

TEST(SunMoon, LongitudesStayInRange) {
    const double start = DayCount(2020, 1, 1);
    for (double t = start; t < start + 3 * 365; t += 0.3137) {
        const TSunMoon p = SunMoonAt(t);
        ASSERT_TRUE(p.SunLon > -180 && p.SunLon <= 180) << t;
        ASSERT_TRUE(p.MoonLon > -180 && p.MoonLon <= 180) << t;
        ASSERT_LE(std::fabs(p.SunLat), 23.45) << t;
        ASSERT_LE(std::fabs(p.MoonLat), 29) << t;
    }
}

// Ecliptic to equatorial by rotating the unit vector about the equinox axis.
TSkyPosition ByRotation(const TMoonEcliptic& e) {
    const double l = e.Lambda * Rad, b = e.Beta * Rad, eps = e.Epsilon * Rad;
    const double x = std::cos(b) * std::cos(l);
    const double y = std::cos(b) * std::sin(l);
    const double z = std::sin(b);
    const double y2 = y * std::cos(eps) - z * std::sin(eps);
    const double z2 = y * std::sin(eps) + z * std::cos(eps);
    double alpha = std::atan2(y2, x) / Rad;
    if (alpha < 0) alpha += 360;
    return TSkyPosition{alpha / 15, std::asin(z2) / Rad};
}

void ExpectMoonMatchesRotation(double t) {
    const TSkyPosition p = MoonPosition(t);
    const TSkyPosition ref = ByRotation(MoonEcliptic(t));
    EXPECT_NEAR(CircularDiff(p.RightAscension, ref.RightAscension, 24), 0, 1e-9) << t;
    EXPECT_NEAR(p.Declination, ref.Declination, 1e-9) << t;
    EXPECT_TRUE(p.RightAscension >= 0 && p.RightAscension < 24);
}

TEST(SunMoon, MoonWhereTheSeriesLeavesLambdaOutsideOneTurn) {
    const double below = 36537.291667;  // 2000-01-11 07:00, lambda about -6.4
    const double beyond = 37384.208333; // 2002-05-08 05:00, lambda about 360.3
    ASSERT_LT(MoonEcliptic(below).Lambda, 0);
    ASSERT_GE(MoonEcliptic(beyond).Lambda, 360);
    ExpectMoonMatchesRotation(below);
    ExpectMoonMatchesRotation(beyond);
    // Just past lambda 0 the moon's right ascension is small, not nearly 24 h.
    const TSkyPosition p = MoonPosition(beyond);
    EXPECT_TRUE(p.RightAscension < 2 || p.RightAscension > 22);
}

TEST(SunMoon, MoonMatchesRotationAllRound) {
    const double start = DayCount(2023, 1, 1);
    for (double t = start; t < start + 400; t += 0.1234)
        ExpectMoonMatchesRotation(t);
}

TEST(SunMoon, MoonAgainstPublishedPosition) {
    // 1992-04-12 0h: right ascension 134.688470 deg, declination 13.768368 deg.
    const TSkyPosition moon = MoonPosition(DayCount(1992, 4, 12));
    EXPECT_NEAR(moon.RightAscension * 15, 134.688470, 0.05);
    EXPECT_NEAR(moon.Declination, 13.768368, 0.05);
}

TEST(SunMoon, ClockDecidesTheInstant) {
    const double t = DayCount(2024, 3, 20, 12);
    const TSunMoon fixed = UpdateSunMoon([t] { return t; });
    const TSunMoon direct = SunMoonAt(t);
    EXPECT_EQ(fixed.SunLat, direct.SunLat);
    EXPECT_EQ(fixed.MoonLon, direct.MoonLon);

    // The system clock is read as UTC whatever the time zone says.
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Pacific/Kiritimati", 1);
    tzset();
    const double now = SystemUtcNow();
    const double expected = double(std::time(nullptr)) / 86400 + 25569;
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_NEAR(now, expected, 2.0 / 86400);
}

TEST(SunMoon, StatusText) {
    const char old = DecimalSeparator();
    SetDecimalSeparator('.');
    EXPECT_EQ(SunStatusText(-33.5, 0), "Sun: Lat=33\xB0 30.0' S  Lon=0\xB0 0.0' E");
    std::string line = "Downloading 42%";
    UpdateSunText(line, true, TSunMoon{10, 20, 0, 0});
    EXPECT_EQ(line, "Downloading 42%");
    UpdateSunText(line, false, TSunMoon{10.25, -20.5, 0, 0});
    EXPECT_EQ(line, "Sun: Lat=10\xB0 15.0' N  Lon=20\xB0 30.0' W");
    SetDecimalSeparator(old);
}

// An update's result keeps the first line for 15 seconds of the clock, then the sun text may
// return; a clock set back does not make the hold last.
TEST(SunMoon, ResultHoldLastsFifteenSeconds) {
    const double start = 45000.25;
    const struct {
        double seconds;
        bool holds;
    } cases[] = {{0, true}, {1, true}, {14.9, true}, {15.01, false}, {600, false}, {-1, false}};
    TResultHold hold;
    EXPECT_FALSE(hold.Holds(start)); // nothing shown yet
    hold.Start(start);
    for (const auto& c : cases)
        EXPECT_EQ(hold.Holds(start + c.seconds / 86400), c.holds) << c.seconds;
}

} // namespace
} // namespace nimbora
