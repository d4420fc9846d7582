// The status lines tell the truth on a still globe: a failed update shows its error on the
// screen without the globe being moved, and in day-and-night mode the error stays readable
// before the sun text returns.
#include "GuiSupport.h"
#include "app/TestSeam.h"

#include "core/Messages.h"
#include "render/OpenGLPanel.h"
#include "support/NetHarness.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>

#include <algorithm>

namespace nimbora::test {
namespace {

using Connection = ScriptedServer::Connection;

// A picture server that takes a moment and then hangs up without an answer: the update ends
// in "Error: Connection failed" after "Connecting..." has been on the screen.
bool StartHangingUpServer(ScriptedServer& server) {
    return server.Start({[](Connection& c) {
        c.ReadRequest();
        c.Pause(400);
    }});
}

// Starts the window on a settings file that fetches no catalogue.
std::unique_ptr<TMainForm> StartQuietForm(const TScratchHome& home, const std::string& server,
                                          const std::string& extra = {}, TUtcClock clock = {}) {
    home.MakeDataFolder();
    EXPECT_TRUE(
        WriteWholeFile(home.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n" + extra));
    auto form = std::make_unique<TMainForm>();
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{server, 190, "test"});
    if (clock) TMainFormTestSeam::SetClock(*form, std::move(clock));
    form->show();
    EXPECT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
    // Let the light fade-in end, so that the timer stops drawing a still globe.
    WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
    return form;
}

// Pixels that differ clearly between two pictures of the same size.
int DifferentPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                    std::abs(qBlue(p) - qBlue(q)) >
                60)
                ++n;
        }
    return n;
}

TEST(StatusLine, FailedUpdateShowsItsErrorOnAStillGlobe) {
    TScratchHome home;
    ScriptedServer server;
    ASSERT_TRUE(StartHangingUpServer(server));
    auto form = StartQuietForm(home, server.Url("/clouds.jpg"));
    // Reading the display needs the status lines uncovered and on the screen, whatever its size:
    // the lower left corner is away from the centred windows of tests that run beside this one.
    const QRect area = form->screen()->availableGeometry();
    form->move(area.left(), std::max(area.top(), area.bottom() + 1 - form->frameGeometry().height()));
    WaitFor([] { return false; }, 300);
    PostMessage(form.get(), UM_BEGINUPDATE, WpGetMap);
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == "Connecting..."; }, 3000));
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == "Error: Connection failed"; }, 10000))
        << Seam::StatusText(*form);
    WaitFor([] { return false; }, 500);

    // What the window shows on the display, against a frame drawn now with the texts in hand.
    const QRect lines(0, form->height() - 46, 320, 46);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QImage shown =
        screen->grabWindow(form->winId(), lines.x(), lines.y(), lines.width(), lines.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage expected =
        Seam::OpenGLPanel(*form)->grabFramebuffer().copy(lines).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), expected.size());
    if (qEnvironmentVariableIsSet("NIMBORA_SAVE_FRAMES")) {
        shown.save("/tmp/nimbora_status_shown.png");
        expected.save("/tmp/nimbora_status_expected.png");
    }
    EXPECT_LT(DifferentPixels(shown, expected), 10);
    form->close();
}

TEST(StatusLine, DayAndNightKeepsAnUpdateErrorBeforeTheSunTextReturns) {
    TScratchHome home;
    double now = 45000.5; // a fixed day; the test moves the clock on
    auto form = StartQuietForm(home, "http://127.0.0.1:9/clouds.jpg", "[Features]\nDayNight=1\n",
                               [&now] { return now; });
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form).rfind("Sun: Lat=", 0) == 0; }, 3000))
        << Seam::StatusText(*form);
    PostMessage(form.get(), UM_BEGINUPDATE, WpGetMap);
    ASSERT_TRUE(WaitFor([&] { return Seam::StatusText(*form) == "Error: Connection failed"; }, 10000))
        << Seam::StatusText(*form);
    // Several sun refreshes (one every 30 ticks) within the first 15 seconds leave it.
    for (const double seconds : {1.0, 8.0, 14.5}) {
        now = 45000.5 + seconds / 86400;
        WaitFor([] { return false; }, 1300);
        EXPECT_EQ(Seam::StatusText(*form), "Error: Connection failed") << seconds << " s";
    }
    now = 45000.5 + 15.5 / 86400;
    EXPECT_TRUE(WaitFor([&] { return Seam::StatusText(*form).rfind("Sun: Lat=", 0) == 0; }, 3000))
        << Seam::StatusText(*form);
    form->close();
}

} // namespace
} // namespace nimbora::test
