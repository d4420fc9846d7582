#pragma once
// The lighting configuration dialog: a slider for every material and light of the two lighting
// modes, the cloud filter and the shortcuts. The slider arithmetic is kept apart from the
// widgets so that it is tested on its own, and the dialog edits a small model of its own.
#include "core/Geometry.h"
#include "platform/Shortcuts.h"
#include "render/Lighting.h"

#include <QDialog>
#include <QObject>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace nimbora {

class TSchrinkPanel;

enum TSliderKind {
    SkColour,  // a colour := full scale x p / 100
    SkOpacity, // the diffuse alpha := p / 100
    SkLight,   // every colour of a light := its default x p / 100
};
enum TSliderGroup { GrClouds, GrEarth1, GrEarth2, GrLights, GrAtmos };

struct TSliderDef {
    const char* Name; // object name; its handler is Name + "Change"
    const char* Hint;
    bool Sun; // in "Sun lighting", else in "Normal RGB lighting"
    TSliderGroup Group;
    TSliderKind Kind;
    float* (*Colour)(TLightingSets&);    // colour or opacity sliders
    TLightSet& (*Light)(TLightingSets&); // light sliders
    TglColor FullScale;                  // colour sliders
};

// Both panels' sliders, top to bottom.
std::span<const TSliderDef> ConfigSliders();
const TSliderDef* FindSlider(const char* name);

// What moving the slider to p does to the settings.
void ApplySliderPosition(const TSliderDef& slider, int p, TLightingSets& sets);
// Where the slider stands for the current settings: rounded to nearest, halves to even, from
// lengths taken in single precision; limited to 0..100.
int SliderPosition(const TSliderDef& slider, const TLightingSets& sets);

// Which slider groups can be used in a lighting mode.
bool SliderGroupEnabled(bool sunPanel, TSliderGroup group, bool dayNight, bool clouds,
                        bool texturing);

// Why a shortcut box does not show what the user asked, for a message; empty when it does.
std::string ShortcutRefusal(TShortcutResult result, const std::string& folder,
                            const std::string& fileName, bool desktop);

// "42%", and for the cloud filter half its value.
std::string PercentText(int p);
std::string FilterText(int value);

// What the lighting dialog edits: the lighting sets and the cloud filter.
struct TConfigValues {
    TLightingSets Lighting;
    bool AutoFilter = true;
    std::uint8_t UserFilterVal = 0;
};

// The program's shortcut and the folders it may be put in.
struct TShortcutPlaces {
    TShortcut Shortcut;
    std::string DesktopFolder, StartMenuFolder;
};

// The dialog's model. The window fills it from its settings and binds to the signals; the
// dialog only edits it and asks, so it never holds the window's members.
class TConfigModel : public QObject {
    Q_OBJECT
public:
    // autoFilterLevel: the filter level of the cloud picture in hand, asked for when shown.
    TConfigModel(TConfigValues values, std::function<int()> autoFilterLevel,
                 TShortcutPlaces shortcuts = {}, QObject* parent = nullptr);

    const TConfigValues& Values() const { return Current; }
    int AutoFilterLevel() const { return FilterLevel ? FilterLevel() : 0; }

    // A slider stands at p: its colours change, and LightsChanged or MaterialChanged tells.
    void MoveSlider(const TSliderDef& slider, int p);
    // One panel's sets back to the defaults; LightsChanged tells.
    void ResetLighting(bool sun);
    void SetAutoFilter(bool automatic);
    void SetUserFilterVal(std::uint8_t value);
    // Asks for the cloud picture to be processed again with the filter.
    void RequestCloudReload() { emit CloudReloadRequested(); }

    // The lighting mode and the layers shown, which decide the slider groups that apply.
    void SetShownLayers(bool dayNight, bool clouds, bool texturing);
    bool GroupEnabled(bool sunPanel, TSliderGroup group) const;

    // Whether the program's own shortcut is in the desktop or the menu folder; installing or
    // removing it there, with the reason when the folder does not end as asked.
    bool HasShortcut(bool desktop) const;
    std::string SetShortcut(bool desktop, bool install);

signals:
    void LightsChanged();
    void MaterialChanged();
    void FilterChanged();
    void ShownLayersChanged();
    void CloudReloadRequested();

private:
    TConfigValues Current;
    std::function<int()> FilterLevel;
    TShortcutPlaces Shortcuts;
    bool DayNight = false, Clouds = true, Texturing = true;
};

class TConfigForm : public QDialog {
    Q_OBJECT
public:
    // The dialog takes the model as its own.
    explicit TConfigForm(TConfigModel* model, QWidget* parent = nullptr);

    TConfigModel* Model() const { return ConfigModel; }
    void SyncNormalSliders();
    void SyncSunSliders();
    void NormalDefBtClick();
    void SunDefBtClick();

    TSchrinkPanel* NormalSchrink = nullptr;
    TSchrinkPanel* SunSchrink = nullptr;
    QSlider* Slider(const char* name) const;
    QLabel* SliderLabel(const char* name) const;

signals:
    // The dialog closes, once.
    void Closed();

private:
    // Enables the slider groups that the lighting mode and the shown layers use.
    void UpdateLightingControls();
    void FormCreate();
    QWidget* MakeFilterGroup();
    void MakePanel(TSchrinkPanel* panel, bool sun);
    void TrackChange(const TSliderDef& slider, int p);
    void SyncSliders(bool sun);
    void cloud_FilterTrackChange();
    void cloud_FilterCheckClick();
    void ReloadCloudBtClick();
    void ShortcutClick(QCheckBox* box, bool desktop);
    void DeskShortCheckClick();
    void StartShortCheckClick();
    void FormClose();

    TConfigModel* ConfigModel;
    bool ClosedOnce = false;
    bool Programmatic = false; // the filter controls are being set by the dialog itself
    QSlider* cloud_FilterTrack = nullptr;
    QLabel* cloud_FilterLabel = nullptr;
    QCheckBox* cloud_FilterCheck = nullptr;
    QPushButton* ReloadCloudBt = nullptr;
    QCheckBox* DeskShortCheck = nullptr;
    QCheckBox* StartShortCheck = nullptr;
};

} // namespace nimbora
