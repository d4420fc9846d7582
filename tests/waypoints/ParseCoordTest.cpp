// Coordinates typed by the user, in both decimal separators of the user's locale.
#include "waypoints/ParseCoord.h"
#include "core/SupportTestSeam.h"
#include "core/support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

constexpr TCoordKind Lat = TCoordKind::Latitude;
constexpr TCoordKind Lon = TCoordKind::Longitude;

class ParseCoordTest : public testing::TestWithParam<char> {
protected:
    void SetUp() override {
        Saved = DecimalSeparator();
        SetDecimalSeparator(GetParam());
    }
    void TearDown() override { SetDecimalSeparator(Saved); }
    // The expected text written with "." and shown in the locale's form.
    static std::string Local(std::string text) {
        for (char& c : text)
            if (c == '.') c = DecimalSeparator();
        return text;
    }
    char Saved = '.';
};

TEST_P(ParseCoordTest, ReadsWhatPeopleType) {
    const struct {
        const char* text;
        TCoordKind kind;
        const char* expected;
    } cases[] = {
        {"40 30 N", Lat, "40.5"},
        {"40°30'36N", Lat, "40.51"},
        {"40\xB0"
         "30'36\"N",
         Lat, "40.51"}, // the degree sign in Windows-1252
        {"73.98W", Lon, "-73.98"},
        {"73,98 O", Lon, "-73.98"},
        {"  s 33 52 ", Lat, "-33.87"},
        {"e151.2", Lon, "151.2"},
        {"10E", Lat, "10.0"},   // the letter wins over the prompt
        {"45 N", Lon, "45.0"},  // and the other way round
        {"190", Lon, "-170.0"}, // longitudes are brought round
        {"-180", Lon, "180.0"},
        {"360", Lon, "0.0"},
        {"12.125", Lat, "12.12"}, // two decimals, halves to even
        {"12.375", Lat, "12.38"},
        {"10 20", Lat, "10.33"},          // a second field is minutes
        {"10 20 30", Lat, "10.34"},       // a third one seconds
        {"10 20 30 40 50", Lat, "10.34"}, // the rest is ignored
        {"-10 30", Lat, "-10.5"},         // the minus sign is for the whole value
        {"-10 30", Lon, "-10.5"},
        {"-0 30", Lat, "-0.5"},
        {"-10 30 N", Lat, "10.5"},   // a letter beats the sign
        {"10 S 30 W", Lat, "-10.5"}, // only the first letter counts
        {"90", Lat, "90.0"},
        {"-90", Lat, "-90.0"},
        {"+5.5", Lat, "5.5"},
        {"\t7\r\n", Lat, "7.0"},
        {"1000 E", Lon, "-80.0"},
        {"179.994 W", Lon, "-179.99"}, // rounding does not leave the date line's east side
        {"-179.999", Lon, "180.0"},
        {"179 59 59 W", Lon, "180.0"},
        {"89 60", Lat, "90.0"},
    };
    for (const auto& c : cases) {
        std::string result = "stale";
        EXPECT_TRUE(ParseCoord(c.text, c.kind, result)) << c.text;
        EXPECT_EQ(result, Local(c.expected)) << c.text;
    }
}

TEST_P(ParseCoordTest, RefusesWhatIsNotAPosition) {
    const struct {
        const char* text;
        TCoordKind kind;
    } cases[] = {
        {"", Lat},      {"   ", Lat},   {"N", Lat},      {"°40", Lat},    {"abc", Lat},
        {"1.2.3", Lat}, {"1,2.3", Lon}, {"-", Lat},      {"10 3-0", Lat}, {"10 20 3+0", Lat},
        {"95 N", Lat},  {"95", Lat},    {"-90.5", Lat},  {"89 61", Lat},  {"100 S", Lon},
        {"--5", Lon},   {"5-", Lon},    {"90.001", Lat}, {"east", Lon},
    };
    for (const auto& c : cases) {
        std::string result = "stale";
        EXPECT_FALSE(ParseCoord(c.text, c.kind, result)) << c.text;
        EXPECT_EQ(result, "") << c.text;
    }
}

TEST_P(ParseCoordTest, LatitudePromptTakesOnlyLatitudes) {
    double value = 1234;
    EXPECT_TRUE(ReadCoordinate("10E", Lat, value));
    EXPECT_DOUBLE_EQ(value, 10);
    EXPECT_TRUE(ReadCoordinate("40 30 S", Lat, value));
    EXPECT_DOUBLE_EQ(value, -40.5);
    // A longitude letter may give what no latitude can be.
    value = 1234;
    EXPECT_FALSE(ReadCoordinate("170E", Lat, value));
    EXPECT_FALSE(ReadCoordinate("rubbish", Lon, value));
    EXPECT_DOUBLE_EQ(value, 1234);
    EXPECT_TRUE(ReadCoordinate("170E", Lon, value));
    EXPECT_DOUBLE_EQ(value, 170);
}

TEST_P(ParseCoordTest, HugeNumbersStayFiniteOrAreRefused) {
    std::string result;
    const std::string many(300, '9');
    EXPECT_FALSE(ParseCoord(many, Lat, result));
    ASSERT_TRUE(ParseCoord(many + " " + many, Lon, result));
    double value = 0;
    ASSERT_TRUE(ParseLocaleFloat(result, value));
    EXPECT_LE(std::abs(value), 180);
    EXPECT_FALSE(ParseCoord(std::string(5000, '1'), Lon, result));
}

INSTANTIATE_TEST_SUITE_P(Separators, ParseCoordTest, testing::Values('.', ','),
                         [](const auto& info) {
                             return std::string(info.param == '.' ? "Point" : "Comma");
                         });

} // namespace
} // namespace nimbora
