#include "ui/configuration.h"

#include "widgets/SchrinkPanel.h"
#include "widgets/uVistaFuncs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace nimbora {

namespace {

constexpr int SliderMax = 100;
constexpr int FilterMax = 200;
constexpr int PanelWidth = 230;
constexpr int NormalHeight = 415;
constexpr int SunHeight = 421;

// The accessors of the table: plain functions, so the table stays a constant.
#define NIMBORA_COLOUR(set, colour) [](TLightingSets& s) -> float* { return s.set.colour; }
#define NIMBORA_LIGHT(set) [](TLightingSets& s) -> TLightSet& { return s.set; }

const TSliderDef Sliders[] = {
    {"cloud_diffuse3Track",
     "Opacity",
     false,
     GrClouds,
     SkOpacity,
     NIMBORA_COLOUR(RgbCloud, Diffuse),
     nullptr,
     {}},
    {"cloud_ambientTrack",
     "Ambient",
     false,
     GrClouds,
     SkColour,
     NIMBORA_COLOUR(RgbCloud, Ambient),
     nullptr,
     {0.9f, 0.9f, 1.0f}},
    {"cloud_diffuseTrack",
     "Diffuse",
     false,
     GrClouds,
     SkColour,
     NIMBORA_COLOUR(RgbCloud, Diffuse),
     nullptr,
     {1, 1, 1}},
    {"cloud_specularTrack",
     "Specular",
     false,
     GrClouds,
     SkColour,
     NIMBORA_COLOUR(RgbCloud, Specular),
     nullptr,
     {1, 1, 1}},
    {"earth1_ambientTrack",
     "Ambient",
     false,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(RgbEarth1, Ambient),
     nullptr,
     {0.9f, 0.9f, 1.0f}},
    {"earth1_diffuseTrack",
     "Diffuse",
     false,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(RgbEarth1, Diffuse),
     nullptr,
     {0.9f, 1.0f, 1.0f}},
    {"earth1_specularTrack",
     "Specular",
     false,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(RgbEarth1, Specular),
     nullptr,
     {1, 1, 1}},
    {"earth2_ambientTrack",
     "Ambient",
     false,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(RgbEarth2, Ambient),
     nullptr,
     {0.45f, 0.45f, 1.0f}},
    {"earth2_diffuseTrack",
     "Diffuse",
     false,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(RgbEarth2, Diffuse),
     nullptr,
     {0.4f, 0.4f, 1.0f}},
    {"earth2_specularTrack",
     "Specular",
     false,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(RgbEarth2, Specular),
     nullptr,
     {1, 1, 1}},
    {"RedTrack", "Red", false, GrLights, SkLight, nullptr, NIMBORA_LIGHT(RgbRed), {}},
    {"GreenTrack", "Green", false, GrLights, SkLight, nullptr, NIMBORA_LIGHT(RgbGreen), {}},
    {"BlueTrack", "Blue", false, GrLights, SkLight, nullptr, NIMBORA_LIGHT(RgbBlue), {}},

    {"sun_cloud_diffuse3Track",
     "Opacity",
     true,
     GrClouds,
     SkOpacity,
     NIMBORA_COLOUR(SunCloud, Diffuse),
     nullptr,
     {}},
    {"sun_cloud_ambientTrack",
     "Ambient",
     true,
     GrClouds,
     SkColour,
     NIMBORA_COLOUR(SunCloud, Ambient),
     nullptr,
     {0.8f, 0.8f, 1.0f}},
    {"sun_cloud_diffuseTrack",
     "Diffuse",
     true,
     GrClouds,
     SkColour,
     NIMBORA_COLOUR(SunCloud, Diffuse),
     nullptr,
     {0.8f, 0.8f, 1.0f}},
    {"sun_earth1_ambientTrack",
     "Ambient",
     true,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(SunEarth1, Ambient),
     nullptr,
     {0.65f, 0.65f, 1.0f}},
    {"sun_earth1_diffuseTrack",
     "Diffuse",
     true,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(SunEarth1, Diffuse),
     nullptr,
     {1, 1, 1}},
    {"sun_earth1_specularTrack",
     "Specular",
     true,
     GrEarth1,
     SkColour,
     NIMBORA_COLOUR(SunEarth1, Specular),
     nullptr,
     {1, 1, 0.9f}},
    {"sun_earth2_ambientTrack",
     "Ambient",
     true,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(SunEarth2, Ambient),
     nullptr,
     {0.5f, 0.5f, 1.0f}},
    {"sun_earth2_diffuseTrack",
     "Diffuse",
     true,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(SunEarth2, Diffuse),
     nullptr,
     {0.7f, 0.7f, 1.0f}},
    {"sun_earth2_specularTrack",
     "Specular",
     true,
     GrEarth2,
     SkColour,
     NIMBORA_COLOUR(SunEarth2, Specular),
     nullptr,
     {1, 1, 0.8f}},
    {"SunTrack", "", true, GrLights, SkLight, nullptr, NIMBORA_LIGHT(SunLight), {}},
    {"sun_atmos_ambientTrack",
     "Ambient",
     true,
     GrAtmos,
     SkColour,
     NIMBORA_COLOUR(SunAtmos, Ambient),
     nullptr,
     {0.5f, 0.5f, 1.0f}},
    {"sun_atmos_diffuseTrack",
     "Diffuse",
     true,
     GrAtmos,
     SkColour,
     NIMBORA_COLOUR(SunAtmos, Diffuse),
     nullptr,
     {0.85f, 0.85f, 1.0f}},
};

#undef NIMBORA_COLOUR
#undef NIMBORA_LIGHT

const char* GroupCaption(TSliderGroup group, bool sun) {
    switch (group) {
    case GrClouds:
        return " Clouds ";
    case GrEarth1:
        return " Textured earth ";
    case GrEarth2:
        return " Non textured earth ";
    case GrLights:
        return sun ? " Sun Light " : " RGB Lights ";
    case GrAtmos:
        return " Atmosphere ";
    }
    return "";
}

float Length(float r, float g, float b) {
    return std::sqrt(r * r + g * g + b * b);
}

int RoundedPosition(double value) {
    if (!(value >= 0)) return 0; // also NaN
    return static_cast<int>(std::nearbyint(std::min(value, double(SliderMax))));
}

const TLightingSets& Defaults() {
    static const TLightingSets defaults = DefaultLighting();
    return defaults;
}

void Scale(float (&out)[4], const float (&from)[4], int p) {
    for (int i = 0; i < 3; ++i)
        out[i] = from[i] * p / SliderMax;
}

} // namespace

std::span<const TSliderDef> ConfigSliders() {
    return Sliders;
}

const TSliderDef* FindSlider(const char* name) {
    for (const TSliderDef& s : Sliders)
        if (std::string_view(s.Name) == name) return &s;
    return nullptr;
}

void ApplySliderPosition(const TSliderDef& slider, int p, TLightingSets& sets) {
    switch (slider.Kind) {
    case SkOpacity:
        slider.Colour(sets)[3] = static_cast<float>(p) / SliderMax;
        break;
    case SkColour: {
        float* c = slider.Colour(sets);
        const TglColor& f = slider.FullScale;
        c[0] = f.R * p / SliderMax;
        c[1] = f.G * p / SliderMax;
        c[2] = f.B * p / SliderMax;
        break;
    }
    case SkLight: {
        TLightSet& light = slider.Light(sets);
        const TLightSet& def = slider.Light(const_cast<TLightingSets&>(Defaults()));
        Scale(light.Diffuse, def.Diffuse, p);
        Scale(light.Specular, def.Specular, p);
        if (slider.Sun) Scale(light.Ambient, def.Ambient, p); // the sun's ambient too
        break;
    }
    }
}

int SliderPosition(const TSliderDef& slider, const TLightingSets& constSets) {
    auto& sets = const_cast<TLightingSets&>(constSets); // the accessors only read here
    switch (slider.Kind) {
    case SkOpacity:
        return RoundedPosition(double(SliderMax) * slider.Colour(sets)[3]);
    case SkColour: {
        const float* c = slider.Colour(sets);
        const TglColor& f = slider.FullScale;
        return RoundedPosition(double(SliderMax) * Length(c[0], c[1], c[2]) /
                               Length(f.R, f.G, f.B));
    }
    case SkLight: {
        const float* c = slider.Light(sets).Diffuse;
        const float* d = slider.Light(const_cast<TLightingSets&>(Defaults())).Diffuse;
        return RoundedPosition(double(SliderMax) * Length(c[0], c[1], c[2]) /
                               Length(d[0], d[1], d[2]));
    }
    }
    return 0;
}

bool SliderGroupEnabled(bool sunPanel, TSliderGroup group, bool dayNight, bool clouds,
                        bool texturing) {
    if (sunPanel != dayNight) return false;
    switch (group) {
    case GrClouds:
        return clouds;
    case GrEarth1:
        return texturing;
    case GrEarth2:
        return !texturing;
    case GrLights:
    case GrAtmos:
        return true;
    }
    return false;
}

std::string PercentText(int p) {
    return std::to_string(p) + "%";
}

std::string FilterText(int value) {
    return PercentText(value / 2);
}

// ---------------------------------------------------------------------------------------------

TConfigModel::TConfigModel(TConfigValues values, std::function<int()> autoFilterLevel,
                           TShortcutPlaces shortcuts, QObject* parent)
    : QObject(parent), Current(std::move(values)), FilterLevel(std::move(autoFilterLevel)),
      Shortcuts(std::move(shortcuts)) {}

void TConfigModel::MoveSlider(const TSliderDef& slider, int p) {
    ApplySliderPosition(slider, p, Current.Lighting);
    if (slider.Kind == SkLight)
        emit LightsChanged();
    else
        emit MaterialChanged();
}

void TConfigModel::ResetLighting(bool sun) {
    TLightingSets& s = Current.Lighting;
    const TLightingSets& d = Defaults();
    if (sun) {
        s.SunCloud = d.SunCloud;
        s.SunEarth1 = d.SunEarth1;
        s.SunEarth2 = d.SunEarth2;
        s.SunAtmos = d.SunAtmos;
        s.SunLight = d.SunLight;
    } else {
        s.RgbCloud = d.RgbCloud;
        s.RgbEarth1 = d.RgbEarth1;
        s.RgbEarth2 = d.RgbEarth2;
        s.RgbRed = d.RgbRed;
        s.RgbGreen = d.RgbGreen;
        s.RgbBlue = d.RgbBlue;
    }
    emit LightsChanged();
}

void TConfigModel::SetAutoFilter(bool automatic) {
    Current.AutoFilter = automatic;
    emit FilterChanged();
}

void TConfigModel::SetUserFilterVal(std::uint8_t value) {
    Current.UserFilterVal = value;
    emit FilterChanged();
}

void TConfigModel::SetShownLayers(bool dayNight, bool clouds, bool texturing) {
    DayNight = dayNight;
    Clouds = clouds;
    Texturing = texturing;
    emit ShownLayersChanged();
}

bool TConfigModel::GroupEnabled(bool sunPanel, TSliderGroup group) const {
    return SliderGroupEnabled(sunPanel, group, DayNight, Clouds, Texturing);
}

bool TConfigModel::HasShortcut(bool desktop) const {
    return ShortcutExists(desktop ? Shortcuts.DesktopFolder : Shortcuts.StartMenuFolder,
                          Shortcuts.Shortcut);
}

std::string TConfigModel::SetShortcut(bool desktop, bool install) {
    const std::string& folder = desktop ? Shortcuts.DesktopFolder : Shortcuts.StartMenuFolder;
    // A fresh account has no menu folder yet; the desktop folder is the user's to make.
    if (install && !desktop) MakeUserFolder(folder);
    const TShortcutResult result = UpdateShortcut(folder, Shortcuts.Shortcut, install);
    return ShortcutRefusal(result, folder, Shortcuts.Shortcut.FileName, desktop);
}

// ---------------------------------------------------------------------------------------------

TConfigForm::TConfigForm(TConfigModel* model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ConfigModel(model) {
    ConfigModel->setParent(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Configuration"));
    setObjectName(QStringLiteral("ConfigForm"));

    auto* layout = new QVBoxLayout(this);
    // Tight enough that everything fits the 240 x 580 window at the usual density.
    layout->setContentsMargins(5, 3, 5, 3);
    layout->setSpacing(0);
    layout->addWidget(MakeFilterGroup());

    // The two lighting panels as an accordion; the holder is as high as the taller stack.
    // Larger fonts (a 192-DPI setting) make the panels and the holder grow, never clip.
    auto* holder = new QWidget(this);
    holder->setObjectName(QStringLiteral("LightingPanel"));
    NormalSchrink = new TSchrinkPanel(holder);
    SunSchrink = new TSchrinkPanel(holder);
    NormalSchrink->setObjectName(QStringLiteral("NormalSchrink"));
    SunSchrink->setObjectName(QStringLiteral("SunSchrink"));
    MakePanel(NormalSchrink, false);
    MakePanel(SunSchrink, true);
    int width = PanelWidth, tallest = 0;
    for (auto [panel, caption, height, order] :
         {std::tuple{NormalSchrink, "Normal RGB lighting", NormalHeight, 0},
          std::tuple{SunSchrink, "Sun lighting", SunHeight, 1}}) {
        const QSize body = panel->Body()->layout()->minimumSize();
        const int bevels = panel->height() - panel->Body()->height() - SchrinkHeaderHeight;
        width = std::max(width, body.width() + bevels);
        height = std::max(height, body.height() + SchrinkHeaderHeight + bevels);
        tallest = std::max(tallest, height);
        panel->setGeometry(0, 0, width, height);
        panel->SetButtonCaption(QString::fromLatin1(caption));
        panel->SetExpandedHeight(height);
        panel->SetOpenbyOne(true);
        panel->SetGroupOrder(order);
    }
    NormalSchrink->resize(width, NormalSchrink->height());
    SunSchrink->SetExpanded(false);
    SunSchrink->resize(width, SunSchrink->height());
    holder->setFixedSize(width, tallest + SchrinkHeaderHeight + 2);
    layout->addWidget(holder, 0, Qt::AlignHCenter);

    DeskShortCheck = new QCheckBox(QStringLiteral("Install \"Desktop\" shortcut"), this);
    DeskShortCheck->setObjectName(QStringLiteral("DeskShortCheck"));
    StartShortCheck = new QCheckBox(QStringLiteral("Install \"Start menu\" shortcut"), this);
    StartShortCheck->setObjectName(QStringLiteral("StartShortCheck"));
    connect(DeskShortCheck, &QCheckBox::clicked, this, [this] { DeskShortCheckClick(); });
    connect(StartShortCheck, &QCheckBox::clicked, this, [this] { StartShortCheckClick(); });
    layout->addWidget(DeskShortCheck);
    layout->addWidget(StartShortCheck);
    layout->addStretch(1);

    setFixedSize(layout->minimumSize().expandedTo(QSize(240, 580)));
    move(5, 5);
    // Closing by the title bar, by Escape or by code all end here.
    connect(this, &QDialog::finished, this, [this] { FormClose(); });
    connect(ConfigModel, &TConfigModel::ShownLayersChanged, this,
            [this] { UpdateLightingControls(); });
    FormCreate();
}

QWidget* TConfigForm::MakeFilterGroup() {
    auto* group = new QGroupBox(QStringLiteral(" General cloud filtering "), this);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setSpacing(2);
    cloud_FilterTrack = new QSlider(Qt::Horizontal, group);
    cloud_FilterTrack->setObjectName(QStringLiteral("cloud_FilterTrack"));
    cloud_FilterTrack->setRange(0, FilterMax);
    cloud_FilterTrack->setTickInterval(10);
    cloud_FilterTrack->setPageStep(10);
    cloud_FilterTrack->setTickPosition(QSlider::TicksBelow);
    cloud_FilterLabel = new QLabel(group);
    cloud_FilterLabel->setObjectName(QStringLiteral("cloud_FilterLabel"));
    cloud_FilterLabel->setMinimumWidth(cloud_FilterLabel->fontMetrics().horizontalAdvance("100%"));
    cloud_FilterCheck = new QCheckBox(QStringLiteral("Automatic filter adjusting"), group);
    cloud_FilterCheck->setObjectName(QStringLiteral("cloud_FilterCheck"));
    ReloadCloudBt = new QPushButton(QStringLiteral("Update cloud map"), group);
    ReloadCloudBt->setObjectName(QStringLiteral("ReloadCloudBt"));
    ReloadCloudBt->setEnabled(false);
    ReloadCloudBt->setAutoDefault(false);
    grid->addWidget(cloud_FilterTrack, 0, 0);
    grid->addWidget(cloud_FilterLabel, 0, 1);
    grid->addWidget(cloud_FilterCheck, 1, 0, 1, 2);
    grid->addWidget(ReloadCloudBt, 2, 0, 1, 2);
    connect(cloud_FilterTrack, &QSlider::valueChanged, this, [this] { cloud_FilterTrackChange(); });
    connect(cloud_FilterCheck, &QCheckBox::clicked, this, [this] { cloud_FilterCheckClick(); });
    connect(ReloadCloudBt, &QPushButton::clicked, this, [this] { ReloadCloudBtClick(); });
    return group;
}

void TConfigForm::MakePanel(TSchrinkPanel* panel, bool sun) {
    auto* body = new QVBoxLayout(panel->Body());
    body->setContentsMargins(3, 2, 3, 3);
    body->setSpacing(1);
    QGroupBox* group = nullptr;
    QGridLayout* grid = nullptr;
    int current = -1;
    for (const TSliderDef& def : Sliders) {
        if (def.Sun != sun) continue;
        if (def.Group != current) {
            current = def.Group;
            group = new QGroupBox(QString::fromLatin1(GroupCaption(def.Group, sun)), panel->Body());
            grid = new QGridLayout(group);
            grid->setContentsMargins(4, 0, 4, 0);
            grid->setVerticalSpacing(0);
            body->addWidget(group);
        }
        auto* slider = new QSlider(Qt::Horizontal, group);
        slider->setObjectName(QString::fromLatin1(def.Name));
        slider->setRange(0, SliderMax);
        slider->setTickInterval(5);
        slider->setPageStep(5);
        slider->setTickPosition(QSlider::TicksBelow);
        if (*def.Hint) slider->setToolTip(QString::fromLatin1(def.Hint));
        auto* label = new QLabel(QStringLiteral("0%"), group);
        label->setObjectName(QString::fromLatin1(def.Name) + QStringLiteral("Label"));
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("100%"));
        const int row = grid->rowCount();
        grid->addWidget(slider, row, 0);
        grid->addWidget(label, row, 1);
        connect(slider, &QSlider::valueChanged, this, [this, &def](int p) { TrackChange(def, p); });
    }
    auto* reset = new QPushButton(QStringLiteral("Reset default values"), panel->Body());
    reset->setObjectName(QString::fromLatin1(sun ? "SunDefBt" : "NormalDefBt"));
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this,
            [this, sun] { sun ? SunDefBtClick() : NormalDefBtClick(); });
    body->addWidget(reset);
    body->addStretch(1);
}

QSlider* TConfigForm::Slider(const char* name) const {
    return findChild<QSlider*>(QString::fromLatin1(name));
}

QLabel* TConfigForm::SliderLabel(const char* name) const {
    return findChild<QLabel*>(QString::fromLatin1(name) + QStringLiteral("Label"));
}

void TConfigForm::FormCreate() {
    Programmatic = true;
    const TConfigValues& values = ConfigModel->Values();
    const bool automatic = values.AutoFilter;
    const int position = automatic ? ConfigModel->AutoFilterLevel() : values.UserFilterVal;
    cloud_FilterTrack->setValue(position);
    cloud_FilterLabel->setText(QString::fromStdString(FilterText(cloud_FilterTrack->value())));
    cloud_FilterTrack->setEnabled(!automatic);
    cloud_FilterCheck->setChecked(automatic);
    Programmatic = false;

    SyncNormalSliders();
    SyncSunSliders();

    // The boxes only show what is there: opening the dialog writes nothing.
    DeskShortCheck->setChecked(ConfigModel->HasShortcut(true));
    StartShortCheck->setChecked(ConfigModel->HasShortcut(false));
}

void TConfigForm::TrackChange(const TSliderDef& def, int p) {
    if (QLabel* label = SliderLabel(def.Name))
        label->setText(QString::fromStdString(PercentText(p)));
    ConfigModel->MoveSlider(def, p);
}

void TConfigForm::SyncSliders(bool sun) {
    // A slider that moves runs its handler, which puts the colour on the slider's line.
    for (const TSliderDef& def : Sliders) {
        if (def.Sun != sun) continue;
        if (QSlider* slider = Slider(def.Name)) {
            slider->setValue(SliderPosition(def, ConfigModel->Values().Lighting));
            if (QLabel* label = SliderLabel(def.Name))
                label->setText(QString::fromStdString(PercentText(slider->value())));
        }
    }
}

void TConfigForm::SyncNormalSliders() {
    SyncSliders(false);
}

void TConfigForm::SyncSunSliders() {
    SyncSliders(true);
}

void TConfigForm::NormalDefBtClick() {
    ConfigModel->ResetLighting(false);
    SyncNormalSliders();
}

void TConfigForm::SunDefBtClick() {
    ConfigModel->ResetLighting(true);
    SyncSunSliders();
}

void TConfigForm::UpdateLightingControls() {
    for (const TSliderDef& def : Sliders)
        if (QSlider* slider = Slider(def.Name))
            slider->setEnabled(ConfigModel->GroupEnabled(def.Sun, def.Group));
}

void TConfigForm::cloud_FilterTrackChange() {
    if (Programmatic) return; // only the user's own moves count
    if (!ConfigModel->Values().AutoFilter)
        ConfigModel->SetUserFilterVal(static_cast<std::uint8_t>(cloud_FilterTrack->value()));
    cloud_FilterLabel->setText(QString::fromStdString(FilterText(cloud_FilterTrack->value())));
    ReloadCloudBt->setEnabled(true);
}

void TConfigForm::cloud_FilterCheckClick() {
    const bool automatic = cloud_FilterCheck->isChecked();
    ConfigModel->SetAutoFilter(automatic);
    cloud_FilterTrack->setEnabled(!automatic);
    Programmatic = true;
    cloud_FilterTrack->setValue(automatic ? ConfigModel->AutoFilterLevel()
                                          : ConfigModel->Values().UserFilterVal);
    Programmatic = false;
    cloud_FilterLabel->setText(QString::fromStdString(FilterText(cloud_FilterTrack->value())));
    ReloadCloudBt->setEnabled(true);
}

void TConfigForm::ReloadCloudBtClick() {
    ConfigModel->RequestCloudReload();
}

std::string ShortcutRefusal(TShortcutResult result, const std::string& folder,
                            const std::string& fileName, bool desktop) {
    const std::string file = folder + fileName;
    // Folders are named as users write them, without the closing slash.
    const std::string shown =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    switch (result) {
    case TShortcutResult::Done:
        return {};
    case TShortcutResult::NoFolder:
        if (!desktop) return "The menu folder " + folder + " could not be made.";
        return folder.empty()
                   ? "You have no desktop folder, so there is no desktop shortcut."
                   : "There is no desktop folder " + folder + ", so there is no desktop shortcut.";
    case TShortcutResult::Foreign:
        return file + " was not made by this program and is left as it is.";
    case TShortcutResult::Failed:
        break;
    }
    return "The shortcut " + file + " could not be changed.";
}

void TConfigForm::ShortcutClick(QCheckBox* box, bool desktop) {
    const std::string why = ConfigModel->SetShortcut(desktop, box->isChecked());
    // The box tells what is there, and the user why it is not what was asked.
    box->setChecked(ConfigModel->HasShortcut(desktop));
    if (!why.empty())
        TaskMessageBox(this, QStringLiteral("Shortcut"), QString::fromStdString(why), MbOk,
                       IconWarning);
}

void TConfigForm::DeskShortCheckClick() {
    ShortcutClick(DeskShortCheck, true);
}

void TConfigForm::StartShortCheckClick() {
    ShortcutClick(StartShortCheck, false);
}

void TConfigForm::FormClose() {
    if (ClosedOnce) return;
    ClosedOnce = true;
    emit Closed();
}

} // namespace nimbora
