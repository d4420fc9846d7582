#pragma once
// The main window: owns the program state and conducts start-up, the message protocol, the
// options menu and shutdown. Each handler is short and calls the subsystem that does the work.
#include "app/HistoryView.h"
#include "app/Settings.h"
#include "render/Points.h"
#include "render/Scene.h"
#include "render/navigation.h"
#include "render/sunmoondata.h"
#include "ui/SaveView.h"
#include "ui/configuration.h"
#include "weather/AutoUpdate.h"
#include "weather/CloudJob.h"
#include "weather/CloudUpdate.h"
#include "weather/MapInfo.h"

#include <QIcon>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QRandomGenerator>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QFrame;
class QMenu;
class QTimer;
class QToolButton;

namespace nimbora {

class TFindBox;
class TOpenGLPanel;

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Members are named as the window's parts and state are known (MapInfo, DrawPoints, the
    // items ending in Bt ...), without prefix or suffix; a read accessor is Get + the member's
    // name, and a yes/no state reads as a question.

    std::string GetWaypointFile() const;

    // Tests and benchmarks read and set what they need through this one way in
    // (app/TestSeam.h).
    friend struct TMainFormTestSeam;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void CreateControls();
    void CreateMenu();
    void HandleMessage(int message, std::intptr_t wParam);
    void FormCloseQuery();
    void FormDestroy();

    // The messages.
    void UmStartup();
    void UmBeginUpdate();
    // Starts an update from the chosen server; false when one runs already.
    bool StartUpdate();
    // "Update automatically": the schedule follows the feature, and its timer the schedule.
    void ApplyAutoUpdate();
    void ArmAutoUpdate();
    void AutoUpdateTimerTimer();
    void UmShowClouds();
    // Asks for the clouds on screen (the kept picture shown, else the one in hand) to be
    // prepared as the settings now say; false when there is nothing to show.
    bool RequestClouds();
    // The two lower status lines while no cloud picture is shown.
    void ShowNoPictureLines();
    // A prepared picture (or its failure) reaches the scene.
    void CloudsPrepared(TCloudJob& job);
    void UmGetCatalogue();
    // The cloud update's reports.
    void CatalogueArrived(const TCatalogue* catalogue);
    void ApplyCatalogue(const TCatalogue& catalogue);
    void ShowNotices(const TCatalogue& catalogue);
    void UpdateProgress(const std::string& text);
    void UpdateFinished(const TCloudUpdateResult& result);
    // An update's result on the first status line, kept there a while in day-and-night mode.
    void ShowUpdateResult(const std::string& text);
    double Now() const;

    // The drawing panel.
    void OpenGLPanelInit();
    void OpenGLPanelPaint();
    void OpenGLPanelResize(int width, int height, double ratio);

    // Menu handlers.
    void OptionBtClick();
    void OptionBtRightClick(const QPoint& globalPos);
    void UseServerBtClick(int tag);
    void ChangeTexturingBtClick();
    void ShowDayNightBtClick();
    void ResetViewBtClick();
    void AboutBtClick();
    void ConfigBtClick();
    // Refreshes the lighting dialog's sliders for the lighting mode; nothing while it is closed.
    void UpdateLightingControls();
    void CustomWayBtClick();
    // A kept cloud picture (nullptr: the one in hand) goes to the cloud worker; its time shows.
    void ShowHistoryPicture(const THistoryPicture* picture);
    void SaveFrameBtClick();
    void ButtonAdvClick(const std::string& url);
    void MovTimerTimer();
    // "Find place...", and the place under the pointer (app/PlaceSearch.cpp).
    void FindBtClick();
    void PointerMoved(std::optional<QPointF> at);
    void ViewTick(bool moved);
    void UpdatePointerReadout();

    void ComputeSunMoon();
    void ApplyLightingMode();
    bool CloudsFileExists() const;
    // A toggle of the options menu bound to a feature: choosing it writes the feature, then
    // runs changed.
    QAction* AddFeature(bool TFeatures::*feature, const char* name, const char* caption,
                        std::function<void()> changed = {});
    // The check marks (and the items that depend on them) from the features.
    void ShowFeatures();
    // Writes with SaveConfig1/2; a refused write is shown to the user.
    void WriteSettings(bool config1, bool config2);
    void ShowError(const QString& text);

    std::string DataFolder, IniFile, TempFolder;
    std::string StatusText, UpdateText, CreditText;
    std::string PointerText;
    std::optional<QPointF> PointerAt; // over the globe's panel, in window units
    bool ViewMoving = false;
    TSettings Settings;
    TMapInfo MapInfo;
    TService Service;
    TNavState Nav;
    TScene Scene;
    TDrawPointList DrawPoints;
    bool WaypointFileComplete = true; // false: too large to read whole, so never rewritten
    TSaveFrameDialog SaveFrameDialog;
    TSunMoon SunMoon;
    TUtcClock Clock = SystemUtcNow;
    int SunTicks = 0;
    TResultHold ResultHold;
    bool StartedUp = false;
    bool SceneBuilt = false;
    bool ConfigDialogOpen = false;
    QPointer<TConfigForm> ConfigForm;
    bool CloudsAvailable = false;

    std::unique_ptr<TCloudUpdate> CloudUpdate; // made once the folders are known
    double AutoUpdatePace = 1000; // timer milliseconds to a second of the schedule's clock
    TAutoUpdateSchedule AutoUpdate{[this] { return SystemUtcNow() * 86400e3 / AutoUpdatePace; },
                                   [] { return QRandomGenerator::global()->generateDouble(); }};
    bool AutoUpdateRunning = false; // the update that runs was started by the schedule
    int CloudMaxSide = 0;            // the largest texture side the context takes
    bool StartupCloudsShown = false; // the start-up's UM_SHOWCLOUDS has nothing left to do
    QList<QIcon> ButImages;          // icons that catalogue link items refer to

    QPoint MenuPos;
    TCloudPreparer CloudPreparer{this, [this](TCloudJob& job) { CloudsPrepared(job); }};
    std::unique_ptr<THistoryView> History;

    // Controls.
    TOpenGLPanel* OpenGLPanel = nullptr;
    QFrame* OptionPanel = nullptr;
    QToolButton* OptionBt = nullptr;
    QTimer* MovTimer = nullptr;
    QTimer* AutoUpdateTimer = nullptr;
    QMenu* OptionPopup = nullptr;
    QMenu* Selectweatherserver = nullptr;
    QActionGroup* ServerGroup = nullptr;
    QAction* UpdateWeatherBt = nullptr;
    QAction* AutoUpdateBt = nullptr;
    QAction* UseRandServerBt = nullptr;
    QAction* UseServerBt[11] = {}; // 1..10
    QAction* ShowCloudsBt = nullptr;
    QAction* ShowTexturingBt = nullptr;
    QAction* ShowCountriesBt = nullptr;
    QAction* ShowNamesBt = nullptr;
    QAction* ColorizeBt = nullptr;
    QAction* ChangeTexturingBt = nullptr;
    QAction* ShowDayNightBt = nullptr;
    QAction* CityLightsBt = nullptr;
    QAction* ShowTimeZoneBt = nullptr;
    QAction* CustomWayBt = nullptr;
    QAction* CloudHistoryBt = nullptr;
    QAction* SaveFrameBt = nullptr;
    QAction* ResetViewBt = nullptr;
    QAction* ConfigBt = nullptr;
    QAction* AboutBt = nullptr;
    QAction* FindBt = nullptr;
    TFindBox* FindBox = nullptr;
    std::vector<std::pair<QAction*, bool TFeatures::*>> FeatureItems;
};

} // namespace nimbora
