#pragma once
// The lighting configuration dialog: a slider for every material and light of the two lighting
// modes, the cloud filter and the shortcuts. The slider arithmetic is kept apart from the
// widgets so that it is tested on its own.
#include "core/Geometry.h"
#include "platform/Shortcuts.h"
#include "render/Lighting.h"

#include <QDialog>

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

// What the dialog works on and whom it tells.
struct TConfigHost {
    TLightingSets* Lighting = nullptr;
    bool* AutoFilter = nullptr;
    std::uint8_t* UserFilterVal = nullptr;
    std::function<int()> AutoFilterValue;  // the level of the cloud picture in hand
    std::function<void()> LightsChanged;   // hand the light colours to OpenGL now
    std::function<void()> MaterialChanged; // draw a frame with the new materials
    std::function<void()> ReloadClouds;    // reprocess the cloud picture
    std::function<void()> Closed;          // the dialog closes: save
    TShortcut Shortcut;
    std::string DesktopFolder, StartMenuFolder;
    // Tells the user why a shortcut was not made or removed, in a box over the dialog.
    std::function<void(QWidget* dialog, const std::string& text)> Refused;
};

class TConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigForm(TConfigHost host, QWidget* parent = nullptr);

    // Enables the slider groups that the lighting mode and the shown layers use.
    void UpdateLightingControls(bool dayNight, bool clouds, bool texturing);
    void SyncNormalSliders();
    void SyncSunSliders();
    void NormalDefBtClick();
    void SunDefBtClick();

    TSchrinkPanel* NormalSchrink = nullptr;
    TSchrinkPanel* SunSchrink = nullptr;
    QSlider* Slider(const char* name) const;
    QLabel* SliderLabel(const char* name) const;

private:
    void FormCreate();
    QWidget* MakeFilterGroup();
    void MakePanel(TSchrinkPanel* panel, bool sun);
    void TrackChange(const TSliderDef& slider, int p);
    void SyncSliders(bool sun);
    void cloud_FilterTrackChange();
    void cloud_FilterCheckClick();
    void ReloadCloudBtClick();
    void ShortcutClick(QCheckBox* box, const std::string& folder, bool desktop);
    void DeskShortCheckClick();
    void StartShortCheckClick();
    void FormClose();

    TConfigHost Host;
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
