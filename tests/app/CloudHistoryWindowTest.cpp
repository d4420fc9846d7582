// The cloud history in the real window: the keys step through the kept pictures and show each
// one's clouds and time, the bar's play button goes round them, Escape comes back to now.
#include "GuiSupport.h"
#include "app/TestSeam.h"

#include "core/Cp1252.h"
#include "core/Iso8601.h"
#include "render/OpenGLPanel.h"
#include "weather/CloudHistory.h"
#include "weather/CloudsText.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QImage>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <set>

namespace nimbora::test {
namespace {

int CentreGrey(TMainForm& form) {
    const QImage f =
        Seam::OpenGLPanel(form)->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    return qGray(f.pixel(f.width() / 2, f.height() / 2));
}

TEST(CloudHistoryWindow, StepsBackAndForthPlaysAndEscapeComesBackToNow) {
    TScratchHome home;
    const std::string folder = home.MakeDataFolder();
    ASSERT_TRUE(WriteWholeFile(folder + "clouds.jpg", GreyJpeg(512, 256, 0)));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(CloudHistoryFolder(folder))));
    const double day = DaysFromCivil(2026, 12, 8) + UnixEpochDay;
    const double times[] = {day + 0.25, day + 0.375, day + 0.5};
    const unsigned char levels[] = {255, 0, 130};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(WriteWholeFile(CloudHistoryFolder(folder) + HistoryFileName(times[i], TypJpg),
                                   GreyJpeg(512, 256, levels[i])));
    ASSERT_TRUE(WriteWholeFile(home.SettingsFile(),
                               "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Features]\n"
                               "CountryBoundaries=0\nCountryNames=0\n[General.Cloud]\n"
                               "AutoFilter=0\nUserFilterVal=0\n"));
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }));
    auto settled = [&] { return !TMainFormTestSeam::CloudsPending(*form); };
    ASSERT_TRUE(WaitFor(settled));
    WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
    const THistoryView& history = TMainFormTestSeam::History(*form);
    const int now = CentreGrey(*form);

    // Each key and the picture it leads to (-1: the one in hand).
    struct {
        Qt::Key Key;
        int Picture;
    } const steps[] = {{Qt::Key_BracketLeft, 2}, {Qt::Key_BracketLeft, 1},
                       {Qt::Key_BracketLeft, 0}, {Qt::Key_BracketRight, 1},
                       {Qt::Key_BracketRight, 2}};
    int grey[3] = {};
    for (const auto& s : steps) {
        QTest::keyClick(form.get(), s.Key);
        ASSERT_TRUE(WaitFor(settled));
        ASSERT_TRUE(history.PictureTime());
        EXPECT_EQ(*history.PictureTime(), times[s.Picture]);
        EXPECT_EQ(Seam::StatusText(*form), HistoryTimeText(times[s.Picture]));
        EXPECT_TRUE(Seam::CloudsShown(*form));
        grey[s.Picture] = CentreGrey(*form);
    }
    EXPECT_TRUE(history.GetBar()->isVisible());
    // White clouds, a clear sky, grey clouds: each picture's own pixels.
    EXPECT_GT(grey[0], grey[2] + 30);
    EXPECT_GT(grey[2], grey[1] + 30);
    EXPECT_LT(std::abs(grey[1] - now), 10);

    // Play goes round all three, in order.
    auto* play = history.GetBar()->findChild<QToolButton*>("HistoryPlayBt");
    ASSERT_NE(play, nullptr);
    QTest::mouseClick(play, Qt::LeftButton);
    std::vector<double> seen;
    ASSERT_TRUE(WaitFor([&] {
        const auto t = history.PictureTime();
        if (t && (seen.empty() || seen.back() != *t)) seen.push_back(*t);
        return seen.size() >= 4;
    }));
    EXPECT_TRUE(history.GetPlayer().IsPlaying());
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_TRUE(seen[i] > seen[i - 1] || (seen[i] == times[0] && seen[i - 1] == times[2]));

    QTest::keyClick(form.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor(settled));
    EXPECT_TRUE(form->isVisible()); // Escape closed the bar, not the window
    EXPECT_FALSE(history.GetBar()->isVisible());
    EXPECT_FALSE(history.PictureTime());
    EXPECT_EQ(Seam::StatusText(*form).find("Cloud history"), std::string::npos);
    WaitFor([&] { return false; }, 300);
    EXPECT_LT(std::abs(CentreGrey(*form) - now), 10);
}

// One kept picture against the one in hand: what stands on screen while it is shown, after a
// change of colour, and after "Now" must always be that picture's clouds and date, or none.
TEST(CloudHistoryWindow, KeptPictureAndNowNeverLeaveOtherCloudsOrDatesBehind) {
    const struct {
        const char* Name;
        int InHand; // grey level of the picture in hand; -1: none
        int Kept;   // of the kept picture; -1: damaged
        bool Colorize;
    } cases[] = {
        {"damaged kept picture", 255, -1, false},
        {"no picture in hand", -1, 255, false},
        {"colour changed while a kept picture is shown", 0, 255, true},
    };
    const double utc = DaysFromCivil(2026, 12, 8) + UnixEpochDay + 0.25;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScratchHome home;
        const std::string folder = home.MakeDataFolder();
        const auto level = [](int grey) { return static_cast<unsigned char>(grey); };
        if (c.InHand >= 0) {
            ASSERT_TRUE(WriteWholeFile(folder + "clouds.jpg", GreyJpeg(512, 256, level(c.InHand))));
        }
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(CloudHistoryFolder(folder))));
        const std::string kept = c.Kept >= 0 ? GreyJpeg(512, 256, level(c.Kept))
                                             : GreyJpeg(512, 256, 255).substr(0, 300);
        ASSERT_TRUE(
            WriteWholeFile(CloudHistoryFolder(folder) + HistoryFileName(utc, TypJpg), kept));
        ASSERT_TRUE(WriteWholeFile(home.SettingsFile(),
                                   "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Features]\n"
                                   "CountryBoundaries=0\nCountryNames=0\n[General.Cloud]\n"
                                   "AutoFilter=0\nUserFilterVal=0\n"));
        auto form = StartMainForm();
        auto settled = [&] { return !TMainFormTestSeam::CloudsPending(*form); };
        ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form) == (c.InHand >= 0); }));
        ASSERT_TRUE(WaitFor(settled));
        WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); });
        const THistoryView& history = TMainFormTestSeam::History(*form);
        const std::string nowLine = Seam::UpdateText(*form);
        const int now = CentreGrey(*form);

        QTest::keyClick(form.get(), Qt::Key_BracketLeft);
        ASSERT_TRUE(WaitFor(settled));
        for (int change = 0; change < (c.Colorize ? 2 : 0) + 1; ++change) {
            if (change > 0) {
                Seam::OptionPopup(*form)->findChild<QAction*>("ColorizeBt")->trigger();
                ASSERT_TRUE(WaitFor(settled));
                WaitFor([&] { return false; }, 100);
                ASSERT_TRUE(WaitFor(settled));
            }
            ASSERT_TRUE(history.PictureTime());
            EXPECT_EQ(Seam::StatusText(*form), HistoryTimeText(utc));
            // A damaged one shows no clouds rather than those of another time.
            EXPECT_EQ(Seam::CloudsShown(*form), c.Kept >= 0) << change;
            EXPECT_GT(std::abs(CentreGrey(*form) - now), 30) << change;
            if (c.Kept >= 0) {
                EXPECT_EQ(Seam::UpdateText(*form), CloudsUpdatedText({utc, 0, true}));
            }
        }

        auto* nowButton = history.GetBar()->findChild<QToolButton*>("HistoryNowBt");
        ASSERT_NE(nowButton, nullptr);
        QTest::mouseClick(nowButton, Qt::LeftButton);
        ASSERT_TRUE(WaitFor(settled));
        WaitFor([&] { return false; }, 300);
        EXPECT_FALSE(history.PictureTime());
        EXPECT_EQ(Seam::CloudsShown(*form), c.InHand >= 0);
        EXPECT_EQ(Seam::UpdateText(*form), nowLine);
        EXPECT_LT(std::abs(CentreGrey(*form) - now), 10);
    }
}

} // namespace
} // namespace nimbora::test
