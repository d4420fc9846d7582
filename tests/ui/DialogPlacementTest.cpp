// Where the waypoint dialog opens: beside the place that "Show" turns to the window's middle.
#include "ui/customway.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(DialogPlacement, BesideTheWindowWhereTheScreenHasRoomElseAtTheFreerEdge) {
    const QRect screen(0, 0, 1600, 1200);
    const QSize dialog(400, 275);
    const struct {
        const char* what;
        QRect window;
        QPoint at;
    } cases[] = {
        {"centred: outside on the left", QRect(480, 360, 640, 480), QPoint(80, 462)},
        {"at the left edge: outside on the right", QRect(0, 0, 640, 480), QPoint(640, 102)},
        {"at the right edge: outside on the left", QRect(960, 720, 640, 480), QPoint(560, 822)},
        {"maximised: against the left edge", screen, QPoint(0, 462)},
        {"wider than the room on either side: the side that hides less", QRect(300, 0, 1200, 1200),
         QPoint(0, 462)},
        {"the same, mirrored", QRect(100, 0, 1200, 1200), QPoint(1200, 462)},
        {"reaching below the screen: held inside", QRect(500, 300, 600, 1800), QPoint(100, 925)},
    };
    for (const auto& c : cases) {
        const QPoint at = PositionBeside(c.window, dialog, screen);
        EXPECT_EQ(at, c.at) << c.what;
        EXPECT_TRUE(screen.contains(QRect(at, dialog))) << c.what;
    }
    // A screen too small for the dialog: its top left corner stays on the screen.
    EXPECT_EQ(PositionBeside(QRect(0, 0, 300, 200), dialog, QRect(0, 0, 320, 240)), QPoint(0, 0));
}

} // namespace
} // namespace nimbora
