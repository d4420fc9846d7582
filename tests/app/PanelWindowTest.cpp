// The globe's native drawing window inside the real main window, driven by real input from the
// X server (xdotool): the keyboard stays with the main window whatever the mouse did on the
// globe, drags and the wheel move the view, the options button shows and answers above the
// globe, and what the screen shows is the frame the program reads back.
#include "GuiSupport.h"
#include "ModalDriver.h"

#include "app/TestSeam.h"
#include "render/OpenGLPanel.h"
#include "support/NetHarness.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>

namespace nimbora::test {
namespace {

class PanelWindow : public testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
        xdotool_ = FindProgram("xdotool");
        if (xdotool_.empty()) GTEST_SKIP() << "xdotool is not installed";
        // One test at a time on a display: they all put their window in the same place.
        lock_ = std::make_unique<QLockFile>(
            QDir::tempPath() + "/nimbora-panel-input" +
            QString::fromLocal8Bit(qgetenv("DISPLAY")).replace(':', '-') + ".lock");
        lock_->setStaleLockTime(0); // held by a live test however long it runs
        ASSERT_TRUE(lock_->tryLock(120000));
        form_ = StartMainForm();
        ASSERT_TRUE(Seam::StartupDone(*form_));
        ASSERT_TRUE(WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form_); }));
        panel_ = Seam::OpenGLPanel(*form_);
        // Real input goes to whatever window lies under the pointer: in the top-left corner, at
        // its smallest, the window is clear of the centred windows of tests running alongside.
        form_->setGeometry(QRect(QPoint(0, 0), form_->minimumSize()));
        ASSERT_TRUE(WaitFor([&] { return panel_->size() == form_->minimumSize(); }, 3000));
        // The keyboard belongs to the main window, as after a click on its title bar.
        form_->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return form_->isActiveWindow(); }, 3000));
    }

    // Runs xdotool with the event loop going, so that the window answers while it works.
    void Xdotool(const QStringList& args) {
        QProcess p;
        p.start(QString::fromStdString(xdotool_), args);
        ASSERT_TRUE(p.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // A point of the panel in screen coordinates, as xdotool wants it.
    QStringList At(QPoint local) const {
        const QPoint p = panel_->mapToGlobal(local);
        return {"mousemove", QString::number(p.x()), QString::number(p.y())};
    }
    QPoint Centre() const { return panel_->rect().center(); }
    TNavState& Nav() { return TMainFormTestSeam::Nav(*form_); }
    // Holds an arrow key down with the X server's keyboard and says whether the window saw it.
    bool ArrowReachesTheWindow() {
        Xdotool({"keydown", "Left"});
        const bool held = WaitFor([&] { return Nav().pKey.Lf; }, 3000);
        Xdotool({"keyup", "Left"});
        return held && WaitFor([&] { return !Nav().pKey.Lf; }, 3000);
    }

    std::string xdotool_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<TMainForm> form_; // goes before the lock
    TOpenGLPanel* panel_ = nullptr;
};

TEST_F(PanelWindow, KeysReachTheMainWindowAfterClicksDragsAndWheelOnTheGlobe) {
    EXPECT_TRUE(ArrowReachesTheWindow());

    Xdotool(At(Centre()) + QStringList{"click", "1"});
    EXPECT_TRUE(ArrowReachesTheWindow()) << "after a click on the globe";
    EXPECT_TRUE(form_->isActiveWindow());

    // A left drag to the right turns the globe (Proj.X grows): 100 pixels at ScaleZ 1 give a
    // velocity of 2 degrees a tick.
    Nav().pMou = TMou{};
    const float x0 = Nav().Proj.X;
    const QPoint c = Centre();
    Xdotool(At(c) + QStringList{"mousedown", "1"} + At(c + QPoint(50, 0)) + At(c + QPoint(100, 0)) +
            QStringList{"mouseup", "1"});
    EXPECT_TRUE(WaitFor([&] { return Nav().Proj.X > x0 + 10; }, 5000)) << Nav().Proj.X - x0;
    EXPECT_TRUE(ArrowReachesTheWindow()) << "after a left drag";

    // A right drag downwards brings the camera closer; the wheel forward moves it away.
    WaitFor([&] { return Nav().pMou.Hor == 0; }, 5000);
    const float z0 = Nav().Proj.Z;
    Xdotool(At(c) + QStringList{"mousedown", "3"} + At(c + QPoint(0, 60)) + At(c + QPoint(0, 120)) +
            QStringList{"mouseup", "3"});
    EXPECT_TRUE(WaitFor([&] { return Nav().Proj.Z > z0 + 0.1f; }, 5000)) << Nav().Proj.Z;
    EXPECT_TRUE(ArrowReachesTheWindow()) << "after a right drag";
    WaitFor([&] { return Nav().pMou.Dep == 0; }, 5000);
    const float z1 = Nav().Proj.Z;
    Xdotool(At(c) + QStringList{"click", "4"});
    EXPECT_TRUE(WaitFor([&] { return Nav().Proj.Z < z1 - 0.02f; }, 5000)) << Nav().Proj.Z;
    EXPECT_TRUE(ArrowReachesTheWindow()) << "after the wheel";
}

TEST_F(PanelWindow, OptionsButtonShowsAboveTheGlobeAndOpensTheMenuOnARealClick) {
    auto* optionPanel = form_->findChild<QWidget*>("OptionPanel");
    auto* button = form_->findChild<QWidget*>("OptionBt");
    ASSERT_NE(optionPanel, nullptr);
    ASSERT_NE(button, nullptr);
    // The panel's silver rim, as the screen shows it.
    const QPoint rim = optionPanel->mapToGlobal(QPoint(1, 1));
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, rim.x(), rim.y(), 1, 1).toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(192, 192, 192));

    Xdotool(At(panel_->mapFromGlobal(button->mapToGlobal(button->rect().center()))) +
            QStringList{"click", "1"});
    QMenu* menu = Seam::OptionPopup(*form_);
    EXPECT_TRUE(WaitFor([&] { return menu->isVisible(); }, 5000));
    menu->hide();
}

// A key let go while a menu or a modal dialog has the keyboard never reaches the main window:
// the globe must not go on gathering speed for ever.
TEST_F(PanelWindow, KeyLetGoWhileAMenuOrDialogHasTheKeyboardDoesNotStayHeld) {
    auto* button = form_->findChild<QWidget*>("OptionBt");
    ASSERT_NE(button, nullptr);
    QMenu* menu = Seam::OptionPopup(*form_);
    Xdotool({"keydown", "Left"});
    ASSERT_TRUE(WaitFor([&] { return Nav().pKey.Lf; }, 3000));
    Xdotool(At(panel_->mapFromGlobal(button->mapToGlobal(button->rect().center()))) +
            QStringList{"click", "1"});
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }, 5000));
    Xdotool({"keyup", "Left"});
    Xdotool({"key", "Escape"});
    ASSERT_TRUE(WaitFor([&] { return !menu->isVisible(); }, 5000));
    EXPECT_FALSE(Nav().pKey.Lf) << "after the options menu";
    // Friction alone acts now: the spin runs out.
    EXPECT_TRUE(WaitFor([&] { return Nav().pMou.Hor == 0; }, 10000)) << Nav().pMou.Hor;

    // A modal dialog takes the input from the main window even where it does not get the
    // keyboard itself.
    Xdotool({"keydown", "Left"});
    ASSERT_TRUE(WaitFor([&] { return Nav().pKey.Lf; }, 3000));
    TModalDriver driver;
    driver.On("nimbora::TAboutForm", [&](QWidget* about) {
        Xdotool({"keyup", "Left"});
        about->close();
    });
    Seam::OptionPopup(*form_)->findChild<QAction*>("AboutBt")->trigger();
    ASSERT_TRUE(WaitFor([&] { return driver.Done(); }, 10000)) << driver.Pending();
    EXPECT_FALSE(Nav().pKey.Lf) << "after the about box";
    EXPECT_TRUE(WaitFor([&] { return Nav().pMou.Hor == 0; }, 10000)) << Nav().pMou.Hor;
    EXPECT_TRUE(ArrowReachesTheWindow());
}

TEST_F(PanelWindow, ScreenShowsTheFrameReadBackAndFollowsMenuChangesAndResizing) {
    // A still globe draws nothing more; a menu change asks for exactly the frame that shows it.
    int swapped = 0;
    QObject::connect(panel_, &TOpenGLPanel::frameSwapped, form_.get(), [&] { ++swapped; });
    WaitFor([] { return false; }, 400); // frames asked for before are drawn
    swapped = 0;
    auto* names = Seam::OptionPopup(*form_)->findChild<QAction*>("ShowCountriesBt");
    ASSERT_NE(names, nullptr);
    names->trigger();
    EXPECT_TRUE(WaitFor([&] { return swapped > 0; }, 3000));

    for (const QSize size : {QSize(384, 288), QSize(460, 340)}) {
        SCOPED_TRACE(size.width());
        form_->resize(size);
        ASSERT_TRUE(WaitFor([&] { return panel_->size() == size; }, 3000));
        EXPECT_EQ(panel_->DrawingWindow()->size(), size);
        WaitFor([] { return false; }, 400); // the resized window's frame is drawn
        const QImage frame = panel_->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(frame.size(), size);
        // The screen, left of the options button (a window of its own).
        const QPoint origin = panel_->mapToGlobal(QPoint(0, 0));
        const QImage screen =
            QGuiApplication::primaryScreen()
                ->grabWindow(0, origin.x(), origin.y(), size.width(), size.height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.size(), size);
        const int width = size.width() - 40;
        int differing = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < width; ++x)
                if (screen.pixel(x, y) != frame.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0);
    }
}

// An unmapped window (minimised, or on its way to being destroyed) is not drawn into, however
// the globe turns; it is drawn again as soon as it is back.
TEST_F(PanelWindow, NothingIsDrawnWhileTheWindowIsUnmapped) {
    int swapped = 0;
    QObject::connect(panel_, &TOpenGLPanel::frameSwapped, form_.get(), [&] { ++swapped; });
    const QString id = QString::number(form_->winId());
    Xdotool({"windowunmap", "--sync", id});
    ASSERT_TRUE(WaitFor([&] { return !form_->windowHandle()->isExposed(); }, 3000));
    WaitFor([] { return false; }, 200);
    swapped = 0;
    Nav().pMou.Hor = 3;
    WaitFor([] { return false; }, 600);
    EXPECT_EQ(swapped, 0);
    EXPECT_NE(Nav().pMou.Hor, 3) << "the view goes on moving";
    Nav().pMou = TMou{};
    Xdotool({"windowmap", "--sync", id});
    EXPECT_TRUE(WaitFor([&] { return swapped > 0; }, 3000));
}

// The drawing window makes its context when it is first shown and draws on every exposure; the
// start-up must still come first, so that the first frame is the globe and not a black window.
TEST(PanelStart, FirstFrameIsDrawnAfterTheStartUp) {
    TScratchHome home;
    home.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(home.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"));
    auto form = std::make_unique<TMainForm>();
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{"http://127.0.0.1:9/clouds.jpg", 190, "test"});
    int frames = 0;
    bool startedFirst = false;
    QObject::connect(Seam::OpenGLPanel(*form), &TOpenGLPanel::frameSwapped, form.get(), [&] {
        if (frames++ == 0) startedFirst = Seam::StartupDone(*form);
    });
    form->show();
    ASSERT_TRUE(WaitFor([&] { return frames > 0; }));
    EXPECT_TRUE(startedFirst);
}

} // namespace
} // namespace nimbora::test
