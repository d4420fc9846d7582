// The lighting dialog: slider arithmetic, which groups are usable in each mode, the filter
// controls and the reset buttons, without the main window.
#include "ui/configuration.h"

#include "support/ChildRun.h"
#include "support/LayoutCheck.h"
#include "widgets/SchrinkPanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

// The values the owner hands the dialog, and what the model tells it.
struct Fixture {
    TConfigValues Start{DefaultLighting(), true, 0};
    int AutoValue = 190;
    int LightsHanded = 0, Frames = 0, Reloads = 0, Closes = 0;
    TConfigModel* Model = nullptr;

    TConfigModel* Host() { // no shortcut folders: the boxes stay unchecked
        Model = new TConfigModel(Start, [this] { return AutoValue; });
        QObject::connect(Model, &TConfigModel::LightsChanged, [this] { ++LightsHanded; });
        QObject::connect(Model, &TConfigModel::MaterialChanged, [this] { ++Frames; });
        QObject::connect(Model, &TConfigModel::CloudReloadRequested, [this] { ++Reloads; });
        return Model;
    }
    const TLightingSets& Sets() const { return Model->Values().Lighting; }
};

const TSliderDef& Def(const char* name) {
    const TSliderDef* def = FindSlider(name);
    EXPECT_NE(def, nullptr) << name;
    return *def;
}

TEST(ConfigSliders, ColourFollowsTheFullScaleAndOpacityTheAlpha) {
    TLightingSets s = DefaultLighting();
    ApplySliderPosition(Def("earth2_diffuseTrack"), 50, s);
    EXPECT_FLOAT_EQ(s.RgbEarth2.Diffuse[0], 0.2f);
    EXPECT_FLOAT_EQ(s.RgbEarth2.Diffuse[2], 0.5f);
    ApplySliderPosition(Def("cloud_diffuse3Track"), 40, s);
    EXPECT_FLOAT_EQ(s.RgbCloud.Diffuse[3], 0.4f);
    EXPECT_FLOAT_EQ(s.RgbCloud.Diffuse[0], 1.0f); // the colour stays
    // A light at 50 halves every colour of that light, the sun's ambient included.
    ApplySliderPosition(Def("RedTrack"), 50, s);
    EXPECT_FLOAT_EQ(s.RgbRed.Diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(s.RgbRed.Specular[1], 0.25f);
    ApplySliderPosition(Def("SunTrack"), 50, s);
    EXPECT_FLOAT_EQ(s.SunLight.Ambient[0], 0.3f);
    EXPECT_FLOAT_EQ(s.SunLight.Diffuse[2], 0.115f);
    EXPECT_FLOAT_EQ(s.SunLight.Specular[0], 0.25f);
}

TEST(ConfigSliders, PositionsOfTheDefaultsAndOfOddColours) {
    const TLightingSets d = DefaultLighting();
    struct Case {
        const char* Name;
        int Position;
    } cases[] = {
        {"cloud_diffuse3Track", 75},    {"cloud_ambientTrack", 100},
        {"cloud_specularTrack", 90},    {"earth1_diffuseTrack", 70},
        {"earth2_specularTrack", 15},   {"RedTrack", 100},
        {"sun_cloud_ambientTrack", 45}, {"sun_earth1_specularTrack", 30},
        {"sun_atmos_ambientTrack", 0},  {"SunTrack", 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SliderPosition(Def(c.Name), d), c.Position) << c.Name;

    TLightingSets odd = d;
    const float red[3] = {1, 0, 0};
    std::copy(red, red + 3, odd.RgbEarth1.Diffuse);
    EXPECT_EQ(SliderPosition(Def("earth1_diffuseTrack"), odd), 60); // 1 / sqrt(2.81) = 0.597
    odd.RgbCloud.Diffuse[3] = 0.125f;                               // 12.5: halves go to even
    EXPECT_EQ(SliderPosition(Def("cloud_diffuse3Track"), odd), 12);
    odd.RgbCloud.Diffuse[3] = 0.135f; // 13.5 in single precision is a little above: 14
    EXPECT_EQ(SliderPosition(Def("cloud_diffuse3Track"), odd), 14);
    odd.RgbCloud.Diffuse[3] = 1e30f; // beyond the slider
    EXPECT_EQ(SliderPosition(Def("cloud_diffuse3Track"), odd), 100);
    odd.RgbCloud.Diffuse[3] = -2;
    EXPECT_EQ(SliderPosition(Def("cloud_diffuse3Track"), odd), 0);
}

TEST(ConfigSliders, GroupsUsableInEachMode) {
    struct Case {
        bool DayNight, Clouds, Texturing;
        bool Normal[4], Sun[5]; // clouds, earth1, earth2, lights (, atmosphere)
    } cases[] = {
        {false, true, true, {true, true, false, true}, {false, false, false, false, false}},
        {false, false, false, {false, false, true, true}, {false, false, false, false, false}},
        {true, true, true, {false, false, false, false}, {true, true, false, true, true}},
        {true, false, false, {false, false, false, false}, {false, false, true, true, true}},
    };
    for (const Case& c : cases) {
        for (int g = 0; g < 4; ++g)
            EXPECT_EQ(SliderGroupEnabled(false, TSliderGroup(g), c.DayNight, c.Clouds, c.Texturing),
                      c.Normal[g]);
        for (int g = 0; g < 5; ++g)
            EXPECT_EQ(SliderGroupEnabled(true, TSliderGroup(g), c.DayNight, c.Clouds, c.Texturing),
                      c.Sun[g]);
    }
}

TEST(ConfigForm, OpeningPutsAnOddColourOnItsSliderLine) {
    Fixture f;
    f.Start.Lighting.RgbEarth1.Diffuse[0] = 1;
    f.Start.Lighting.RgbEarth1.Diffuse[1] = 0;
    f.Start.Lighting.RgbEarth1.Diffuse[2] = 0;
    TConfigForm form(f.Host());
    EXPECT_EQ(form.Slider("earth1_diffuseTrack")->value(), 60);
    EXPECT_FLOAT_EQ(f.Sets().RgbEarth1.Diffuse[0], 0.54f);
    EXPECT_FLOAT_EQ(f.Sets().RgbEarth1.Diffuse[1], 0.6f);
    EXPECT_FLOAT_EQ(f.Sets().RgbEarth1.Diffuse[2], 0.6f);
    EXPECT_EQ(form.SliderLabel("earth1_diffuseTrack")->text(), QStringLiteral("60%"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(form.size(), QSize(240, 580));
    EXPECT_TRUE(form.NormalSchrink->Expanded());
    EXPECT_FALSE(form.SunSchrink->Expanded());
    EXPECT_EQ(form.SunSchrink->height(), 18);
}

TEST(ConfigForm, DayAndNightDisablesEveryRgbSliderAndTexturingSwitchesTheEarthGroups) {
    Fixture f;
    TConfigForm form(f.Host());
    f.Model->SetShownLayers(true, true, true);
    for (const TSliderDef& def : ConfigSliders()) {
        if (!def.Sun) {
            EXPECT_FALSE(form.Slider(def.Name)->isEnabled()) << def.Name;
        }
    }
    EXPECT_TRUE(form.Slider("sun_earth1_diffuseTrack")->isEnabled());
    EXPECT_FALSE(form.Slider("sun_earth2_diffuseTrack")->isEnabled());
    f.Model->SetShownLayers(true, true, false);
    EXPECT_FALSE(form.Slider("sun_earth1_diffuseTrack")->isEnabled());
    EXPECT_TRUE(form.Slider("sun_earth2_diffuseTrack")->isEnabled());
    EXPECT_TRUE(form.Slider("SunTrack")->isEnabled());
    EXPECT_TRUE(form.Slider("sun_atmos_diffuseTrack")->isEnabled());
}

TEST(ConfigForm, LightSlidersHandTheirColoursOnAndMaterialsAskForAFrame) {
    Fixture f;
    TConfigForm form(f.Host());
    const int lights = f.LightsHanded, frames = f.Frames;
    form.Slider("GreenTrack")->setValue(50);
    EXPECT_EQ(f.LightsHanded, lights + 1);
    EXPECT_FLOAT_EQ(f.Sets().RgbGreen.Diffuse[1], 0.5f);
    form.Slider("cloud_diffuse3Track")->setValue(0);
    EXPECT_EQ(f.Frames, frames + 1);
    EXPECT_EQ(f.Sets().RgbCloud.Diffuse[3], 0.0f);
    EXPECT_EQ(form.SliderLabel("cloud_diffuse3Track")->text(), QStringLiteral("0%"));
}

TEST(ConfigForm, ResetButtonsRestoreTheDefaultsShininessIncluded) {
    Fixture f;
    f.Start.Lighting.RgbCloud.Shininess = 3;
    f.Start.Lighting.RgbBlue.Diffuse[2] = 0.1f;
    f.Start.Lighting.SunEarth1.Shininess = 7;
    f.Start.Lighting.SunLight.Ambient[0] = 0.01f;
    TConfigForm form(f.Host());
    form.Slider("cloud_ambientTrack")->setValue(10);
    const TLightingSets d = DefaultLighting();
    form.findChild<QPushButton*>("NormalDefBt")->click();
    EXPECT_EQ(f.Sets().RgbCloud.Shininess, 50);
    EXPECT_EQ(f.Sets().RgbBlue.Diffuse[2], d.RgbBlue.Diffuse[2]);
    EXPECT_EQ(f.Sets().RgbCloud.Ambient[0], d.RgbCloud.Ambient[0]);
    EXPECT_EQ(form.Slider("cloud_ambientTrack")->value(), 100);
    EXPECT_EQ(form.Slider("BlueTrack")->value(), 100);
    EXPECT_EQ(f.Sets().SunEarth1.Shininess, 7); // the other panel is left alone
    const int lights = f.LightsHanded;
    form.findChild<QPushButton*>("SunDefBt")->click();
    EXPECT_EQ(f.Sets().SunEarth1.Shininess, 150);
    EXPECT_EQ(f.Sets().SunLight.Ambient[0], d.SunLight.Ambient[0]);
    EXPECT_GT(f.LightsHanded, lights);
}

TEST(ConfigForm, FilterControlsActOnlyOnTheUsersInput) {
    Fixture f;
    f.Start.UserFilterVal = 100;
    TConfigForm form(f.Host());
    auto* track = form.Slider("cloud_FilterTrack");
    auto* label = form.findChild<QLabel*>("cloud_FilterLabel");
    auto* check = form.findChild<QCheckBox*>("cloud_FilterCheck");
    auto* reload = form.findChild<QPushButton*>("ReloadCloudBt");
    EXPECT_EQ(track->value(), 190); // the automatic level
    EXPECT_EQ(label->text(), QStringLiteral("95%"));
    EXPECT_FALSE(track->isEnabled());
    EXPECT_TRUE(check->isChecked());
    EXPECT_FALSE(reload->isEnabled()); // opening changed nothing

    check->click(); // automatic off: the user's level comes back
    EXPECT_FALSE(f.Model->Values().AutoFilter);
    EXPECT_TRUE(track->isEnabled());
    EXPECT_EQ(track->value(), 100);
    EXPECT_EQ(label->text(), QStringLiteral("50%"));
    EXPECT_EQ(f.Model->Values().UserFilterVal, 100);
    EXPECT_TRUE(reload->isEnabled());

    track->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(f.Model->Values().UserFilterVal, 200);
    EXPECT_EQ(label->text(), QStringLiteral("100%"));
    reload->click();
    EXPECT_EQ(f.Reloads, 1);
}

TEST(ConfigForm, ClosingTellsTheOwnerOnce) {
    Fixture f;
    auto* form = new TConfigForm(f.Host());
    QObject::connect(form, &TConfigForm::Closed, [&f] { ++f.Closes; });
    form->show();
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.Closes, 1);
}

// Larger fonts grow the dialog and its panels instead of clipping them: fonts at 192 DPI with
// Qt's scaling turned off (twice as large in window units) and the same setting scaled by Qt.
TEST(ConfigLayout, EveryTextAndButtonFitsAtHighDensity) {
    for (const QStringList& env : std::vector<QStringList>{
             {"QT_FONT_DPI=192", "QT_ENABLE_HIGHDPI_SCALING=0"}, {"QT_FONT_DPI=192"}}) {
        const test::TChildRun run = test::RunTestInChild("ConfigLayoutChild.*", env);
        EXPECT_TRUE(run.Passed) << env.join(' ').toStdString() << "\n" << run.Output.toStdString();
    }
}

TEST(ConfigLayoutChild, EveryTextAndButtonFits) {
    if (!test::InChildProcess()) GTEST_SKIP() << "runs in its own process";
    Fixture f;
    TConfigForm form(f.Host());
    form.show();
    // Each panel open in turn; the closed one hides its controls on purpose.
    for (TSchrinkPanel* open : {form.NormalSchrink, form.SunSchrink}) {
        open->SetExpanded(true);
        QCoreApplication::processEvents();
        const auto closed = [](QWidget* w) {
            for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
                if (auto* panel = qobject_cast<TSchrinkPanel*>(p)) return !panel->Expanded();
            return false;
        };
        for (const std::string& clipped : test::ClippedControls(form, closed))
            ADD_FAILURE() << open->objectName().toStdString() << ": " << clipped;
    }
}

} // namespace
} // namespace nimbora
