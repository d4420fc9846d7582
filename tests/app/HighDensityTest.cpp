// The real window on a dense screen: Qt scales it, the globe is drawn at the framebuffer's own
// pixels, and the status text keeps its size in window units. Each density needs a process of
// its own (Qt reads its scale factor at start), so the test runs itself again per density.
#include "GuiSupport.h"
#include "app/TestSeam.h"

#include "render/OpenGLPanel.h"
#include "support/ChildRun.h"

#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstdio>

namespace nimbora::test {
namespace {

// What the child measures in one frame, in framebuffer pixels.
struct TFrameMeasure {
    int FramebufferWidth = 0, FramebufferHeight = 0, WidgetWidth = 0, WidgetHeight = 0;
    int TextHeight = 0; // from the top of the first status line to the bottom of the last
    int GlobeWidth = 0; // lit pixels across the middle row
};

bool StatusGreen(QRgb p) {
    return qGreen(p) > 180 && qRed(p) < 90 && qBlue(p) < 90;
}

TFrameMeasure Measure(const QImage& frame, const QWidget& panel) {
    TFrameMeasure m;
    m.FramebufferWidth = frame.width();
    m.FramebufferHeight = frame.height();
    m.WidgetWidth = panel.width();
    m.WidgetHeight = panel.height();
    // The status lines sit in the lower left corner, away from the globe.
    int top = -1, bottom = -1;
    for (int y = frame.height() * 4 / 5; y < frame.height(); ++y)
        for (int x = 0; x < frame.width() * 2 / 5; ++x)
            if (StatusGreen(frame.pixel(x, y))) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
    m.TextHeight = top < 0 ? 0 : bottom - top + 1;
    int left = -1, right = -1;
    const int middle = frame.height() / 2;
    for (int x = 0; x < frame.width(); ++x) {
        const QRgb p = frame.pixel(x, middle);
        if (qRed(p) + qGreen(p) + qBlue(p) > 60) {
            if (left < 0) left = x;
            right = x;
        }
    }
    m.GlobeWidth = left < 0 ? 0 : right - left + 1;
    return m;
}

TFrameMeasure RunAtScale(const char* factor) {
    const TChildRun run =
        RunTestInChild("HighDensityChild.*", {QString("QT_SCALE_FACTOR=") + factor});
    EXPECT_TRUE(run.Passed) << factor << "\n" << run.Output.toStdString();
    TFrameMeasure m;
    const QRegularExpressionMatch found =
        QRegularExpression(R"(MEASURE (\d+) (\d+) (\d+) (\d+) (\d+) (\d+))").match(run.Output);
    if (!found.hasMatch()) return m;
    m.FramebufferWidth = found.captured(1).toInt();
    m.FramebufferHeight = found.captured(2).toInt();
    m.WidgetWidth = found.captured(3).toInt();
    m.WidgetHeight = found.captured(4).toInt();
    m.TextHeight = found.captured(5).toInt();
    m.GlobeWidth = found.captured(6).toInt();
    return m;
}

TEST(HighDensity, FrameAtRatioTwoIsTheFrameAtRatioOneDrawnFiner) {
    const TFrameMeasure one = RunAtScale("1");
    const TFrameMeasure two = RunAtScale("2");
    ASSERT_GT(one.WidgetWidth, 0);
    ASSERT_GT(two.WidgetWidth, 0);
    EXPECT_EQ(one.FramebufferWidth, one.WidgetWidth);
    EXPECT_EQ(two.FramebufferWidth, 2 * two.WidgetWidth);
    EXPECT_EQ(two.FramebufferHeight, 2 * two.WidgetHeight);
    // The status text is twice as tall in pixels: the same size to the eye.
    ASSERT_GT(one.TextHeight, 10);
    EXPECT_NEAR(static_cast<double>(two.TextHeight) / one.TextHeight, 2.0, 0.2)
        << one.TextHeight << " " << two.TextHeight;
    // The globe fills the same share of the window.
    ASSERT_GT(one.GlobeWidth, 0);
    EXPECT_NEAR(static_cast<double>(two.GlobeWidth) / two.FramebufferWidth,
                static_cast<double>(one.GlobeWidth) / one.FramebufferWidth, 0.01);
}

TEST(HighDensityChild, MeasuresOneFrame) {
    if (!InChildProcess()) GTEST_SKIP() << "runs in its own process";
    TScratchHome home;
    home.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(home.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"));
    auto form = std::make_unique<TMainForm>();
    // Nothing leaves this machine, should anything ask for clouds.
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{"http://127.0.0.1:9/clouds.jpg", 190, "test"});
    form->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
    WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); }); // the fade-in ends
    auto* panel = form->findChild<TOpenGLPanel*>("OpenGLPanel");
    ASSERT_NE(panel, nullptr);
    const QImage frame = panel->grabFramebuffer();
    const TFrameMeasure m = Measure(frame, *panel);
    std::printf("MEASURE %d %d %d %d %d %d\n", m.FramebufferWidth, m.FramebufferHeight,
                m.WidgetWidth, m.WidgetHeight, m.TextHeight, m.GlobeWidth);
    std::fflush(stdout);
}

} // namespace
} // namespace nimbora::test
