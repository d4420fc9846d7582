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

} // namespace
} // namespace nimbora::test
