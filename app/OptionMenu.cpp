// The options menu: built once, its toggles bound to the feature model, and its handlers.
#include "app/MainForm.h"

#include "app/Texts.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "platform/Shortcuts.h"
#include "render/FrameCapture.h"
#include "render/OpenGLPanel.h"
#include "ui/ProgramIcon.h"
#include "ui/SchrinkPanel.h"
#include "ui/about.h"
#include "ui/extensioninfo.h"
#include "ui/uVistaFuncs.h"
#include "waypoints/customway.h"

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
    ShowTimeZoneBt = AddFeature(&TFeatures::TimeZoneGrid, "ShowTimeZoneBt", "Show Time Zone grid");
    CustomWayBt = AddCommand(menu, "CustomWayBt", "Custom Waypoints...",
                             style()->standardIcon(QStyle::SP_FileDialogDetailedView));
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
    TConfigHost host;
    host.Lighting = &Settings.Lighting;
    host.AutoFilter = &Settings.AutoFilter;
    host.UserFilterVal = &Settings.UserFilterVal;
    host.AutoFilterValue = [this] { return int(MapInfo.AutoFilterVal); };
    host.LightsChanged = [this] {
        if (SceneBuilt) {
            TCurrentContext current(OpenGLPanel);
            Scene.ApplyLightColoursNow(Settings.Lighting);
        }
        OpenGLPanel->RequestFrame();
    };
    host.MaterialChanged = [this] { OpenGLPanel->RequestFrame(); };
    host.ReloadClouds = [this] { PostMessage(this, UM_SHOWCLOUDS); };
    host.Closed = [this] {
        ConfigDialogOpen = false;
        WriteSettings(false, true);
    };
    host.Shortcut.Name = texts::ProductName;
    host.Shortcut.Comment = texts::ShortcutDescription;
    host.Shortcut.Executable = QCoreApplication::applicationFilePath().toStdString();
    host.Shortcut.Icon = ProgramIconFile(DataFolder);
    host.DesktopFolder = DesktopFolder();
    host.StartMenuFolder = StartMenuFolder();
    host.Refused = [](QWidget* dialog, const std::string& text) {
        TaskMessageBox(dialog, QStringLiteral("Shortcut"), QString::fromStdString(text), MbOk,
                       IconWarning);
    };
    ConfigDialogOpen = true;
    ConfigForm = new TConfigForm(std::move(host), this);
    UpdateLightingControls();
    (Settings.Features.DayNight ? ConfigForm->SunSchrink : ConfigForm->NormalSchrink)
        ->SetExpanded(true);
    ConfigForm->show();
}

void TMainForm::UpdateLightingControls() {
    if (!ConfigDialogOpen || !ConfigForm) return;
    const TFeatures& features = Settings.Features;
    ConfigForm->UpdateLightingControls(features.DayNight, features.Clouds, features.WorldTexturing);
}

std::string TMainForm::GetWaypointFile() const {
    return DataFolder + texts::WaypointFileName;
}

void TMainForm::CustomWayBtClick() {
    // The list is complete only once the start-up has built it.
    if (!StartedUp) return;
    TCustWayContext context;
    context.DrawPoints = &DrawPoints;
    context.ShowCustomWay = &Settings.ShowCustomWay;
    context.WaypointFile = GetWaypointFile();
    context.FileWritable = WaypointFileComplete;
    context.OnShow = [this](double lat, double lon) {
        LookDownOn(Nav.Proj, lat, lon);
        OpenGLPanel->RequestFrame();
    };
    context.OnChanged = [this] { OpenGLPanel->RequestFrame(); };
    context.OnClose = [this](bool show) {
        try {
            WriteShowCustomWay(IniFile, show);
        } catch (const TSettingsWriteError& error) {
            ShowError(QString::fromStdString(error.what()));
        }
    };
    ShowCustomWaypointsDialog(this, std::move(context));
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
