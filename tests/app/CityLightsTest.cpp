// The cities' lights in the real window: over Europe at midnight, not at noon, and not with
// "City lights" unchecked; the item goes with "Show Day and Night".
#include "GuiSupport.h"

#include "app/TestSeam.h"
#include "render/OpenGLPanel.h"
#include "render/navigation.h"

#include <QAction>
#include <QDateTime>
#include <QImage>
#include <QMenu>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

double DayCount(int month, int hour) {
    const QDateTime t(QDate(2026, month, 9), QTime(hour, 0), Qt::UTC);
    return static_cast<double>(t.toMSecsSinceEpoch()) / 86400000.0 + 25569.0;
}

int DifferentPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                           std::abs(qBlue(p) - qBlue(q))}) > 8;
        }
    return n;
}

TEST(CityLightsWindow, ShowOverEuropeAtMidnightOnlyAndFollowTheMenuItem) {
    TScratchHome home;
    home.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(home.SettingsFile(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                                    "[Features]\nDayNight=1\nCountryNames=0\n"
                                                    "CountryBoundaries=0\n"));
    double now = DayCount(12, 23);
    auto form = std::make_unique<TMainForm>();
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{"http://127.0.0.1:9/clouds.jpg", 190, "t"});
    TMainFormTestSeam::SetClock(*form, [&now] { return now; });
    form->show();
    ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
    WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
    TVertex& view = TMainFormTestSeam::Nav(*form).Proj;
    LookDownOn(view, 50, 10);
    view.Z = -9;
    QAction* lights = Seam::OptionPopup(*form)->findChild<QAction*>("CityLightsBt");
    QAction* dayNight = Seam::OptionPopup(*form)->findChild<QAction*>("ShowDayNightBt");
    ASSERT_TRUE(lights && dayNight);
    EXPECT_TRUE(lights->isChecked() && lights->isEnabled());
    const auto frame = [&] { return Seam::OpenGLPanel(*form)->grabFramebuffer(); };

    const QImage midnight = frame();
    lights->trigger();
    const QImage midnightOff = frame();
    now = DayCount(6, 11); // in summer: no polar night in the north of the view
    dayNight->trigger();   // off and on: the sun computed anew
    dayNight->trigger();
    const QImage noonOff = frame();
    lights->trigger();
    const QImage noon = frame();
    EXPECT_GT(WarmPixels(midnight), 2000);
    EXPECT_LT(WarmPixels(midnightOff), 20);
    // The day side is drawn as without the lights.
    EXPECT_LT(DifferentPixels(noon, noonOff), 20);

    dayNight->trigger();
    EXPECT_TRUE(!lights->isEnabled() && lights->isChecked());
    form->close();
}

// The lights are made with the first day-and-night frame; detailed texturing switched on before
// that must give them in detail as well, as when it is switched on afterwards.
TEST(CityLightsWindow, DetailedLightsWhicheverIsSwitchedOnFirst) {
    QImage frames[2];
    for (const bool dayNightFirst : {false, true}) {
        TScratchHome home;
        home.MakeDataFolder();
        ASSERT_TRUE(WriteWholeFile(home.SettingsFile(),
                                   std::string("[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                               "[Features]\nCountryNames=0\nCountryBoundaries=0\n"
                                               "DayNight=") +
                                       (dayNightFirst ? "1\n" : "0\n")));
        auto form = std::make_unique<TMainForm>();
        TMainFormTestSeam::SetBuiltInServer(*form, TMap{"http://127.0.0.1:9/clouds.jpg", 190, "t"});
        TMainFormTestSeam::SetClock(*form, [] { return DayCount(12, 23); });
        form->show();
        ASSERT_TRUE(WaitFor([&] { return Seam::StartupDone(*form); }));
        WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
        TVertex& view = TMainFormTestSeam::Nav(*form).Proj;
        LookDownOn(view, 50, 10);
        view.Z = -6;
        QMenu* menu = Seam::OptionPopup(*form);
        const auto item = [&](const char* name) { return menu->findChild<QAction*>(name); };
        ASSERT_TRUE(item("ChangeTexturingBt") && item("ShowDayNightBt"));
        if (dayNightFirst) {
            Seam::OpenGLPanel(*form)->grabFramebuffer(); // the lights are made, in 2048
            item("ChangeTexturingBt")->trigger();
        } else {
            item("ChangeTexturingBt")->trigger();
            item("ShowDayNightBt")->trigger();
        }
        const QImage frame = Seam::OpenGLPanel(*form)->grabFramebuffer();
        frames[dayNightFirst] = frame.copy(0, 0, frame.width(), frame.height() - 60);
        EXPECT_GT(WarmPixels(frames[dayNightFirst]), 2000);
        form->close();
    }
    EXPECT_EQ(DifferentPixels(frames[0], frames[1]), 0);
}

} // namespace
} // namespace nimbora::test
