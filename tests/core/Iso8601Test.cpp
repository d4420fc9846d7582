#include "core/Iso8601.h"
#include "core/SupportTestSeam.h"
#include "core/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace nimbora {
namespace {

constexpr double March5 = 45356; // 2024-03-05
constexpr double Second = 1.0 / 86400;

double At(double day, int h, int m, int s, int ms = 0) {
    return day + (h * 3600 + m * 60 + s + ms / 1000.0) / 86400.0;
}

// Runs a test body in a fixed time zone and restores the previous one.
class ZoneScope {
public:
    explicit ZoneScope(const char* tz) {
        if (const char* old = std::getenv("TZ")) Previous = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneScope() {
        if (Previous)
            setenv("TZ", Previous->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> Previous;
};

TEST(Iso8601, Writes) {
    struct Case {
        double DateTime;
        int TimeZone;
        bool Exists;
        const char* Text;
    };
    const Case cases[] = {
        {At(March5, 7, 8, 9, 900), 90, true, "2024-03-05T07:08:09+01:30"},
        {At(March5, 7, 8, 9, 900), -300, true, "2024-03-05T07:08:09-05:00"},
        {At(March5, 7, 8, 9, 900), 0, true, "2024-03-05T07:08:09Z"},
        {At(March5, 23, 59, 59, 999), 0, true, "2024-03-05T23:59:59Z"},
        {At(March5, 7, 8, 9), -5, true, "2024-03-05T07:08:09-00:05"},
        {0, 0, true, "1899-12-30T00:00:00Z"},
        {-36522.5, 0, true, "1800-01-01T12:00:00Z"},
        {-693593, 0, true, "0001-01-01T00:00:00Z"},
        {2958465.5, 0, true, "9999-12-31T12:00:00Z"},
        {At(March5, 7, 8, 9), 0, false, ""},
        {-693594, 0, true, ""},
        {2958466.5, 0, true, ""},
        {NAN, 0, true, ""},
        {1e300, 0, true, ""},
    };
    for (const Case& c : cases) {
        TDateTimeZ value{c.DateTime, static_cast<std::int16_t>(c.TimeZone), c.Exists};
        EXPECT_EQ(DateTimeZToIso(value), c.Text) << c.DateTime;
    }
}

TEST(Iso8601, ReadsValidTexts) {
    ZoneScope zone("<+02>-2");
    struct Case {
        const char* Text;
        double DateTime;
        int TimeZone;
    };
    const Case cases[] = {
        {"2024-03-05T07:08:09Z", At(March5, 7, 8, 9), 0},
        {"2024-03-05t07:08:09z", At(March5, 7, 8, 9), 0},
        {"2024-03-05T07:08:09-05:00", At(March5, 7, 8, 9), -300},
        {"2024-03-05T07:08:09+01:30", At(March5, 7, 8, 9), 90},
        {"2024-03-05T07:08:09+0130", At(March5, 7, 8, 9), 90},
        {"2024-03-05T07:08:09-2359", At(March5, 7, 8, 9), -1439},
        {"2024-03-05T07:08:09+23:59", At(March5, 7, 8, 9), 1439},
        {"2024-03-05T07:08:09+01", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08", At(March5, 7, 8, 0), 120},
        {"2024-03-05T07:08:09.5Z", At(March5, 7, 8, 9, 500), 0},
        {"1800-01-01T12:00:00Z", -36522.5, 0},
        {"2024-3-5T7:08:09Z", At(March5, 7, 8, 9), 0},
        // Offsets that are not +hh:mm or +hhmm within range keep the local offset.
        {"2024-03-05T07:08:09+ab:cd", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09+99:70", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09+24:00", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09-05:60", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09+05x30", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09-9930", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09+1:300", At(March5, 7, 8, 9), 120},
        {"2024-03-05T07:08:09+05:3a", At(March5, 7, 8, 9), 120},
    };
    SetDecimalSeparator('.');
    for (const Case& c : cases) {
        const TDateTimeZ value = IsoToDateTimeZ(c.Text);
        EXPECT_TRUE(value.Exists) << c.Text;
        EXPECT_NEAR(value.DateTime, c.DateTime, 1e-3 * Second) << c.Text;
        EXPECT_EQ(value.TimeZone, c.TimeZone) << c.Text;
    }
}

TEST(Iso8601, ReadsInvalidTexts) {
    ZoneScope zone("<+02>-2");
    const double now = NowDateTimeZ().DateTime;
    const double timeOfDay = now - std::trunc(now);
    struct Case {
        const char* Text;
        double DateTime; // negative: the current time
    };
    const Case cases[] = {
        {"", -1},
        {"2024-13-05T07:08:09Z", -1},
        {"2023-02-29T07:08:09Z", -1},
        {"garbage", -1},
        {"0000-01-01T00:00:00Z", -1},
        {"2024-03-05", March5 + timeOfDay}, // date taken, time of day kept
        {"2024-03-05T25:00:00Z", March5},   // midnight of the parsed date
        {"2024-03-05Tnoon", March5},
        {"2024-03-05T07:08:09.5,5Z", March5},
    };
    for (const Case& c : cases) {
        const TDateTimeZ value = IsoToDateTimeZ(c.Text);
        EXPECT_FALSE(value.Exists) << c.Text;
        EXPECT_EQ(value.TimeZone, 120) << c.Text;
        EXPECT_NEAR(value.DateTime, c.DateTime < 0 ? now : c.DateTime, 5 * Second) << c.Text;
    }
    EXPECT_EQ(DateTimeZToIso(IsoToDateTimeZ("")), "");
    // Today's date stays when only a time is given.
    const TDateTimeZ timeOnly = IsoToDateTimeZ("T07:08:09Z");
    EXPECT_TRUE(timeOnly.Exists);
    EXPECT_NEAR(timeOnly.DateTime, At(std::trunc(now), 7, 8, 9), 1e-3 * Second);
}

TEST(Iso8601, RoundTrip) {
    for (const char* text : {"2024-03-05T07:08:09Z", "1999-12-31T23:59:59+14:00",
                             "2000-02-29T00:00:00-09:30", "1850-06-15T06:30:00Z"})
        EXPECT_EQ(DateTimeZToIso(IsoToDateTimeZ(text)), text);
}

TEST(Iso8601, LocalTime) {
    ZoneScope zone("<+01>-1");
    EXPECT_EQ(LocalUtcOffset(), 60);
    const TDateTimeZ value = IsoToDateTimeZ("2024-03-05T07:08:09-05:00");
    EXPECT_NEAR(DateTimeZToLocal(value), At(March5, 13, 8, 9), 1e-3 * Second);

    const TDateTimeZ now = NowDateTimeZ();
    EXPECT_TRUE(now.Exists);
    EXPECT_EQ(now.TimeZone, 60);
    const double expected = std::time(nullptr) / 86400.0 + 25569 + 60 / 1440.0;
    EXPECT_NEAR(now.DateTime, expected, 2 * Second);
    // An invalid value stands for now.
    EXPECT_NEAR(DateTimeZToLocal(TDateTimeZ{}), expected, 2 * Second);
}

TEST(Iso8601, DaylightSavingOffset) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(LocalUtcOffset(), local.tm_isdst > 0 ? 120 : 60);
}

} // namespace
} // namespace nimbora
