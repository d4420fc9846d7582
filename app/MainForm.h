#pragma once
// The main window: owns the program state and conducts start-up, the message protocol, the
// options menu and shutdown. Each handler is short and calls the subsystem that does the work.
#include "app/Settings.h"
#include "core/Synchronize.h"
#include "render/Points.h"
#include "render/Scene.h"
#include "render/navigation.h"
#include "render/sunmoondata.h"
#include "ui/SaveView.h"
#include "weather/MapInfo.h"
#include "weather/ThDown.h"
#include "weather/ThSrvc.h"

#include <QIcon>
#include <QList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QFrame;
class QMenu;
class QTimer;
class QToolButton;

namespace nimbora {

class OpenGLPanel;

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Paths fixed at creation.
    const std::string& DataFolder() const { return DataFolder_; }
    const std::string& IniFile() const { return IniFile_; }
    const std::string& TempFolder() const { return TempFolder_; }
    std::string WaypointFile() const;

    // State that tests read.
    const TMapInfo& MapInfo() const { return MapInfo_; }
    const TSettings& Settings() const { return Settings_; }
    const TNavState& Navigation() const { return Nav; }
    TNavState& Navigation() { return Nav; }
    const TDrawPointList& Points() const { return DrawPoints; }
    bool StartupDone() const { return StartupDone_; }
    bool CloudsShown() const { return CloudsAvailable; }
    bool Downloading() const { return DownWorking; }
    bool FetchingCatalogue() const { return WorkWorking; }
    TSaveFrameDialog& SaveDialog() { return SaveFrameDialog; }
    QMenu* OptionPopup() const { return OptionPopup_; }
    OpenGLPanel* Panel() const { return OpenGLPanel_; }
    // Replaces the built-in server before start-up, so that tests never leave this machine.
    void SetBuiltInServer(const TMap& server) { MapInfo_.Map.assign(1, server); }
    // The clock of the sun and moon (UTC day count); tests fix it.
    void SetClock(TUtcClock clock) { Clock = std::move(clock); }

    std::string StatusText, UpdateText, CreditText; // the three status lines (Windows-1252)

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
    void HandleMessage(int message, std::intptr_t wParam, std::intptr_t lParam);
    void FormCloseQuery();
    void FormDestroy();

    // The messages.
    void UmStartup();
    void UmBeginUpdate();
    void UmProgress(std::intptr_t wParam, std::intptr_t lParam);
    void UmDownResult(std::intptr_t wParam, std::intptr_t lParam);
    void UmLoadMap(std::intptr_t wParam);
    void UmShowClouds();
    void UmGetCatalogue();
    void UmCatalogue(std::intptr_t wParam);
    void ApplyCatalogue(const TCatalogue& catalogue);
    void ShowNotices(const TCatalogue& catalogue);
    void DownResultsOnMain(TDownThread& thread);
    void CancelDownload();
    void CancelCatalogue();
    // Frees the workers whose thread has ended. Called only from the window's own code (a
    // queued call or a message handler), never from a worker's callback, so no code of the
    // freed object is running.
    void ReleaseEndedWorkers();
    void ReleaseEndedWorkersLater();
    // An update's result on the first status line, kept there a while in day-and-night mode.
    void ShowUpdateResult(const std::string& text);
    double Now() const;

    // The drawing panel.
    void OpenGLPanelInit();
    void OpenGLPanelPaint();
    void OpenGLPanelResize(int width, int height);

    // Menu handlers.
    void OptionBtClick();
    void OptionBtRightClick(const QPoint& globalPos);
    void UseServerBtClick(int tag);
    void ShowCloudsBtClick();
    void ShowTexturingBtClick();
    void ChangeTexturingBtClick();
    void ShowDayNightBtClick();
    void ResetViewBtClick();
    void AboutBtClick();
    void CustomWayBtClick();
    void SaveFrameBtClick();
    void ButtonAdvClick(const std::string& url);
    void MovTimerTimer();

    void ComputeSunMoon();
    void ApplyLightingMode();
    bool CloudsFileExists() const;
    void SyncFeaturesFromMenu();
    void ApplyFeaturesToMenu();
    // Writes with SaveConfig1/2; a refused write is shown to the user.
    void WriteSettings(bool config1, bool config2);
    void ShowError(const QString& text);

    std::string DataFolder_, IniFile_, TempFolder_;
    TSettings Settings_;
    TMapInfo MapInfo_;
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
    bool StartupDone_ = false;
    bool SceneBuilt = false;
    bool ConfigDialogOpen = false;
    bool CloudsAvailable = false;

    TAct Act = ActNone;
    bool DownWorking = false;
    std::string DownFile;
    std::unique_ptr<TDownThread> DownTh;
    std::int32_t DownLen = -1;
    TDateTimeZ DownPreviousDate; // the date in hand before a new picture's, until it is installed
    bool WorkWorking = false;
    std::string WorkFile;
    std::unique_ptr<TWorkTh> WorkTh;
    std::vector<std::uint8_t> CloudStream; // reused between cloud pictures
    QList<QIcon> ButImages;                // icons that catalogue link items refer to

    QPoint MenuPos_;
    TSynchronizer Synchronizer_{this};

    // Controls.
    OpenGLPanel* OpenGLPanel_ = nullptr;
    QFrame* OptionPanel = nullptr;
    QToolButton* OptionBt = nullptr;
    QTimer* MovTimer = nullptr;
    QMenu* OptionPopup_ = nullptr;
    QMenu* Selectweatherserver = nullptr;
    QActionGroup* ServerGroup = nullptr;
    QAction* UpdateWeatherBt = nullptr;
    QAction* UseRandServerBt = nullptr;
    QAction* UseServerBt[11] = {}; // 1..10
    QAction* ShowCloudsBt = nullptr;
    QAction* ShowTexturingBt = nullptr;
    QAction* ShowCountriesBt = nullptr;
    QAction* ShowNamesBt = nullptr;
    QAction* ColorizeBt = nullptr;
    QAction* ChangeTexturingBt = nullptr;
    QAction* ShowDayNightBt = nullptr;
    QAction* ShowTimeZoneBt = nullptr;
    QAction* CustomWayBt = nullptr;
    QAction* SaveFrameBt = nullptr;
    QAction* ResetViewBt = nullptr;
    QAction* ConfigBt = nullptr;
    QAction* AboutBt = nullptr;
};

} // namespace nimbora
