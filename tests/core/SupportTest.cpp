#include "core/support.h"
#include "core/SupportTestSeam.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nimbora {
namespace {

// Keeps a decimal separator for one test and restores the previous one.
class SeparatorScope {
public:
    explicit SeparatorScope(char c) : Previous(DecimalSeparator()) { SetDecimalSeparator(c); }
    ~SeparatorScope() { SetDecimalSeparator(Previous); }

private:
    char Previous;
};

TEST(Support, Wrap360AndNormLon) {
    struct Case {
        double In, Wrapped, Lon;
    };
    const Case cases[] = {
        {0, 0, 0},
        {190, 190, -170},
        {-30, 330, -30},
        {-360, 0, 0},
        {360, 0, 0},
        {-180, 180, 180},
        {180, 180, 180},
        {540, 180, 180},
        {-390, 330, -30},
        {725.5, 5.5, 5.5},
        {-0.25, 359.75, -0.25},
        {1e20, std::fmod(1e20, 360.0),
         std::fmod(1e20, 360.0) > 180 ? std::fmod(1e20, 360.0) - 360 : std::fmod(1e20, 360.0)},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(Wrap360(c.In), c.Wrapped) << c.In;
        EXPECT_DOUBLE_EQ(NormLon(c.In), c.Lon) << c.In;
    }
    // Rounded to 13 decimals, so float noise disappears.
    EXPECT_EQ(NormLon(0.1 + 0.2), 0.3);
    // A tiny negative angle must not come out as a whole turn.
    const double tiny = Wrap360(-1e-15);
    EXPECT_GE(tiny, 0);
    EXPECT_LT(tiny, 360);
    EXPECT_EQ(Wrap360(NAN), 0);
}

TEST(Support, FixedFormatsUnderBothSeparators) {
    struct Case {
        double Value;
        const char* Deg2;
        const char* Fix7;
    };
    const Case cases[] = {
        {12.125, "12.12", "12.125"},
        {12.375, "12.38", "12.375"},
        {100, "100.0", "100.0"},
        {static_cast<float>(0.15), "0.15", "0.15"},
        {static_cast<float>(0.23), "0.23", "0.23"},
        {-170, "-170.0", "-170.0"},
        {0, "0.0", "0.0"},
        {-0.000000001, "0.0", "0.0"},
        {0.0000001, "0.0", "0.0000001"},
        {123.45678901, "123.46", "123.456789"},
        {1.99999999, "2.0", "2.0"},
    };
    for (char separator : {'.', ','}) {
        SeparatorScope scope(separator);
        for (const Case& c : cases) {
            std::string deg2 = c.Deg2, fix7 = c.Fix7;
            for (std::string* s : {&deg2, &fix7})
                for (char& ch : *s)
                    if (ch == '.') ch = separator;
            EXPECT_EQ(FormatDeg2(c.Value), deg2) << c.Value;
            EXPECT_EQ(FormatFix7(c.Value), fix7) << c.Value;
        }
    }
}

TEST(Support, LongitudesStayWithinTheDateLineAfterRounding) {
    struct Case {
        double Value;
        const char* Text;
    };
    // -179.995 as a double lies just past the tie, so it rounds onto the line; 0.125 is a tie.
    const Case cases[] = {
        {-179.994, "-179.99"}, {179.994, "179.99"},  {-179.995, "180.0"}, {179.995, "180.0"},
        {-179.999, "180.0"},   {179.999, "180.0"},   {-180, "180.0"},     {180, "180.0"},
        {-180.006, "179.99"},  {180.006, "-179.99"}, {-0.125, "-0.12"},   {0.125, "0.12"},
        {540, "180.0"},
    };
    for (char separator : {'.', ','}) {
        SeparatorScope scope(separator);
        for (const Case& c : cases) {
            std::string text = c.Text;
            for (char& ch : text)
                if (ch == '.') ch = separator;
            EXPECT_EQ(FormatLonDeg2(c.Value), text) << c.Value;
            double read = 0;
            ASSERT_TRUE(ParseLocaleFloat(text, read));
            EXPECT_GT(read, -180) << c.Value;
            EXPECT_LE(read, 180) << c.Value;
        }
    }
    // A latitude is not brought round.
    EXPECT_EQ(FormatDeg2(-179.999), "-180.0");
}

TEST(Support, FormatDegMin) {
    SeparatorScope scope('.');
    struct Case {
        double Value;
        bool Latitude;
        const char* Text;
    };
    const Case cases[] = {
        {-33.5, true, "33\xB0 30.0' S"},
        {0, false, "0\xB0 0.0' E"},
        {0, true, "0\xB0 0.0' N"},
        {12.3456, false, "12\xB0 20.736' E"},
        {-0.25, false, "0\xB0 15.0' W"},
        {179.99999999, false, "180\xB0 0.0' E"},
        {-179.99999999, false, "180\xB0 0.0' E"},
        {-180, false, "180\xB0 0.0' E"},
        {-179.999, false, "179\xB0 59.94' W"},
        {-89.99999999, true, "90\xB0 0.0' S"},
        {51.5125, true, "51\xB0 30.75' N"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDegMin(c.Value, c.Latitude), c.Text) << c.Value;
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatDegMin(-33.5, true), "33\xB0 30,0' S");
}

TEST(Support, ParseLocaleFloat) {
    struct Case {
        char Separator;
        const char* Text;
        bool Ok;
        double Value;
    };
    const Case cases[] = {
        {'.', "0.15", true, 0.15}, {'.', " -12.5 ", true, -12.5}, {'.', "100", true, 100},
        {'.', "+3", true, 3},      {'.', "1e3", true, 1000},      {'.', "2.5E-1", true, 0.25},
        {'.', ".5", true, 0.5},    {'.', "5.", true, 5},          {',', "0,15", true, 0.15},
        {',', "100,0", true, 100}, {'.', "0,15", false, 0},       {',', "0.15", false, 0},
        {'.', "", false, 0},       {'.', "  ", false, 0},         {'.', "abc", false, 0},
        {'.', "1.2.3", false, 0},  {'.', "inf", false, 0},        {'.', "nan", false, 0},
        {'.', "1e999", false, 0},  {'.', "-", false, 0},          {'.', "1e", false, 0},
        {'.', "1 000", false, 0},  {'.', "0x10", false, 0},       {'.', "--1", false, 0},
    };
    for (const Case& c : cases) {
        SeparatorScope scope(c.Separator);
        double value = -99;
        EXPECT_EQ(ParseLocaleFloat(c.Text, value), c.Ok) << c.Text;
        EXPECT_DOUBLE_EQ(value, c.Ok ? c.Value : -99) << c.Text;
    }
}

} // namespace
} // namespace nimbora
