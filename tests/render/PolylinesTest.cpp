#include "render/polylines.h"

#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace nimbora {
namespace {

void PutInt(std::string& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void PutFloat(std::string& out, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    PutInt(out, static_cast<std::int32_t>(u));
}

// One polyline: count, longitudes, then latitudes.
void PutLine(std::string& out, const std::vector<TPolyPoint>& pts) {
    PutInt(out, std::int32_t(pts.size()));
    for (const TPolyPoint& p : pts)
        PutFloat(out, p.Lon);
    for (const TPolyPoint& p : pts)
        PutFloat(out, p.Lat);
}

std::string ThreeLines() {
    std::string data;
    PutInt(data, 3);
    PutLine(data, {{1, 2}, {3, 4}});
    PutLine(data, {{-180, -90}, {180, 90}, {0.5f, -0.25f}});
    PutLine(data, {{10, 20}, {11, 21}});
    return data;
}

TEST(Polylines, ReadsLongitudesThenLatitudes) {
    const auto lines = ReadPolylines(ThreeLines());
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(lines[1].Points.size(), 3u);
    EXPECT_EQ(lines[0].Points[1].Lon, 3);
    EXPECT_EQ(lines[0].Points[1].Lat, 4);
    EXPECT_EQ(lines[1].Points[0].Lon, -180);
    EXPECT_EQ(lines[1].Points[0].Lat, -90);
    EXPECT_EQ(lines[1].Points[2].Lon, 0.5f);
    EXPECT_EQ(lines[1].Points[2].Lat, -0.25f);
    EXPECT_EQ(lines[2].Points[1].Lat, 21);
}

TEST(Polylines, DamagedDataYieldsTheWholeLinesBeforeTheDamage) {
    const std::string good = ThreeLines();
    const std::size_t firstEnd = 4 + 4 + 16;
    const std::size_t secondEnd = firstEnd + 4 + 24;
    std::string hugeCount = good;
    hugeCount.replace(0, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::string negativeCount = good;
    negativeCount.replace(0, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    std::string pointsTooMany = good;
    pointsTooMany.replace(secondEnd, 4, std::string("\x00\x00\x01\x00", 4)); // 65536 points
    std::string pointsHuge = good;
    pointsHuge.replace(firstEnd, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::string pointsNegative = good;
    pointsNegative.replace(firstEnd, 4, std::string("\xFE\xFF\xFF\xFF", 4));
    std::string nanPoint;
    PutInt(nanPoint, 3);
    PutLine(nanPoint, {{1, 2}, {3, 4}});
    PutLine(nanPoint, {{std::numeric_limits<float>::quiet_NaN(), 0}, {1, 1}});
    PutLine(nanPoint, {{5, 6}, {7, 8}});

    struct Case {
        const char* name;
        std::string data;
        std::size_t lines;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"count cut short", good.substr(0, 3), 0},
        {"count only", good.substr(0, 4), 0},
        {"truncated in the first line", good.substr(0, firstEnd - 1), 0},
        {"truncated in the second line", good.substr(0, secondEnd - 3), 1},
        {"truncated before the third line's count", good.substr(0, secondEnd + 2), 2},
        {"count larger than the lines", hugeCount, 3},
        {"negative count", negativeCount, 0},
        {"zero count", std::string("\0\0\0\0", 4) + good.substr(4), 0},
        {"point count beyond the end", pointsTooMany, 2},
        {"huge point count", pointsHuge, 1},
        {"negative point count", pointsNegative, 1},
        {"a line with a NaN is left out", nanPoint, 2},
        {"bytes after the last line are ignored", good + "junk", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadPolylines(c.data).size(), c.lines);
    }
}

TEST(Polylines, ShippedResources) {
    InitNimboraResources();
    struct Case {
        const char* path;
        std::size_t lines;
        std::size_t points;
    };
    const Case cases[] = {
        {":/coast.bin", 121, 59042}, {":/island.bin", 442, 53550}, {":/nation.bin", 283, 31863}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto lines = ReadPolylineResource(c.path);
        EXPECT_EQ(lines.size(), c.lines);
        std::size_t points = 0;
        for (const TPolyline& line : lines) {
            points += line.Points.size();
            EXPECT_GE(line.Points.size(), 2u);
            EXPECT_LE(line.Points.size(), 500u);
            for (const TPolyPoint& p : line.Points) {
                ASSERT_TRUE(p.Lon >= -180 && p.Lon <= 180) << p.Lon;
                ASSERT_TRUE(p.Lat >= -90 && p.Lat <= 90) << p.Lat;
            }
        }
        EXPECT_EQ(points, c.points);
    }
    EXPECT_TRUE(ReadPolylineResource(":/no-such.bin").empty());
}

} // namespace
} // namespace nimbora
