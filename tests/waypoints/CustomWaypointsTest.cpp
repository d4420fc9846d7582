// The list the waypoint dialog edits: each change is announced and written, a file that may not
// be rewritten is reported, and the window's marked points take the list back in place.
#include "waypoints/CustomWaypoints.h"

#include "support/TempDir.h"
#include "waypoints/WaypointFile.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(CustomWaypoints, EachChangeIsAnnouncedAndWrittenOrItsFailureTold) {
    test::TempDir dir;
    const std::string file = dir.str("waypoints.ini");
    for (const bool writable : {true, false}) {
        TCustomWaypoints list({MakeWaypoint("Paris", 48.85, 2.35)}, true, file, writable);
        int changes = 0;
        QObject::connect(&list, &TCustomWaypoints::PointsChanged, [&] { ++changes; });
        const std::string refused = writable ? "" : "Unable to write to " + file;
        EXPECT_EQ(list.Find("PARIS"), 0);
        EXPECT_EQ(list.Find("Lima"), -1);
        EXPECT_EQ(list.Add("Lima", -12.05, -77.04), refused);
        EXPECT_EQ(list.Replace(0, "Oslo", 59.91, 10.75), refused);
        EXPECT_EQ(list.Remove(1), refused);
        EXPECT_EQ(list.Remove(1), ""); // no such row: nothing changes
        EXPECT_EQ(changes, 3);
        ASSERT_EQ(list.Points().size(), 1u);
        EXPECT_EQ(list.Points()[0].RepPoint.NamUtf8, "Oslo");
        TDrawPointList onDisk;
        LoadCustomWaypoints(file, onDisk);
        ASSERT_EQ(onDisk.size(), 1u); // the unwritable round leaves the first round's file
        EXPECT_EQ(onDisk[0].RepPoint.NamUtf8, "Oslo");
    }
}

TEST(CustomWaypoints, TheWindowsPointsTakeTheListAfterTheOthers) {
    TDrawPointList points = {MakeDrawPoint("France", 46, 2, WpTCountry),
                             MakeWaypoint("Paris", 48.85, 2.35), MakeSpecialPoint()};
    std::swap(points[1], points[2]); // the special point, then the custom waypoints
    const TDrawPointList custom = CustomWaypointsOf(points);
    ASSERT_EQ(custom.size(), 1u);
    ReplaceCustomWaypoints(points, {custom[0], MakeWaypoint("Lima", -12.05, -77.04)});
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[1].Kind, WpTSpecial);
    EXPECT_EQ(points[2].RepPoint.NamUtf8, "Paris");
    EXPECT_EQ(points[3].RepPoint.NamUtf8, "Lima");
    ReplaceCustomWaypoints(points, {});
    EXPECT_EQ(points.size(), 2u);
}

} // namespace
} // namespace nimbora
