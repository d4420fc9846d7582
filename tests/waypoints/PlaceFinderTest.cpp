// Finding a place by name or by a typed position, over the real name table.
#include "waypoints/PlaceFinder.h"

#include "core/support.h"
#include "core/SupportTestSeam.h"
#include "render/countries.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(PlaceFinder, FoldsCaseAccentsAndBlanks) {
    const struct {
        const char* text;
        const char* folded;
    } cases[] = {
        {"  C\xc3\xb4te  d\xe2\x80\x99Ivoire ", "cote d'ivoire"},
        {"Stra\xc3\x9f"
         "e \xc5\x81\xc3\xb3\xc5\xba",
         "strasse loz"},
        {"\xc5\x92uvre \xc3\x86gir \xc3\xbf\xc5\xbf", "oeuvre aegir ys"},
        {"\xe6\x9d\xb1\xe4\xba\xac", "\xe6\x9d\xb1\xe4\xba\xac"}, // kept as typed
        {"a\xc3\x97"
         "b",
         "a\xc3\x97"
         "b"},
        {"\xff\xc3", "??"},                 // malformed
        {"\xe0\x80\xaf\xed\xa0\x80", "??"}, // overlong, surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(FoldForSearch(c.text), c.folded) << c.text;
}

TEST(PlaceFinder, ReadsTypedPositionsInBothSeparators) {
    const struct {
        const char* text;
        bool ok;
        double lat, lon;
    } cases[] = {
        {"40 30 N, 3 42 W", true, 40.5, -3.7},
        {"40 30 S; 3 42 E", true, -40.5, 3.7},
        {"3 42 W 40 30 N", true, 40.5, -3.7}, // letters decide the order
        {"N 40 30 W 3 42", true, 40.5, -3.7},
        {"40N3W", true, 40, -3},
        {"40\xc2\xb0"
         "30'N 3\xc2\xb0"
         "42'O",
         true, 40.5, -3.7},
        {"-33.87 151.2", true, -33.87, 151.2},
        {"33,87 -151,2", true, 33.87, -151.2}, // decimal commas
        {"40.5, -3.7", true, 40.5, -3.7},
        {"90 180", true, 90, 180},
        {"-90 -180", true, -90, 180}, // the date line is written east
        {"0 190", true, 0, -170},
        {"90.01 0", false, 0, 0},
        {"40 30 3 42", false, 0, 0}, // ambiguous without letters or a comma
        {"40 30, 3 42", true, 40.5, 3.7},
        {"40N 30S", false, 0, 0},
        {"40 N 3 W 5", false, 0, 0},
        {"40", false, 0, 0},
        {"Camp 4", false, 0, 0},
        {"", false, 0, 0},
    };
    const char saved = DecimalSeparator();
    for (const char separator : {'.', ','}) {
        SetDecimalSeparator(separator);
        for (const auto& c : cases) {
            const auto place = ReadTypedPosition(c.text);
            ASSERT_EQ(place.has_value(), c.ok) << c.text;
            if (!place) continue;
            EXPECT_DOUBLE_EQ(place->Lat, c.lat) << c.text;
            EXPECT_DOUBLE_EQ(place->Lon, c.lon) << c.text;
        }
    }
    SetDecimalSeparator(saved);
}

TEST(PlaceFinder, MatchesTheNameTableAndWaypointsBestFirst) {
    TDrawPointList points;
    AddNamePoints(points);
    points.push_back(MakeDrawPoint("Sao Tome camp", 1, 2, WpTUser));
    points.back().RepPoint.NamUtf8 = "S\xc3\xa3o Tom\xc3\xa9 camp";
    const TPlaceIndex index(points);
    EXPECT_EQ(index.Size(), 268u + 2u);

    const struct {
        const char* typed;
        std::vector<std::string> first;
    } cases[] = {
        {"japan", {"Japan", "Japan Sea"}},
        {"NIGER", {"Niger", "Nigeria"}},
        {"guinea", {"Guinea", "Guinea-Bissau", "Papua New Guinea", "Equatorial Guinea"}},
        {"cote", {"C\xc3\xb4te d'Ivoire"}},
        {"S\xc3\xa3o tome", {"S\xc3\xa3o Tom\xc3\xa9 camp", "Sao Tome and Principe"}},
        {"green", {"Greenland", "Greenwich"}},
        {"xyzzy", {}},
        {"   ", {}},
    };
    for (const auto& c : cases) {
        const auto found = index.Matches(c.typed, c.first.size() + 1);
        std::vector<std::string> names;
        for (const TPlace& p : found)
            names.push_back(p.Name);
        EXPECT_EQ(names, c.first) << c.typed;
    }
    EXPECT_EQ(index.Matches("a", 5).size(), 5u);

    const auto japan = FindPlace(index, " Japan");
    ASSERT_TRUE(japan);
    EXPECT_EQ(japan->Lat, 36);
    EXPECT_EQ(japan->Lon, 138);
    const auto typed = FindPlace(index, "-33.87 151.2");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->Lon, 151.2);
    EXPECT_FALSE(FindPlace(index, "Atlantis"));
}

} // namespace
} // namespace nimbora
