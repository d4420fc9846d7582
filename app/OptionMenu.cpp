// The options menu: built once, its toggles bound to the feature model, and its handlers.
#include "app/MainForm.h"

#include "app/Texts.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "platform/Shortcuts.h"
#include "render/FrameCapture.h"
#include "render/OpenGLPanel.h"
#include "ui/about.h"
#include "ui/customway.h"
#include "ui/extensioninfo.h"
#include "waypoints/CustomWaypoints.h"
#include "widgets/ProgramIcon.h"
#include "widgets/SchrinkPanel.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace nimbora {

namespace {

QAction* AddToggle(QMenu* menu, const char* name, const char* caption) {
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    item->setCheckable(true);
    return item;
}

QAction* AddCommand(QMenu* menu, const char* name, const char* caption, const QIcon& icon) {
    QAction* item = menu->addAction(icon, QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

} // namespace

void TMainForm::CreateMenu() {
    OptionPopup = new QMenu(this);
    OptionPopup->setObjectName("OptionPopup");
    QMenu* menu = OptionPopup;

    UpdateWeatherBt = AddCommand(menu, "UpdateWeatherBt", "", QIcon());
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(0)));
    UpdateWeatherBt->setEnabled(false);
    menu->setDefaultAction(UpdateWeatherBt);
    AutoUpdateBt = AddFeature(&TFeatures::AutoUpdate, "AutoUpdateBt", "Update automatically",
                              [this] { ApplyAutoUpdate(); });

    Selectweatherserver = menu->addMenu(QStringLiteral("Select weather server"));
    Selectweatherserver->setObjectName("Selectweatherserver");
    ServerGroup = new QActionGroup(this);
    ServerGroup->setExclusive(true);
    UseRandServerBt = AddToggle(Selectweatherserver, "UseRandServerBt", "Random server");
    UseRandServerBt->setChecked(true);
    UseRandServerBt->setData(0);
    ServerGroup->addAction(UseRandServerBt);
    connect(UseRandServerBt, &QAction::triggered, this, [this] { UseServerBtClick(0); });
    for (int tag = 1; tag <= 10; ++tag) {
        const QByteArray name = "UseServer" + QByteArray::number(tag) + "Bt";
        const QByteArray caption = "Server " + QByteArray::number(tag);
        QAction* item = AddToggle(Selectweatherserver, name.constData(), caption.constData());
        item->setData(tag);
        item->setVisible(false);
        ServerGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, tag] { UseServerBtClick(tag); });
        UseServerBt[tag] = item;
    }
    menu->addSeparator();

    ShowCloudsBt = AddFeature(&TFeatures::Clouds, "ShowCloudsBt", "Show clouds");
    ShowTexturingBt =
        AddFeature(&TFeatures::WorldTexturing, "ShowTexturingBt", "Show world texturing");
    ShowCountriesBt =
        AddFeature(&TFeatures::CountryBoundaries, "ShowCountriesBt", "Show country boundaries");
    ShowNamesBt = AddFeature(&TFeatures::CountryNames, "ShowNamesBt", "Show country names");
    ColorizeBt = AddFeature(&TFeatures::ColorizeClouds, "ColorizeBt", "Colorize clouds",
                            [this] { PostMessage(this, UM_SHOWCLOUDS); });
    ChangeTexturingBt =
        AddFeature(&TFeatures::DetailedTexturing, "ChangeTexturingBt", "Detailed earth texturing",
                   [this] { ChangeTexturingBtClick(); });
    ShowDayNightBt = AddFeature(&TFeatures::DayNight, "ShowDayNightBt", "Show Day and Night",
                                [this] { ShowDayNightBtClick(); });
    CityLightsBt = AddFeature(&TFeatures::CityLights, "CityLightsBt", "City lights");
    ShowTimeZoneBt = AddFeature(&TFeatures::TimeZoneGrid, "ShowTimeZoneBt", "Show Time Zone grid");
    CustomWayBt = AddCommand(menu, "CustomWayBt", "Custom Waypoints...",
                             style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    CloudHistoryBt = AddCommand(menu, "CloudHistoryBt", "Cloud history...", QIcon());
    menu->addSeparator();
    SaveFrameBt = AddCommand(menu, "SaveFrameBt", "Save current view...",
                             style()->standardIcon(QStyle::SP_DialogSaveButton));
    FindBt = AddCommand(menu, "FindBt", "Find place...",
                        style()->standardIcon(QStyle::SP_FileDialogContentsView));
    FindBt->setShortcut(QKeySequence::Find);
    addAction(FindBt); // Ctrl+F with the menu closed
    ResetViewBt = AddCommand(menu, "ResetViewBt", "Reset viewpoint",
                             style()->standardIcon(QStyle::SP_BrowserReload));
    ConfigBt = AddCommand(menu, "ConfigBt", "Configuration...",
                          style()->standardIcon(QStyle::SP_FileDialogInfoView));
    menu->addSeparator();
    AboutBt = AddCommand(menu, "AboutBt", "About...",
                         style()->standardIcon(QStyle::SP_MessageBoxInformation));
    menu->addSeparator();

    connect(ResetViewBt, &QAction::triggered, this, [this] { ResetViewBtClick(); });
    connect(FindBt, &QAction::triggered, this, [this] { FindBtClick(); });
    connect(AboutBt, &QAction::triggered, this, [this] { AboutBtClick(); });
    connect(ConfigBt, &QAction::triggered, this, [this] { ConfigBtClick(); });
    connect(CustomWayBt, &QAction::triggered, this, [this] { CustomWayBtClick(); });
    connect(SaveFrameBt, &QAction::triggered, this, [this] { SaveFrameBtClick(); });
    connect(CloudHistoryBt, &QAction::triggered, this, [this] { History->Open(); });
    // Every change of the menu's state shows in the next frame.
    for (QAction* item : menu->actions())
        connect(item, &QAction::triggered, OpenGLPanel, &TOpenGLPanel::RequestFrame);
    ShowFeatures();
}

QAction* TMainForm::AddFeature(bool TFeatures::*feature, const char* name, const char* caption,
                               std::function<void()> changed) {
    QAction* item = AddToggle(OptionPopup, name, caption);
    FeatureItems.push_back({item, feature});
    connect(item, &QAction::triggered, this, [this, feature, changed](bool checked) {
        Settings.Features.*feature = checked;
        ShowFeatures();
        if (changed) changed();
    });
    return item;
}

void TMainForm::ShowFeatures() {
    const TFeatures& features = Settings.Features;
    for (const auto& [item, feature] : FeatureItems)
        item->setChecked(features.*feature);
    // A detail of a layer can be chosen only while the layer is shown.
    ColorizeBt->setEnabled(features.Clouds);
    ChangeTexturingBt->setEnabled(features.WorldTexturing);
    CityLightsBt->setEnabled(features.DayNight);
    // The lighting dialog offers the sliders of what is shown.
    UpdateLightingControls();
}

void TMainForm::OptionBtClick() {
    MenuPos = OptionBt->mapToGlobal(OptionBt->rect().center());
    OptionPopup->popup(MenuPos);
}

void TMainForm::OptionBtRightClick(const QPoint& globalPos) {
    MenuPos = globalPos;
    OptionPopup->popup(MenuPos);
}

void TMainForm::UseServerBtClick(int tag) {
    Settings.ServerIndex = tag;
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(tag)));
    if (tag >= 0 && tag <= 10) (tag == 0 ? UseRandServerBt : UseServerBt[tag])->setChecked(true);
    // Reopen the menu at the options button, so that the user sees the choice.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) OptionPopup->popup(OptionBt->mapToGlobal(OptionBt->rect().center()));
    });
}

void TMainForm::ChangeTexturingBtClick() {
    if (!SceneBuilt) return;
    TCurrentContext current(OpenGLPanel);
    Scene.ChangeEarthTexture(Settings.Features.DetailedTexturing);
}

void TMainForm::ShowDayNightBtClick() {
    if (Settings.Features.DayNight) {
        ComputeSunMoon();
    } else {
        StatusText = texts::TitleText;
    }
    if (SceneBuilt) ApplyLightingMode();
}

void TMainForm::ResetViewBtClick() {
    ResetViewpoint(Nav);
    // The timer draws only when it moves the view itself.
    OpenGLPanel->RequestFrame();
}

void TMainForm::AboutBtClick() {
    ShowAboutDialog(this, TAboutLinks{Service.HomeUrl, Service.HomeContact, Service.ProdUrl});
}

void TMainForm::ConfigBtClick() {
    if (ConfigDialogOpen && ConfigForm) {
        ConfigForm->show();
        ConfigForm->raise();
        ConfigForm->activateWindow();
        return;
    }
    TShortcutPlaces shortcuts;
    shortcuts.Shortcut.Name = texts::ProductName;
    shortcuts.Shortcut.Comment = texts::ShortcutDescription;
    shortcuts.Shortcut.Executable = QCoreApplication::applicationFilePath().toStdString();
    shortcuts.Shortcut.Icon = ProgramIconFile(DataFolder);
    shortcuts.DesktopFolder = DesktopFolder();
    shortcuts.StartMenuFolder = StartMenuFolder();
    auto* model = new TConfigModel(
        {Settings.Lighting, Settings.AutoFilter, Settings.UserFilterVal},
        [this] { return int(MapInfo.AutoFilterVal); }, std::move(shortcuts));
    // The window takes each change of the model into its settings at once.
    connect(model, &TConfigModel::LightsChanged, this, [this, model] {
        Settings.Lighting = model->Values().Lighting;
        if (SceneBuilt) {
            TCurrentContext current(OpenGLPanel);
            Scene.ApplyLightColoursNow(Settings.Lighting);
        }
        OpenGLPanel->RequestFrame();
    });
    connect(model, &TConfigModel::MaterialChanged, this, [this, model] {
        Settings.Lighting = model->Values().Lighting;
        OpenGLPanel->RequestFrame();
    });
    connect(model, &TConfigModel::FilterChanged, this, [this, model] {
        Settings.AutoFilter = model->Values().AutoFilter;
        Settings.UserFilterVal = model->Values().UserFilterVal;
    });
    connect(model, &TConfigModel::CloudReloadRequested, this,
            [this] { PostMessage(this, UM_SHOWCLOUDS); });
    ConfigDialogOpen = true;
    ConfigForm = new TConfigForm(model, this);
    connect(ConfigForm, &TConfigForm::Closed, this, [this] {
        ConfigDialogOpen = false;
        WriteSettings(false, true);
    });
    UpdateLightingControls();
    (Settings.Features.DayNight ? ConfigForm->SunSchrink : ConfigForm->NormalSchrink)
        ->SetExpanded(true);
    ConfigForm->show();
}

void TMainForm::UpdateLightingControls() {
    if (!ConfigDialogOpen || !ConfigForm) return;
    const TFeatures& features = Settings.Features;
    ConfigForm->Model()->SetShownLayers(features.DayNight, features.Clouds,
                                        features.WorldTexturing);
}

std::string TMainForm::GetWaypointFile() const {
    return DataFolder + texts::WaypointFileName;
}

void TMainForm::CustomWayBtClick() {
    // The list is complete only once the start-up has built it.
    if (!StartedUp) return;
    TCustomWaypoints waypoints(CustomWaypointsOf(DrawPoints), Settings.ShowCustomWay,
                               GetWaypointFile(), WaypointFileComplete);
    connect(&waypoints, &TCustomWaypoints::PointsChanged, this, [this, &waypoints] {
        ReplaceCustomWaypoints(DrawPoints, waypoints.Points());
        OpenGLPanel->RequestFrame();
    });
    connect(&waypoints, &TCustomWaypoints::ShowCustomWayChanged, this, [this](bool show) {
        Settings.ShowCustomWay = show;
        OpenGLPanel->RequestFrame();
    });
    connect(&waypoints, &TCustomWaypoints::ShowRequested, this, [this](double lat, double lon) {
        LookDownOn(Nav.Proj, lat, lon);
        OpenGLPanel->RequestFrame();
    });
    ShowCustomWaypointsDialog(this, waypoints);
    // The switch is stored when the dialog closes.
    try {
        WriteShowCustomWay(IniFile, Settings.ShowCustomWay);
    } catch (const TSettingsWriteError& error) {
        ShowError(QString::fromStdString(error.what()));
    }
}

void TMainForm::SaveFrameBtClick() {
    TSaveViewHooks hooks;
    hooks.ReadFrame = [this](int& w, int& h, std::vector<std::uint8_t>& rgb) {
        return StartedUp && ReadPanelFrame(*OpenGLPanel, w, h, rgb);
    };
    hooks.OptionPanel = OptionPanel;
    hooks.TempFolder = TempFolder;
    hooks.MapTime =
        CloudsAvailable && MapInfo.LastMap.Exists ? DateTimeZToLocal(MapInfo.LastMap) : 0;
    SaveCurrentView(this, SaveFrameDialog, hooks);
}

void TMainForm::ButtonAdvClick(const std::string& url) {
    if (!url.empty()) OpenLink(url);
}

} // namespace nimbora
