// The real main window: first start, upgrade of an older settings file, closing, and the menu.
#include "GuiSupport.h"

#include "render/OpenGLPanel.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/time.h>

namespace nimbora::test {
namespace {

std::string ReadSettings(const TMainForm& form) {
    return ReadWholeFile(Seam::IniFile(form));
}

TEST(Startup, FirstStartWritesTheCompleteSettingsFile) {
    TScratchHome home;
    auto form = StartMainForm();
    ASSERT_TRUE(Seam::StartupDone(*form));
    EXPECT_EQ(Seam::DataFolder(*form), home.DataFolder());
    const std::string ini = ReadSettings(*form);
    ASSERT_FALSE(ini.empty());

    EXPECT_EQ(IniValue(ini, "Nimbora", "Version").Value, "033000");
    EXPECT_FALSE(IniValue(ini, "Nimbora", "GetCatalogue").Found);
    EXPECT_FALSE(IniValue(ini, "Features", "ShowCustomWay").Found);
    // Every key of both writers, at its default.
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } expected[] = {
        {"Proxy", "Autodetect", "1"},
        {"Proxy", "Authenticate", "0"},
        {"Proxy", "Password", ""},
        {"Map", "LastX", "0.0"},
        {"Map", "LastY", "0.0"},
        {"Map", "LastZ", "-15.0"},
        {"Map", "AutoFilterVal", "0"},
        {"Map", "Credit", ""},
        {"Map", "ServerIndex", "0"},
        {"Features", "WorldTexturing", "1"},
        {"Features", "CountryBoundaries", "1"},
        {"Features", "CountryNames", "1"},
        {"Features", "DayNight", "0"},
        {"Features", "TimeZoneGrid", "0"},
        {"Features", "CityLights", "1"},
        {"Features", "AutoUpdate", "0"},
        {"General.Cloud", "AutoFilter", "1"},
        {"General.Cloud", "UserFilterVal", "0"},
        {"RGB.Cloud", "Diffuse3", "0.75"},
        {"RGB.Earth2", "Ambient2", "0.4"},
        {"RGB.Blue", "Specular2", "1.0"},
        {"Sun.Cloud", "Ambient3", "0.5"},
        {"Sun.Earth1", "Shininess", "150.0"},
        {"Sun.Atmos", "Diffuse3", "0.7"},
        {"Sun.Light", "Diffuse2", "0.23"},
    };
    for (const auto& e : expected) {
        const TIniValue v = IniValue(ini, e.section, e.key);
        EXPECT_TRUE(v.Found) << e.section << "/" << e.key;
        EXPECT_EQ(v.Value, e.value) << e.section << "/" << e.key;
    }
    EXPECT_TRUE(IniValue(ini, "Map", "LastDate").Found);
    // 22 keys of the first writer, 106 of the second.
    EXPECT_EQ(CountKeys(ini), 128);
}

TEST(Startup, TemporaryFilesOfCutOffSavesGoOnceTheyAreAMinuteOld) {
    TScratchHome home;
    const std::string folder = home.MakeDataFolder();
    const std::string settings = home.SettingsFile().substr(folder.size());
    const struct {
        std::string name;
        int age;
        bool removed;
    } files[] = {
        {"." + settings + ".Ab12Cd", 7200, true},
        {".waypoints.ini.Zz99Yy", 61, true},
        {".waypoints.ini.young1", 0, false},
        {".other.ini.ABCDEF", 7200, false},
    };
    for (const auto& f : files) {
        ASSERT_TRUE(WriteWholeFile(folder + f.name, "[Half\n"));
        const timeval times[2] = {{time(nullptr) - f.age, 0}, {time(nullptr) - f.age, 0}};
        ASSERT_EQ(utimes((folder + f.name).c_str(), times), 0);
    }
    auto form = StartMainForm();
    for (const auto& f : files)
        EXPECT_EQ(QFile::exists(QString::fromStdString(folder + f.name)), !f.removed) << f.name;
}

TEST(Startup, OlderSettingsFileIsRewrittenKeepingKnownValues) {
    TScratchHome home;
    const std::string folder = home.MakeDataFolder();
    const std::string path = home.SettingsFile();
    ASSERT_TRUE(WriteWholeFile(path, "[Nimbora]\nVersion=032000\nOldKey=7\n"
                                     "[Features]\nCountryNames=0\nShowCustomWay=0\n"
                                     "[Map]\nLastX=190\nLastZ=-20.5\n"));
    auto form = StartMainForm();
    ASSERT_EQ(Seam::IniFile(*form), path);
    const std::string ini = ReadSettings(*form);
    EXPECT_EQ(IniValue(ini, "Nimbora", "Version").Value, "033000");
    EXPECT_FALSE(IniValue(ini, "Nimbora", "OldKey").Found);
    EXPECT_FALSE(IniValue(ini, "Features", "ShowCustomWay").Found);
    EXPECT_EQ(IniValue(ini, "Features", "CountryNames").Value, "0");
    EXPECT_EQ(IniValue(ini, "Map", "LastX").Value, "-170.0");
    EXPECT_EQ(IniValue(ini, "Map", "LastZ").Value, "-20.5");
    // The check mark follows the file.
    auto* names = Seam::OptionPopup(*form)->findChild<QAction*>("ShowNamesBt");
    ASSERT_NE(names, nullptr);
    EXPECT_FALSE(names->isChecked());
}

TEST(Startup, EscapeClosesAndWritesTheFirstSettingsGroup) {
    TScratchHome home;
    auto form = StartMainForm();
    const std::string path = Seam::IniFile(*form);
    // Replace the written file so that only what closing writes is there.
    ASSERT_TRUE(WriteWholeFile(path, "[Nimbora]\nVersion=033000\n"));
    auto* dayNight = Seam::OptionPopup(*form)->findChild<QAction*>("ShowDayNightBt");
    ASSERT_NE(dayNight, nullptr);
    dayNight->trigger();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }, 3000));
    const std::string ini = ReadWholeFile(path);
    EXPECT_EQ(IniValue(ini, "Features", "DayNight").Value, "1");
    EXPECT_EQ(IniValue(ini, "Map", "LastZ").Value, "-15.0");
    EXPECT_TRUE(IniValue(ini, "Proxy", "Autodetect").Found);
    // The second group is written only while the lighting dialog is open.
    EXPECT_FALSE(IniValue(ini, "General.Cloud", "AutoFilter").Found);
}

TEST(Startup, SunAndMoonAreMadeWhenDayAndNightIsFirstShown) {
    TScratchHome home;
    auto form = StartMainForm();
    Seam::SetClock(*form, [] { return 46000.75; });
    ASSERT_TRUE(WaitFor([&] { return Seam::LightsSettled(*form); }));
    // The globe without the status lines, which the switch changes.
    const auto frame = [&] {
        const QImage f = Seam::OpenGLPanel(*form)->grabFramebuffer();
        return f.copy(0, 0, f.width(), f.height() - 60);
    };
    const QImage even = frame();
    EXPECT_EQ(Seam::SceneObjects(*form).SunTex, 0u);
    EXPECT_EQ(Seam::SceneObjects(*form).MoonTex, 0u);

    auto* dayNight = Seam::OptionPopup(*form)->findChild<QAction*>("ShowDayNightBt");
    ASSERT_NE(dayNight, nullptr);
    dayNight->trigger();
    const QImage lit = frame();
    const auto made = Seam::SceneObjects(*form);
    EXPECT_NE(made.SunTex, 0u);
    EXPECT_NE(made.MoonTex, 0u);
    EXPECT_NE(lit, even);
    // Off and on again: what was made is kept, and the globe looks as before.
    dayNight->trigger();
    EXPECT_EQ(frame(), even);
    dayNight->trigger();
    EXPECT_EQ(frame(), lit);
    EXPECT_EQ(Seam::SceneObjects(*form).SunTex, made.SunTex);
    EXPECT_EQ(Seam::SceneObjects(*form).MoonTex, made.MoonTex);
}

TEST(Startup, MenuHasItsCaptionsOrderAndInitialStates) {
    TScratchHome home;
    auto form = StartMainForm();
    QMenu* menu = Seam::OptionPopup(*form);
    struct TItem {
        const char* name; // empty for a separator
        const char* caption;
        bool enabled;
        bool checkable;
        bool checked;
    };
    const TItem expected[] = {
        {"UpdateWeatherBt", "Update weather (random server)", false, false, false},
        {"AutoUpdateBt", "Update automatically", true, true, false},
        {"", "Select weather server", true, false, false},
        {"", nullptr, true, false, false},
        {"ShowCloudsBt", "Show clouds", true, true, true},
        {"ShowTexturingBt", "Show world texturing", true, true, true},
        {"ShowCountriesBt", "Show country boundaries", true, true, true},
        {"ShowNamesBt", "Show country names", true, true, true},
        {"ColorizeBt", "Colorize clouds", true, true, false},
        {"ChangeTexturingBt", "Detailed earth texturing", true, true, false},
        {"ShowDayNightBt", "Show Day and Night", true, true, false},
        {"CityLightsBt", "City lights", false, true, true},
        {"ShowTimeZoneBt", "Show Time Zone grid", true, true, false},
        {"CustomWayBt", "Custom Waypoints...", true, false, false},
        {"CloudHistoryBt", "Cloud history...", true, false, false},
        {"", nullptr, true, false, false},
        {"SaveFrameBt", "Save current view...", true, false, false},
        {"FindBt", "Find place...", true, false, false},
        {"ResetViewBt", "Reset viewpoint", true, false, false},
        {"ConfigBt", "Configuration...", true, false, false},
        {"", nullptr, true, false, false},
        {"AboutBt", "About...", true, false, false},
        {"", nullptr, true, false, false},
    };
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TItem& e = expected[i];
        QAction* a = actions[static_cast<qsizetype>(i)];
        if (!e.caption) {
            EXPECT_TRUE(a->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(a->text().toStdString(), e.caption) << i;
        if (e.name[0]) {
            EXPECT_EQ(a->objectName().toStdString(), e.name);
        }
        EXPECT_EQ(a->isEnabled(), e.enabled) << e.caption;
        EXPECT_EQ(a->isCheckable(), e.checkable) << e.caption;
        EXPECT_EQ(a->isChecked(), e.checked) << e.caption;
        EXPECT_FALSE(a->text().contains('&')) << e.caption;
    }
    EXPECT_EQ(menu->defaultAction(), actions[0]);

    // The server submenu: "Random server" checked, the ten servers hidden, one radio group.
    QMenu* servers = actions[2]->menu();
    ASSERT_NE(servers, nullptr);
    const QList<QAction*> items = servers->actions();
    ASSERT_EQ(items.size(), 11);
    EXPECT_EQ(items[0]->text(), "Random server");
    EXPECT_TRUE(items[0]->isChecked());
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(items[i]->text(), QString("Server %1").arg(i));
        EXPECT_FALSE(items[i]->isVisible());
        EXPECT_FALSE(items[i]->isChecked());
    }
    // Choosing a server changes the caption of the update item and the radio mark.
    items[7]->trigger();
    EXPECT_EQ(actions[0]->text(), "Update weather (use Server 7)");
    EXPECT_TRUE(items[7]->isChecked());
    EXPECT_FALSE(items[0]->isChecked());
    items[0]->trigger();
    EXPECT_EQ(actions[0]->text(), "Update weather (random server)");

    // The couplings: colorize follows "Show clouds", detailed texturing follows texturing.
    actions[4]->trigger();
    EXPECT_FALSE(actions[4]->isChecked());
    EXPECT_FALSE(actions[8]->isEnabled());
    actions[4]->trigger();
    EXPECT_TRUE(actions[8]->isEnabled());
    actions[5]->trigger();
    EXPECT_FALSE(actions[9]->isEnabled());
    menu->hide();
}

TEST(Startup, WindowHasItsSizeCaptionAndOptionsButton) {
    TScratchHome home;
    auto form = StartMainForm();
    EXPECT_EQ(form->windowTitle(), "Nimbora");
    EXPECT_EQ(form->width(), 640);
    EXPECT_EQ(form->height(), 480);
    EXPECT_EQ(form->minimumSize(), QSize(384, 288));
    auto* button = form->findChild<QWidget*>("OptionBt");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), "Options...");
    auto* panel = form->findChild<QWidget*>("OptionPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(640 - 4 - 29, 5, 29, 28));
    form->resize(800, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->geometry(), QRect(800 - 4 - 29, 5, 29, 28));
    EXPECT_EQ(form->findChild<QWidget*>("OpenGLPanel")->geometry(), QRect(0, 0, 800, 600));
}

} // namespace
} // namespace nimbora::test
