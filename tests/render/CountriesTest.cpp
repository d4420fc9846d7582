#include "render/countries.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(Countries, TableHoldsCountriesThenSeas) {
    const auto& table = countries();
    ASSERT_EQ(table.size(), std::size_t(CountryRowCount + SeaRowCount));
    EXPECT_EQ(table[0].Name, "Afghanistan");
    EXPECT_EQ(table[0].Lat, 33);
    EXPECT_EQ(table[0].Lon, 65);
    EXPECT_EQ(table[1].Name, "\xC5land Islands");
    EXPECT_EQ(table[1].Lat, 60.12f);
    EXPECT_EQ(table[26].Name, "Bolivia, Plurinational State of");
    EXPECT_EQ(table[54].Name, "C\xF4te d'Ivoire");
    EXPECT_EQ(table[249].Name, "Zimbabwe");

    struct Sea {
        const char* name;
        float lat, lon;
    };
    const Sea seas[SeaRowCount] = {
        {"Pacific Ocean", 0, -160},    {"Atlantic Ocean", 0, -30},   {"Indian Ocean", -20, 80},
        {"Southern Ocean", -70, -150}, {"Arctic Ocean", 90, 0},      {"Mediterranean Sea", 35, 18},
        {"Caribbean Sea", 15, -75},    {"South China Sea", 12, 113}, {"Bering Sea", 58, -178},
        {"Gulf of Mexico", 25, -90},   {"Okhotsk Sea", 55, 150},     {"East China Sea", 30, 125},
        {"Hudson Bay", 60, -85},       {"Japan Sea", 40, 135},       {"Andaman Sea", 10, 96},
        {"North Sea", 56, 3},          {"Red Sea", 22, 38},          {"Baltic Sea", 58, 20},
    };
    for (int i = 0; i < SeaRowCount; ++i) {
        const TCountryRow& row = table[std::size_t(CountryRowCount + i)];
        EXPECT_EQ(row.Name, seas[i].name);
        EXPECT_EQ(row.Lat, seas[i].lat) << seas[i].name;
        EXPECT_EQ(row.Lon, seas[i].lon) << seas[i].name;
    }
    for (const TCountryRow& row : table) {
        EXPECT_TRUE(row.Lat >= -90 && row.Lat <= 90) << row.Name;
        EXPECT_TRUE(row.Lon >= -180 && row.Lon <= 180) << row.Name;
    }
}

TEST(Countries, NamePointsInTableOrderThenTheSpecialPoint) {
    TDrawPointList points;
    points.push_back(MakeDrawPoint("already there", 1, 2, WpTUser));
    AddNamePoints(points);
    ASSERT_EQ(points.size(), std::size_t(1 + CountryRowCount + SeaRowCount + 1));
    const auto& table = countries();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TDrawPoint& p = points[i + 1];
        EXPECT_EQ(p.Kind, WpTCountry);
        EXPECT_EQ(p.RepPoint.Nam, table[i].Name);
        EXPECT_EQ(p.Color.R, 1);
        EXPECT_EQ(p.Color.G, 0);
    }
    EXPECT_EQ(points.back().Kind, WpTSpecial);
    EXPECT_EQ(points.back().RepPoint.Nam, SpecialPointName);
    // "Arctic Ocean" at the pole: the label folds back onto the same meridian.
    const TDrawPoint& arctic = points[1 + CountryRowCount + 4];
    EXPECT_EQ(arctic.RepPoint.Nam, "Arctic Ocean");
    EXPECT_NEAR(arctic.WayPoint.Y, 5, 1e-5);
    EXPECT_GT(arctic.NamPoint.Z, 0);
}

TEST(Countries, ReaderSkipsWhatIsNotARow) {
    const std::string csv = "\xEF\xBB\xBFname,lat,lon\r\n"
                            "Plain,1.5,-2\r\n"
                            "\"Quoted, with comma\",3,4\n"
                            "\"Say \"\"hi\"\"\",5,6\n"
                            "\n"
                            "Missing field,7\n"
                            "Too,many,8,9\n"
                            "Bad number,x,1\n"
                            "Trailing junk,1.5abc,1\n"
                            "Infinite,inf,1\n"
                            ",1,2\n"
                            "Unterminated \"quote,1,2\n"
                            "S\xC3\xA3o \xE2\x82\xAC \xCE\xA9 \xFF,+7,8";
    const auto rows = ReadCountryTable(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Name, "Plain");
    EXPECT_EQ(rows[0].Lat, 1.5f);
    EXPECT_EQ(rows[0].Lon, -2);
    EXPECT_EQ(rows[1].Name, "Quoted, with comma");
    EXPECT_EQ(rows[2].Name, "Say \"hi\"");
    EXPECT_EQ(rows[3].Name, "S\xE3o \x80 ? ?");
    EXPECT_EQ(rows[3].Lat, 7);
    EXPECT_TRUE(ReadCountryTable("").empty());
    EXPECT_TRUE(ReadCountryTable("name,lat,lon").empty());
}

} // namespace
} // namespace nimbora
