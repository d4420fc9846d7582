// The waypoint file: what is read from it, what is written, and that a failed write keeps it.
#include "waypoints/WaypointFile.h"
#include "core/IniFile.h"
#include "core/support.h"
#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <cmath>
#include <fstream>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

struct TWant {
    const char* name;
    double lat, lon;
};

class WaypointFileTest : public testing::Test {
protected:
    void TearDown() override {
        SetFileWriteFault({});
        SetDecimalSeparator(saved_);
    }
    TDrawPointList Load(const std::string& text) {
        EXPECT_TRUE(WriteWholeFile(path_, text));
        TDrawPointList points;
        LoadCustomWaypoints(path_, points);
        return points;
    }
    static void Expect(const TDrawPointList& points, std::initializer_list<TWant> want) {
        ASSERT_EQ(points.size(), want.size());
        std::size_t i = 0;
        for (const TWant& w : want) {
            const TDrawPoint& p = points[i++];
            EXPECT_EQ(p.Kind, WpTUser);
            EXPECT_EQ(p.RepPoint.NamUtf8, w.name);
            EXPECT_DOUBLE_EQ(p.RepPoint.Lat, w.lat) << w.name;
            EXPECT_DOUBLE_EQ(p.RepPoint.Lon, w.lon) << w.name;
        }
    }
    TempDir dir_;
    std::string path_ = dir_.str("waypoints.ini");
    char saved_ = DecimalSeparator();
};

TEST_F(WaypointFileTest, ReadsWhatHandsAndEditorsLeave) {
    const struct {
        const char* what;
        std::string text;
        std::initializer_list<TWant> want;
    } cases[] = {
        {"plain", "[Waypoint1]\nName=Oslo\nLat=59.91\nLon=10.75\n", {{"Oslo", 59.91, 10.75}}},
        {"gap ends the list",
         "[Waypoint1]\nName=A\nLat=1\nLon=2\n[Waypoint2]\nName=B\nLat=3\nLon=4\n"
         "[Waypoint4]\nName=D\nLat=5\nLon=6\n",
         {{"A", 1, 2}, {"B", 3, 4}}},
        {"no first section", "[Waypoint2]\nName=B\nLat=3\nLon=4\n", {}},
        {"missing keys",
         "[Waypoint1]\n[Waypoint2]\nLat=7\n",
         {{"Waypoint1", 0, 0}, {"Waypoint2", 7, 0}}},
        {"unreadable numbers", "[Waypoint1]\nName=X\nLat=north\nLon=1,5\n", {{"X", 0, 0}}},
        {"keys in any order and case", "[WAYPOINT1]\nlon=3\nNAME=Q\nlat=-4\n", {{"Q", -4, 3}}},
        {"first of a repeated section",
         "[Waypoint1]\nName=A\n[waypoint1]\nName=B\n",
         {{"A", 0, 0}}},
        {"byte-order mark and CRLF",
         "\xEF\xBB\xBF[Waypoint1]\r\nName=Z\xC3\xBCrich\r\nLat=47.37\r\nLon=8.54\r\n",
         {{"Z\xC3\xBCrich", 47.37, 8.54}}},
        {"old code page name", "[Waypoint1]\nName=Z\xFCrich\n", {{"Z\xC3\xBCrich", 0, 0}}},
        {"beyond the poles and round the world",
         "[Waypoint1]\nName=P\nLat=95\nLon=540\n[Waypoint2]\nName=Q\nLat=-1e300\nLon=-190\n"
         "[Waypoint3]\nName=R\nLat=nan\nLon=inf\n",
         {{"P", 90, 180}, {"Q", -90, 170}, {"R", 0, 0}}},
        {"binary garbage", std::string("\0\xFF[\x01]\n=\n[Waypoint1\n\x80\x81", 17), {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Expect(Load(c.text), c.want);
    }
}

TEST_F(WaypointFileTest, PointsAreDrawableAndNamedForTheFont) {
    const TDrawPointList points = Load(
        "[Waypoint1]\nName=\xE6\x9D\xB1\xE4\xBA\xAC \xC3\xA9t\xC3\xA9\nLat=1e308\nLon=1e308\n");
    ASSERT_EQ(points.size(), 1u);
    const TDrawPoint& p = points[0];
    EXPECT_EQ(p.RepPoint.Nam, "?? \xE9t\xE9"); // Windows-1252, "?" for what it lacks
    for (float v : {p.WayPoint.X, p.WayPoint.Y, p.WayPoint.Z, p.NamPoint.X, p.NamPoint.Y})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_FLOAT_EQ(p.Color.G, 1);
    EXPECT_FLOAT_EQ(p.Color.R, 0);
}

TEST_F(WaypointFileTest, RoundTripInBothNumberForms) {
    for (char separator : {'.', ','}) {
        SetDecimalSeparator(separator);
        TDrawPointList points;
        points.push_back(MakeDrawPoint("Country", 1, 1, WpTCountry));
        points.push_back(MakeWaypoint("A & B = \xE2\x82\xAC [x]", 40.5, -73.98));
        points.push_back(MakeSpecialPoint());
        points.push_back(MakeWaypoint(std::string(MaxWaypointNameLength, 'n'), -0.01, 180));
        SaveCustomWaypoints(path_, points);
        const std::string sep(1, separator);
        const std::string text = ReadWholeFile(path_);
        const std::string head = "[Waypoint1]\nName=A & B = \xE2\x82\xAC [x]\nLat=40" + sep +
                                 "5\nLon=-73" + sep + "98\n[Waypoint2]\n";
        EXPECT_EQ(text.substr(0, head.size()), head);
        TDrawPointList again;
        EXPECT_EQ(LoadCustomWaypoints(path_, again), 2u);
        Expect(again, {{"A & B = \xE2\x82\xAC [x]", 40.5, -73.98},
                       {std::string(MaxWaypointNameLength, 'n').c_str(), -0.01, 180}});
    }
}

TEST_F(WaypointFileTest, LongitudesReadBackWithinTheDateLine) {
    // Written at full precision and read again: the value itself, or the date line as 180.
    const struct {
        double lon;
        const char* written;
        double read;
    } cases[] = {
        {-179.999, "-179.999", -179.999},
        {-179.99999999999997, "180", 180}, // 15 digits carry it onto the line
        {179.99999999999997, "180", 180},
        {-179.9999999999, "-179.9999999999", -179.9999999999},
        {-180, "180", 180},
        {180, "180", 180},
        {0.1 + 0.2, "0.3", 0.3},
    };
    for (const auto& c : cases) {
        SaveCustomWaypoints(path_, {MakeWaypoint("P", 0, c.lon)});
        EXPECT_EQ(ReadWholeFile(path_),
                  "[Waypoint1]\nName=P\nLat=0\nLon=" + std::string(c.written) + "\n")
            << c.written;
        TDrawPointList again;
        LoadCustomWaypoints(path_, again);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0].RepPoint.Lon, c.read) << c.written;
    }
    // A hand-written -180 is the same line.
    Expect(Load("[Waypoint1]\nName=W\nLon=-180\n"), {{"W", 0, 180}});
}

TEST_F(WaypointFileTest, RewriteRenumbersAfterAGap) {
    TDrawPointList points = Load("[Waypoint1]\nName=A\nLat=1\nLon=2\n[Waypoint4]\nName=D\n"
                                 "[Waypoint2]\nName=B\nLat=3\nLon=4\n[Waypoint5]\nName=E\n");
    points.erase(points.begin());
    SaveCustomWaypoints(path_, points);
    EXPECT_EQ(ReadWholeFile(path_), "[Waypoint1]\nName=B\nLat=3\nLon=4\n");
}

TEST_F(WaypointFileTest, EmptyListRemovesTheFile) {
    ASSERT_TRUE(WriteWholeFile(path_, "[Waypoint1]\nName=A\n"));
    TDrawPointList points{MakeSpecialPoint()};
    SaveCustomWaypoints(path_, points);
    EXPECT_FALSE(std::ifstream(path_).good());
    SaveCustomWaypoints(path_, points); // nothing to remove is fine too
}

TEST_F(WaypointFileTest, NewFileIsOwnerOnly) {
    SaveCustomWaypoints(path_, {MakeWaypoint("A", 1, 2)});
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(WaypointFileTest, InterruptedWriteKeepsTheOldFile) {
    const std::string old = "[Waypoint1]\nName=Kept\nLat=1\nLon=2\n";
    TDrawPointList points{MakeWaypoint("New", 3, 4), MakeWaypoint("Newer", 5, 6)};
    for (TFileWriteStep step : {TFileWriteStep::CreateTemp, TFileWriteStep::Write,
                                TFileWriteStep::Sync, TFileWriteStep::Rename}) {
        ASSERT_TRUE(WriteWholeFile(path_, old));
        SetFileWriteFault([step](TFileWriteStep s) { return s == step; });
        EXPECT_THROW(SaveCustomWaypoints(path_, points), TSettingsWriteError);
        EXPECT_EQ(ReadWholeFile(path_), old);
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST_F(WaypointFileTest, FileTooLargeToReadWholeIsReported) {
    bool complete = false;
    TDrawPointList points;
    LoadCustomWaypoints(path_, points, &complete); // no file
    EXPECT_TRUE(complete);
    std::string text = "[Waypoint1]\nName=A\n";
    text.resize(MaxIniFileSize + 10, ' ');
    ASSERT_TRUE(WriteWholeFile(path_, text));
    LoadCustomWaypoints(path_, points, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(points.size(), 1u);
}

TEST(WaypointNames, TypedNamesAreCleaned) {
    EXPECT_EQ(CleanWaypointName("  a\tb\nc  "), "a b c");
    EXPECT_EQ(CleanWaypointName(" \r\n "), "");
    // Cut at a character, never inside one.
    const std::string euros = [] {
        std::string s;
        for (int i = 0; i < 3000; ++i)
            s += "\xE2\x82\xAC";
        return s;
    }();
    EXPECT_EQ(CleanWaypointName(euros).size(), MaxWaypointNameLength * 3);
}

} // namespace
} // namespace nimbora
