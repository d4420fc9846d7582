// Finding a place with Ctrl+F in the real window, and the readout of the place under the
// pointer.
#include "GuiSupport.h"

#include "app/TestSeam.h"
#include "platform/Files.h"
#include "render/OpenGLPanel.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>

namespace nimbora::test {
namespace {

TEST(FindPlace, NamesWaypointsAndPositionsTurnTheGlobeAndThePointerReadsIt) {
    TScratchHome home;
    home.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(home.DataFolder() + "waypoints.ini",
                               "[Waypoint1]\nName=Mont Blanc camp\nLat=45.83\nLon=6.86\n"));
    const auto form = StartMainForm();
    WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
    QWindow* surface = Seam::OpenGLPanel(*form)->DrawingWindow();
    if (!surface) GTEST_SKIP() << "the pointer is driven on the native drawing window";
    TNavState& nav = TMainFormTestSeam::Nav(*form);
    QWidget* box = nullptr;
    const auto find = [&](const QString& text) {
        // Shortcuts reach the active window only, which tests running beside this one may
        // take: then the menu item opens the box.
        form->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(form.get(), 2000));
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        box = form->findChild<QWidget*>("FindBox");
        if (!box || !box->isVisible())
            Seam::OptionPopup(*form)->findChild<QAction*>("FindBt")->trigger();
        box = form->findChild<QWidget*>("FindBox");
        ASSERT_TRUE(box && box->isVisible());
        auto* edit = box->findChild<QLineEdit*>("FindEdit");
        ASSERT_EQ(box->focusWidget(), edit); // the keyboard goes to the text field
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
    // Green pixels of the labels around the middle of the view.
    const auto greenNearCentre = [&] {
        const QImage frame = Seam::OpenGLPanel(*form)->grabFramebuffer();
        const QPoint c = frame.rect().center();
        int n = 0;
        for (int y = c.y() - 40; y < c.y() + 10; ++y)
            for (int x = c.x() - 10; x < c.x() + 80; ++x)
                n += qGreen(frame.pixel(x, y)) > 200 && qRed(frame.pixel(x, y)) < 80;
        return n;
    };
    const QPoint centre(Seam::OpenGLPanel(*form)->width() / 2, Seam::OpenGLPanel(*form)->height() / 2);
    const auto point = [&](QPoint at) {
        QTest::mouseMove(surface, at);
        QCoreApplication::processEvents();
    };
    EXPECT_EQ(greenNearCentre(), 0); // too far for the names

    const struct {
        const char* typed;
        double lat, lon;
        const char* readout;
    } cases[] = {
        {"japan", 36, 138, "Lat=36.0  Lon=138.0  Japan"},
        {"MONT blanc", 45.83, 6.86, "Lat=45.83  Lon=6.86"},
        {"33 52 S, 151 12 E", -33.87, 151.2, "Lat=-33.87  Lon=151.2"},
        {"10.5 -170.25", 10.5, -170.25, "Lat=10.5  Lon=-170.25"},
    };
    for (const auto& c : cases) {
        nav.Proj.X = 725; // spun twice round and a bit
        point(centre);
        const std::string before = Seam::PointerText(*form);
        find(c.typed);
        ASSERT_TRUE(box);
        EXPECT_FALSE(box->isVisible());
        ASSERT_TRUE(nav.Glide.Active) << "no jump: " << c.typed;
        EXPECT_EQ(Seam::PointerText(*form), before) << "read once the view has settled";
        ASSERT_TRUE(WaitFor([&] { return !nav.Glide.Active; }, 5000));
        EXPECT_NEAR(std::remainder(nav.Proj.X + c.lon, 360.0), 0, 1e-3) << c.typed;
        EXPECT_NEAR(nav.Proj.Y, c.lat, 1e-4) << c.typed;
        EXPECT_LT(std::fabs(nav.Proj.X - 725), 180.01);
        EXPECT_FLOAT_EQ(nav.Proj.Z, PlaceDistance);
        // Window tests running beside this one may move the shared pointer: point again.
        EXPECT_TRUE(WaitFor([&] {
            point(centre);
            return Seam::PointerText(*form).rfind(c.readout, 0) == 0;
        }))
            << Seam::PointerText(*form);
    }
    nav.Proj = {-138, 36, PlaceDistance};
    EXPECT_TRUE(WaitFor([&] { return greenNearCentre() > 30; }, 3000)) << "Japan's label";
    // The readout is drawn above the status lines, in their green.
    const QImage frame = Seam::OpenGLPanel(*form)->grabFramebuffer();
    const int ratio = frame.height() / Seam::OpenGLPanel(*form)->height();
    int green = 0;
    for (int y = frame.height() - 58 * ratio; y < frame.height() - 46 * ratio; ++y)
        for (int x = 0; x < 200 * ratio; ++x)
            green += qGreen(frame.pixel(x, y)) > 200 && qRed(frame.pixel(x, y)) < 80;
    EXPECT_GT(green, 40);
    // Off the globe and out of the window it goes.
    nav.Proj.Z = -15;
    point({3, 3});
    EXPECT_EQ(Seam::PointerText(*form), "");
    point(centre);
    EXPECT_NE(Seam::PointerText(*form), "");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(surface, &leave);
    EXPECT_EQ(Seam::PointerText(*form), "");

    // Not found: said in the box, the view stays; Escape closes the box and leaves the view.
    const TVertex still = nav.Proj;
    find("Atlantis");
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->findChild<QLabel*>("FindMessage")->isVisible());
    EXPECT_EQ(box->findChild<QLabel*>("FindMessage")->text(), "Not found");
    QTest::keyClick(box->findChild<QLineEdit*>("FindEdit"), Qt::Key_Escape);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(form->isVisible());
    WaitFor([] { return false; }, 200);
    EXPECT_FALSE(nav.Glide.Active);
    EXPECT_EQ(nav.Proj.X, still.X);
    EXPECT_EQ(nav.Proj.Y, still.Y);
}

} // namespace
} // namespace nimbora::test
