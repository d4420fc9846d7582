#include "core/HttpDate.h"

#include <cmath>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(FormatHttpDate, WritesRfc1123InEnglishWhateverTheLocale) {
    struct Case {
        double dateTime;
        const char* text;
    } cases[] = {
        {34644.367789351854, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {36585.99998842592, "Tue, 29 Feb 2000 23:59:59 GMT"},
        {44259.21258101852, "Thu, 04 Mar 2021 05:06:07 GMT"},
        {25569, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {2, "Mon, 01 Jan 1900 00:00:00 GMT"},
        {2958465.999988426, "Fri, 31 Dec 9999 23:59:59 GMT"},
        // Half a second rounds to the nearer whole second.
        {25569 + 0.5 / 86400 + 1e-9, "Thu, 01 Jan 1970 00:00:01 GMT"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatHttpDate(c.dateTime), c.text) << c.dateTime;
}

TEST(FormatHttpDate, RefusesValuesThatAreNoDate) {
    for (double v : {0.0, -1.0, 1.0, 2958466.0, 1e300, std::nan(""), HUGE_VAL})
        EXPECT_EQ(FormatHttpDate(v), "") << v;
}

TEST(Rfc1123Test, ReadsValidDates) {
    struct Case {
        const char* text;
        double days;
    };
    const Case cases[] = {
        {"Thu, 01 Jan 1970 00:00:00 GMT", 25569},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 42298 + (7 * 3600 + 28 * 60) / 86400.0},
        {"Sat, 29 Feb 2020 23:59:59 GMT", 43890 + 86399 / 86400.0},
        {"Sat, 30 Dec 1899 12:00:00 GMT", 0.5},
        {"sun, 05 mar 2023 10:00:00 gmt", 44990 + 10 / 24.0},
        {"Mon, 31 Dec 2029 00:00:01 GMT", 47483 + 1 / 86400.0},
    };
    for (const Case& c : cases) {
        const TDateTimeZ date = ParseRfc1123Date(c.text);
        EXPECT_TRUE(date.Exists) << c.text;
        EXPECT_NEAR(date.DateTime, c.days, 1e-9) << c.text;
        EXPECT_EQ(date.TimeZone, 0) << c.text;
    }
}

TEST(Rfc1123Test, RefusesOtherText) {
    const char* cases[] = {
        "",
        "yesterday",
        "Wed, 21 Oct 2015 07:28",
        "Wed, 32 Oct 2015 07:28:00 GMT",
        "Fri, 29 Feb 2019 07:28:00 GMT",
        "Wed, 00 Oct 2015 07:28:00 GMT",
        "Wed, 21 Okt 2015 07:28:00 GMT",
        "Wed, 21 Oct 2015 24:00:00 GMT",
        "Wed, 21 Oct 2015 07:60:00 GMT",
        "Wed, 21 Oct 2015 07:28:61 GMT",
        "Wed, 1 Oct 2015 07:28:00 GMT",
        "Wednesday, 21-Oct-15 07:28:00 GMT",
        "Wed Oct 21 07:28:00 2015",
        "Wed, 2x Oct 2015 07:28:00 GMT",
        "Wed, 21 Oct -015 07:28:00 GMT",
        "Wed, 21 Oct 0000 07:28:00 GMT",
    };
    for (const char* text : cases) {
        const TDateTimeZ date = ParseRfc1123Date(text);
        EXPECT_FALSE(date.Exists) << text;
        EXPECT_EQ(date.DateTime, 0) << text;
    }
}

} // namespace
} // namespace nimbora
