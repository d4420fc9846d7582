// The lighting dialog on the real window: sliders change the frame and OpenGL at once, the
// filter reprocesses the cloud picture, and the dialog's settings are kept at exit.
#include "GuiSupport.h"
#include "ModalDriver.h"

#include "app/TestSeam.h"
#include "render/OpenGLPanel.h"
#include "ui/configuration.h"
#include "widgets/SchrinkPanel.h"

#include <GL/gl.h>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <sys/stat.h>

namespace nimbora::test {
namespace {

QAction* MenuItem(TMainForm& form, const char* name) {
    return Seam::OptionPopup(form)->findChild<QAction*>(QString::fromLatin1(name));
}

// The brightness of the globe's centre, where earth and clouds lie.
int CentreBrightness(TMainForm& form) {
    const QImage frame = Seam::OpenGLPanel(form)->grabFramebuffer();
    int sum = 0;
    for (int dy = -10; dy <= 10; ++dy)
        for (int dx = -10; dx <= 10; ++dx) {
            const QRgb p = frame.pixel(frame.width() / 2 + dx, frame.height() / 2 + dy);
            sum += qRed(p) + qGreen(p) + qBlue(p);
        }
    return sum / (21 * 21);
}

struct Started {
    TScratchHome home;
    std::unique_ptr<TMainForm> form;
    TConfigForm* dialog = nullptr;

    // prepare runs before the window starts, with the scratch data home.
    explicit Started(const std::function<void(const std::string&)>& prepare = {}) {
        const std::string folder = home.MakeDataFolder();
        if (prepare) prepare(std::getenv("XDG_DATA_HOME"));
        // Even cloud of grey 120: shown as it is without a filter, gone with a level of 200.
        QImage clouds(256, 128, QImage::Format_RGB32);
        clouds.fill(qRgb(120, 120, 120));
        EXPECT_TRUE(clouds.save(QString::fromStdString(folder + "clouds.jpg"), "JPG", 95));
        EXPECT_TRUE(WriteWholeFile(home.SettingsFile(), "[Nimbora]\nVersion=033000\n"
                                                        "GetCatalogue=0\n[Features]\n"
                                                        "CountryBoundaries=0\nCountryNames=0\n"));
        form = std::make_unique<TMainForm>();
        TMainFormTestSeam::SetBuiltInServer(*form,
                                            TMap{"http://127.0.0.1:9/clouds.jpg", 190, "test"});
        form->show();
        EXPECT_TRUE(WaitFor([&] { return Seam::StartupDone(*form) && Seam::CloudsShown(*form); }));
        WaitFor([&] { return TMainFormTestSeam::LightsSettled(*form); }); // the fade-in ends
        MenuItem(*form, "ConfigBt")->trigger();
        dialog = Seam::ConfigForm(*form);
        EXPECT_NE(dialog, nullptr);
    }
};

TEST(ConfigDialog, OpacityZeroHidesTheCloudsAndFullShowsThemAtFullStrength) {
    Started s;
    ASSERT_TRUE(s.dialog);
    QSlider* opacity = s.dialog->Slider("cloud_diffuse3Track");
    opacity->setValue(0);
    const int none = CentreBrightness(*s.form);
    opacity->setValue(100);
    const int full = CentreBrightness(*s.form);
    opacity->setValue(50);
    const int half = CentreBrightness(*s.form);
    MenuItem(*s.form, "ShowCloudsBt")->trigger();
    const int without = CentreBrightness(*s.form);
    EXPECT_NEAR(none, without, 3);
    EXPECT_GT(half, none + 60);
    EXPECT_GT(full, half + 60);
    // Hiding the clouds disables their sliders.
    EXPECT_FALSE(opacity->isEnabled());
}

TEST(ConfigDialog, FrameIsOpaqueEverywhere) {
    // A compositor that honours the surface's alpha must not see through the sky.
    Started s;
    const QImage frame = Seam::OpenGLPanel(*s.form)->grabFramebuffer();
    for (QPoint p : {QPoint(2, 2), QPoint(frame.width() / 2, frame.height() / 2),
                     QPoint(frame.width() - 3, frame.height() - 3)})
        EXPECT_EQ(qAlpha(frame.pixel(p)), 255) << p.x() << "," << p.y();
}

TEST(ConfigDialog, LightSliderReachesOpenGLAtOnce) {
    Started s;
    ASSERT_TRUE(s.dialog);
    s.dialog->Slider("RedTrack")->setValue(50);
    Seam::OpenGLPanel(*s.form)->makeCurrent();
    GLfloat diffuse[4] = {}, specular[4] = {};
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    Seam::OpenGLPanel(*s.form)->doneCurrent();
    EXPECT_FLOAT_EQ(diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(diffuse[1], 0.05f);
    EXPECT_FLOAT_EQ(specular[1], 0.25f);
}

TEST(ConfigDialog, FilterUpdateReprocessesThePictureAndExitKeepsTheDialogsSettings) {
    Started s;
    ASSERT_TRUE(s.dialog);
    const int before = CentreBrightness(*s.form);
    auto* reload = s.dialog->findChild<QPushButton*>("ReloadCloudBt");
    EXPECT_FALSE(reload->isEnabled());
    s.dialog->findChild<QCheckBox*>("cloud_FilterCheck")->click();
    s.dialog->Slider("cloud_FilterTrack")->triggerAction(QAbstractSlider::SliderToMaximum);
    ASSERT_TRUE(reload->isEnabled());
    reload->click();
    WaitFor([] { return false; }, 300);
    EXPECT_TRUE(Seam::CloudsShown(*s.form));
    const int after = CentreBrightness(*s.form);
    EXPECT_LT(after, before - 60); // the grey 120 is filtered away
    MenuItem(*s.form, "ShowCloudsBt")->trigger();
    EXPECT_NEAR(CentreBrightness(*s.form), after, 3);

    // Day and night opens the sun panel's sliders.
    MenuItem(*s.form, "ShowDayNightBt")->trigger();
    EXPECT_TRUE(s.dialog->Slider("SunTrack")->isEnabled());
    EXPECT_FALSE(s.dialog->Slider("RedTrack")->isEnabled());

    // Closing the program with the dialog open writes its settings too.
    s.dialog->Slider("BlueTrack")->setValue(50);
    s.form->close();
    const std::string ini = ReadWholeFile(s.home.SettingsFile());
    EXPECT_EQ(IniValue(ini, "General.Cloud", "UserFilterVal").Value, "200");
    EXPECT_EQ(IniValue(ini, "General.Cloud", "AutoFilter").Value, "0");
    EXPECT_EQ(IniValue(ini, "RGB.Blue", "Diffuse2").Value, "0.5");
}

TEST(ConfigDialog, OpensOnceWithThePanelOfTheLightingMode) {
    Started s;
    ASSERT_TRUE(s.dialog);
    EXPECT_TRUE(s.dialog->NormalSchrink->Expanded());
    MenuItem(*s.form, "ConfigBt")->trigger();
    EXPECT_EQ(Seam::ConfigForm(*s.form), s.dialog);
    s.dialog->close();
    WaitFor([&] { return Seam::ConfigForm(*s.form) == nullptr; }, 2000);
    EXPECT_EQ(Seam::ConfigForm(*s.form), nullptr);
    // Closing the dialog saved its settings.
    EXPECT_TRUE(IniValue(ReadWholeFile(s.home.SettingsFile()), "RGB.Red", "Diffuse0").Found);
    MenuItem(*s.form, "ShowDayNightBt")->trigger();
    MenuItem(*s.form, "ConfigBt")->trigger();
    ASSERT_NE(Seam::ConfigForm(*s.form), nullptr);
    EXPECT_TRUE(Seam::ConfigForm(*s.form)->SunSchrink->Expanded());
    EXPECT_FALSE(Seam::ConfigForm(*s.form)->NormalSchrink->Expanded());
}

// A home of its own for the shortcuts: the desktop folder comes from it.
struct ShortcutHome {
    TempDir dir;
    TScratchEnv home{"HOME", dir.str()};
    TScratchEnv config{"XDG_CONFIG_HOME", dir.str("config")};
};

// The line that marks the shortcuts the program made.
constexpr char Mark[] = "\nX-Nimbora-Shortcut=true\n";

int FileCount(const std::string& folder) {
    return static_cast<int>(QDir(QString::fromStdString(folder)).entryList(QDir::Files).size());
}

TEST(ConfigDialog, MenuShortcutIsAFileOfItsOwnAndLeavesEveryOtherAlone) {
    ShortcutHome sh;
    const std::string installed = "[Desktop Entry]\nType=Application\nName=Nimbora\n"
                                  "GenericName=Weather globe\nKeywords=weather;clouds;\n"
                                  "Exec=nimbora\nIcon=nimbora\nStartupWMClass=nimbora\n";
    std::string apps;
    Started s([&](const std::string& dataHome) {
        apps = dataHome + "/applications/";
        QDir().mkpath(QString::fromStdString(apps));
        EXPECT_TRUE(WriteWholeFile(apps + "nimbora.desktop", installed));
    });
    ASSERT_TRUE(s.dialog);
    auto* box = s.dialog->findChild<QCheckBox*>("StartShortCheck");
    const std::string own = apps + TShortcut{}.FileName;
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(FileCount(apps), 1); // opening wrote nothing

    box->click();
    EXPECT_TRUE(box->isChecked());
    const std::string made = ReadWholeFile(own);
    EXPECT_NE(made.find(Mark), std::string::npos) << made;
    EXPECT_NE(made.find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString()),
              std::string::npos);
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(own)));
    EXPECT_EQ(ReadWholeFile(apps + "nimbora.desktop"), installed);

    // Our own shortcut from an older place is shown ticked and not written on opening.
    const std::string older = made + "# from before\n";
    ASSERT_TRUE(WriteWholeFile(own, older));
    s.dialog->close();
    ASSERT_TRUE(WaitFor([&] { return Seam::ConfigForm(*s.form) == nullptr; }));
    MenuItem(*s.form, "ConfigBt")->trigger();
    ASSERT_NE(Seam::ConfigForm(*s.form), nullptr);
    box = Seam::ConfigForm(*s.form)->findChild<QCheckBox*>("StartShortCheck");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(ReadWholeFile(own), older);

    // Someone else's file under our name is neither removed nor rewritten; the user is told.
    const std::string foreign = "[Desktop Entry]\nName=Not ours\nExec=other\n";
    ASSERT_TRUE(WriteWholeFile(own, foreign));
    TModalDriver d;
    d.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    box->click(); // unticks
    EXPECT_FALSE(box->isChecked());
    box->click(); // ticks
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(d.Done()) << d.Pending();
    ASSERT_EQ(d.Texts.size(), 2u);
    EXPECT_TRUE(d.Texts[0].contains(QString::fromStdString(own))) << d.Texts[0].toStdString();
    EXPECT_EQ(ReadWholeFile(own), foreign);
    EXPECT_EQ(ReadWholeFile(apps + "nimbora.desktop"), installed);
}

TEST(ConfigDialog, FreshAccountGetsItsMenuFolderAndHearsThatThereIsNoDesktop) {
    ShortcutHome sh;
    Started s;
    ASSERT_TRUE(s.dialog);
    const std::string apps = std::string(std::getenv("XDG_DATA_HOME")) + "/applications";
    ASSERT_FALSE(QFileInfo::exists(QString::fromStdString(apps)));
    auto* menu = s.dialog->findChild<QCheckBox*>("StartShortCheck");
    menu->click();
    EXPECT_TRUE(menu->isChecked());
    struct stat st {};
    ASSERT_EQ(::stat(apps.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_NE(ReadWholeFile(apps + "/" + TShortcut{}.FileName).find(Mark), std::string::npos);

    // No desktop folder: the box says so and stays unticked, and no folder is made for it.
    TModalDriver d;
    d.Answer(QMessageBox::Ok);
    auto* desk = s.dialog->findChild<QCheckBox*>("DeskShortCheck");
    desk->click();
    EXPECT_TRUE(d.Done()) << d.Pending();
    EXPECT_FALSE(desk->isChecked());
    ASSERT_EQ(d.Texts.size(), 1u);
    EXPECT_TRUE(d.Texts[0].contains(QString::fromStdString(sh.dir.str("Desktop"))))
        << d.Texts[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(sh.dir.file("Desktop")));

    // With the folder there, the box ticks without a word.
    QDir().mkpath(sh.dir.file("Desktop"));
    TModalDriver quiet;
    desk->click();
    EXPECT_TRUE(desk->isChecked());
    EXPECT_TRUE(quiet.Texts.empty());
    EXPECT_EQ(FileCount(sh.dir.str("Desktop")), 1);
}

} // namespace
} // namespace nimbora::test
