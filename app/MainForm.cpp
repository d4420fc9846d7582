#include "app/MainForm.h"

#include "app/SceneSetup.h"
#include "app/Texts.h"
#include "core/IniFile.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Shortcuts.h"
#include "platform/TermSignals.h"
#include "render/JpegDecode.h"
#include "render/OpenGLPanel.h"
#include "render/Textures.h"
#include "render/countries.h"
#include "resources/Resources.h"
#include "ui/about.h"
#include "ui/customway.h"
#include "ui/extensioninfo.h"
#include "waypoints/WaypointFile.h"
#include "weather/CloudCache.h"
#include "weather/CloudPicture.h"
#include "weather/CloudsText.h"
#include "weather/WeatherTexts.h"
#include "widgets/MenuCaption.h"
#include "widgets/uVistaFuncs.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <tuple>
#include <utility>

namespace nimbora {

namespace {

constexpr int ClientWidth = 640;
constexpr int ClientHeight = 480;

TNavKey NavKeyOf(int key) {
    switch (key) {
    case Qt::Key_Escape:
        return NkEscape;
    case Qt::Key_Left:
        return NkLeft;
    case Qt::Key_Right:
        return NkRight;
    case Qt::Key_Up:
        return NkUp;
    case Qt::Key_Down:
        return NkDown;
    default:
        return NkOther;
    }
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

// ---------------------------------------------------------------------------------------------
// Creation: what must exist before the window is first shown

void TMainForm::FormCreate() {
    // Hints in the program's own colour, hidden after ten seconds.
    QPalette hintPalette = QToolTip::palette();
    hintPalette.setColor(QPalette::ToolTipBase, QColor(228, 231, 237));
    hintPalette.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hintPalette);

    DataFolder = nimbora::DataFolder(texts::MakerFolder, texts::ProductFolder);
    IniFile = DataFolder + SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
    TempFolder = nimbora::TempFolder();
    CloudUpdate = std::make_unique<TCloudUpdate>(MapInfo, DataFolder, TempFolder);
    CloudUpdate->OnProgress = [this](const std::string& text) { UpdateProgress(text); };
    CloudUpdate->OnCatalogue = [this](const TCatalogue* catalogue) { CatalogueArrived(catalogue); };
    CloudUpdate->OnFinished = [this](const TCloudUpdateResult& result) { UpdateFinished(result); };
    InitNimboraResources();
    // The scene's pictures and lines are made ready on the other core while the OpenGL driver
    // loads and the window is made.
    Scene.StartPreparing();

    // Without a usable OpenGL the window could only crash when it is first drawn: say so and
    // stop before anything is shown or written.
    if (!TOpenGLPanel::ContextAvailable()) {
        TaskMessageBox(nullptr, QStringLiteral("Error"),
                       QStringLiteral("Unable to create an OpenGL rendering context."), MbOk,
                       IconError);
        std::_Exit(1);
    }

    CreateControls();
    CreateMenu();

    // A cloud picture cut short by an interrupted run is useless; drop it before anyone reads it.
    // One that cannot be read now is left alone: it may be fine at the next start.
    DropCutShortCachedJpeg(DataFolder);
    // Saves cut off by a crash or a kill leave their temporary files beside ours.
    RemoveStaleTemps(DataFolder, IniFile);

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    MapInfo.Map.push_back(
        TMap{texts::BuiltInServerUrl, texts::BuiltInServerFilter, texts::BuiltInServerCredit});
    Service.HomeUrl = texts::HomeUrl;
    Service.HomeContact = texts::HomeContact;
    Service.ProdUrl = texts::ProdUrl;
    ButImages = {style()->standardIcon(QStyle::SP_DirHomeIcon),
                 style()->standardIcon(QStyle::SP_MessageBoxInformation),
                 style()->standardIcon(QStyle::SP_FileDialogContentsView),
                 style()->standardIcon(QStyle::SP_ArrowDown),
                 style()->standardIcon(QStyle::SP_DriveNetIcon)};

    PostMessage(this, UM_STARTUP);
}

void TMainForm::CreateControls() {
    setWindowTitle(QString::fromLatin1(texts::ProductName));
    setMinimumSize(384, 288);
    resize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
    }
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    OpenGLPanel = new TOpenGLPanel(this);
    OpenGLPanel->setObjectName("OpenGLPanel");
    OpenGLPanel->setGeometry(rect());
    OpenGLPanel->setFocusPolicy(Qt::NoFocus);
    History = std::make_unique<THistoryView>(
        OpenGLPanel, DataFolder, [this](const THistoryPicture* p) { ShowHistoryPicture(p); });
    OpenGLPanel->OnInitialize = [this] { OpenGLPanelInit(); };
    OpenGLPanel->OnPaint = [this] { OpenGLPanelPaint(); };
    OpenGLPanel->OnResize = [this](int w, int h, double ratio) { OpenGLPanelResize(w, h, ratio); };
    OpenGLPanel->OnMouseDown = [this](QMouseEvent* e) {
        const Qt::MouseButtons b = e->buttons();
        NavMouseDown(Nav, b & Qt::LeftButton, b & Qt::RightButton, e->position().toPoint().x(),
                     e->position().toPoint().y());
    };
    OpenGLPanel->OnMouseMove = [this](QMouseEvent* e) {
        const Qt::MouseButtons b = e->buttons();
        NavMouseMove(Nav, b & Qt::LeftButton, b & Qt::RightButton, e->position().toPoint().x(),
                     e->position().toPoint().y());
        PointerMoved(e->position());
    };
    OpenGLPanel->OnMouseLeave = [this] { PointerMoved(std::nullopt); };
    OpenGLPanel->OnMouseUp = [this](QMouseEvent*) { NavMouseUp(Nav); };
    OpenGLPanel->OnWheel = [this](QWheelEvent* e) {
        const int delta = e->angleDelta().y();
        if (delta != 0) NavMouseWheel(Nav, delta);
        e->accept();
        OpenGLPanel->RequestFrame();
    };

    OptionPanel = new QFrame(this);
    OptionPanel->setObjectName("OptionPanel");
    OptionPanel->setFixedSize(29, 28);
    OptionPanel->setAutoFillBackground(true);
    QPalette silver = OptionPanel->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    OptionPanel->setPalette(silver);
    OptionPanel->move(width() - 4 - OptionPanel->width(), 5);
    // A globe in a native window covers every widget drawn into the main window: the button's
    // panel must then be a native window of its own, stacked above the globe.
    if (OpenGLPanel->NativeWindow()) OptionPanel->setAttribute(Qt::WA_NativeWindow);
    OptionPanel->raise();

    OptionBt = new QToolButton(OptionPanel);
    OptionBt->setObjectName("OptionBt");
    OptionBt->setGeometry(3, 3, 23, 22);
    OptionBt->setCursor(Qt::PointingHandCursor);
    OptionBt->setIcon(style()->standardIcon(QStyle::SP_TitleBarUnshadeButton));
    OptionBt->setToolTip(QStringLiteral("Options..."));
    OptionBt->setToolTipDuration(10000);
    OptionBt->setFocusPolicy(Qt::NoFocus);
    OptionBt->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OptionBt, &QToolButton::clicked, this, [this] { OptionBtClick(); });
    connect(OptionBt, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { OptionBtRightClick(OptionBt->mapToGlobal(pos)); });

    MovTimer = new QTimer(this);
    MovTimer->setObjectName("MovTimer");
    MovTimer->setInterval(33);
    MovTimer->setTimerType(Qt::PreciseTimer);
    connect(MovTimer, &QTimer::timeout, this, [this] { MovTimerTimer(); });

    AutoUpdateTimer = new QTimer(this);
    AutoUpdateTimer->setObjectName("AutoUpdateTimer");
    AutoUpdateTimer->setSingleShot(true);
    connect(AutoUpdateTimer, &QTimer::timeout, this, [this] { AutoUpdateTimerTimer(); });

    // A window destroyed by another program cannot come back: end as if the user had closed
    // it, so that the settings are kept.
    WatchWindowDestroyed(
        this, [this] { return static_cast<quintptr>(internalWinId()); }, [this] { close(); });
}

// ---------------------------------------------------------------------------------------------
// Start-up and the messages

bool TMainForm::event(QEvent* event) {
    // Messages and a worker's results change the status lines, the cloud texture or the menu;
    // every one of them schedules a frame here (the cloud update's reports schedule their own),
    // so that a still globe shows the change as well (the timer draws only when the view moves).
    if (IsMessageEvent(event)) {
        const auto* message = static_cast<const TMessageEvent*>(event);
        HandleMessage(message->Message, message->WParam);
        OpenGLPanel->RequestFrame();
        return true;
    }
    if (event->type() == TCallEvent::EventType) {
        static_cast<TCallEvent*>(event)->Call();
        OpenGLPanel->RequestFrame();
        return true;
    }
    switch (event->type()) {
    case QEvent::FocusOut: // a menu or another window took the keyboard
    case QEvent::WindowDeactivate:
    case QEvent::WindowBlocked: // a modal dialog or message box opened
    case QEvent::Hide:
        // The held keys' releases go elsewhere now, and the globe would spin on for ever.
        ReleaseHeldKeys(Nav);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TMainForm::HandleMessage(int message, std::intptr_t wParam) {
    switch (message) {
    case UM_STARTUP:
        UmStartup();
        break;
    case UM_BEGINUPDATE:
        if (wParam == WpGetMap) UmBeginUpdate();
        break;
    case UM_SHOWCLOUDS:
        UmShowClouds();
        break;
    case UM_GETCATALOGUE:
        UmGetCatalogue();
        break;
    default:
        break;
    }
}

void TMainForm::UmStartup() {
    ReadSettings(IniFile, DataFolder, Settings, MapInfo);
    if (Settings.Features.DayNight) Scene.StartPreparingDayNight();
    if (MapInfo.UseDirectUrl) UpdateWeatherBt->setEnabled(true);
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(Settings.ServerIndex)));
    ShowFeatures();

    // The cached clouds are prepared while the scene is built and shown at the end of
    // start-up, so that the first frame has them; the UM_SHOWCLOUDS posted below finds them
    // in place.
    {
        TCurrentContext current(OpenGLPanel);
        CloudMaxSide = MaxTextureSide();
    }
    const bool cloudsRequested = RequestClouds();

    connect(UpdateWeatherBt, &QAction::triggered, this,
            [this] { PostMessage(this, UM_BEGINUPDATE, WpGetMap); });
    if (Settings.GetCatalogue) PostMessage(this, UM_GETCATALOGUE);

    // An older or missing file is written anew from what was just read.
    if (SettingsNeedRewrite(Settings)) {
        try {
            RewriteSettings(IniFile, Settings, MapInfo, MapInfo.LastPos);
        } catch (const TSettingsWriteError& error) {
            ShowError(QString::fromStdString(error.what()));
        }
    }

    Scene.PrepareLightFade(Settings.Lighting);
    AddNamePoints(DrawPoints);
    LoadCustomWaypoints(GetWaypointFile(), DrawPoints, &WaypointFileComplete);
    TCurrentContext current(OpenGLPanel);
    SceneBuilt = Scene.Build(Settings.Lighting);
    PostMessage(this, UM_SHOWCLOUDS);
    const QSize framebuffer = OpenGLPanel->FramebufferSize();
    Scene.OpenGLPanelResize(framebuffer.width(), framebuffer.height(),
                            OpenGLPanel->devicePixelRatioF());

    RestoreView(Nav, MapInfo.LastPos);
    Nav.pKey = TKey{};
    Nav.pMou = TMou{};
    Nav.mx = Nav.my = Nav.mz = 0;

    StatusText = texts::TitleText;
    ShowNoPictureLines();
    if (cloudsRequested) {
        CloudPreparer.Finish();
        // A result taken early (a message box above runs the event loop before the scene
        // exists) is asked for again by UM_SHOWCLOUDS.
        StartupCloudsShown = CloudsAvailable;
    }

    MovTimer->start();
    if (Settings.Features.DayNight) ComputeSunMoon();
    ApplyLightingMode();
    StartedUp = true;
    AutoUpdate.SetMinutes(Settings.AutoUpdateMinutes);
    ApplyAutoUpdate();
}

// ---------------------------------------------------------------------------------------------
// Frames: the drawing panel and the timer

void TMainForm::OpenGLPanelInit() {
    // Without a drawing surface the program cannot do anything useful: say so and stop, before
    // any setting is written.
    switch (OpenGLPanel->ContextState()) {
    case TOpenGLPanel::NoContext:
        TaskMessageBox(this, QStringLiteral("Error"),
                       QStringLiteral("Unable to get a device context."), MbOk, IconError);
        std::_Exit(1);
    case TOpenGLPanel::InvalidContext:
        TaskMessageBox(this, QStringLiteral("Error"),
                       QStringLiteral("Unable to create an OpenGL rendering context."), MbOk,
                       IconError);
        std::_Exit(1);
    case TOpenGLPanel::ContextReady:
        break;
    }
}

void TMainForm::OpenGLPanelResize(int width, int height, double ratio) {
    if (SceneBuilt) Scene.OpenGLPanelResize(width, height, ratio);
}

void TMainForm::OpenGLPanelPaint() {
    if (!StartedUp || !SceneBuilt) {
        TScene::RenderBlank(); // until the scene exists the window is black
        return;
    }
    TFrameState frame = MakeFrameState(Settings, Nav, SunMoon, CloudsAvailable, DrawPoints,
                                       {StatusText, UpdateText, CreditText});
    frame.PointerText = PointerText;
    Scene.RenderScene(frame, Settings.Lighting);
}

void TMainForm::MovTimerTimer() {
    bool changed = false;
    if (!Scene.LightInit()) {
        Scene.LightFadeTick(Settings.Lighting);
        changed = true;
    } else if (Settings.Features.DayNight && ++SunTicks >= 30) {
        SunTicks = 0;
        ComputeSunMoon();
        changed = true;
    }
    const TVertex before = Nav.Proj;
    NavTimerTick(Nav);
    const bool moved = before.X != Nav.Proj.X || before.Y != Nav.Proj.Y || before.Z != Nav.Proj.Z;
    ViewTick(moved);
    changed = changed || moved;
    // A still globe looks the same in the next frame: drawing it again would only burn the
    // processor (the drawing is done in software on many machines).
    if (changed) OpenGLPanel->RequestFrame();
}

void TMainForm::ComputeSunMoon() {
    // A kept cloud picture brings its own time, for the sun and moon and the status line.
    const std::optional<double> shown = History->PictureTime();
    SunMoon = UpdateSunMoon(shown ? TUtcClock([t = *shown] { return t; }) : Clock);
    UpdateSunText(StatusText, CloudUpdate->Busy() || ResultHold.Holds(Now()), SunMoon);
    if (shown) StatusText = HistoryTimeText(*shown);
}

void TMainForm::ShowHistoryPicture(const THistoryPicture* picture) {
    // Back to now without a picture in hand: neither the kept one's clouds nor its date may stay
    // as if current.
    if (!RequestClouds()) {
        CloudPreparer.Drop();
        CloudsAvailable = false;
        ShowNoPictureLines();
    }
    StatusText = picture ? HistoryTimeText(picture->Utc) : std::string(texts::TitleText);
    if (Settings.Features.DayNight) ComputeSunMoon();
    OpenGLPanel->RequestFrame();
}

void TMainForm::ApplyLightingMode() {
    TCurrentContext current(OpenGLPanel);
    if (Settings.Features.DayNight) {
        Scene.SunLighting();
    } else {
        Scene.RgbLighting();
    }
}

double TMainForm::Now() const {
    return Clock ? Clock() : SystemUtcNow();
}

void TMainForm::ShowUpdateResult(const std::string& text) {
    StatusText = text;
    ResultHold.Start(Now());
}

// ---------------------------------------------------------------------------------------------
// Keys and the window's size

void TMainForm::keyPressEvent(QKeyEvent* event) {
    // Ctrl+F as a shortcut fires only in the active window; a desktop without a window manager
    // (or a kiosk) never makes one active, and the key then arrives here.
    if (event->matches(QKeySequence::Find)) {
        FindBtClick();
        return;
    }
    if (History->Key(event->key())) return;
    const bool ctrlOrShift = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    if (NavKeyDown(Nav, NavKeyOf(event->key()), ctrlOrShift) == NavClose) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainForm::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) NavKeyUp(Nav, NavKeyOf(event->key()));
    QWidget::keyReleaseEvent(event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The drawing panel fills the window; the options button stays in the top-right corner.
    OpenGLPanel->setGeometry(rect());
    OptionPanel->move(width() - 4 - OptionPanel->width(), 5);
    OptionPanel->raise();
}

// ---------------------------------------------------------------------------------------------
// The server catalogue: fetched at start-up, it fills the menu and enables updates

void TMainForm::UmGetCatalogue() {
    CloudUpdate->FetchCatalogue(Settings.CatalogueUrl, Settings.Proxy);
}

void TMainForm::CatalogueArrived(const TCatalogue* catalogue) {
    if (catalogue) {
        ApplyCatalogue(*catalogue);
        ShowNotices(*catalogue);
        if (!isVisible()) return; // the user took the update offer and the window closed
    }
    UpdateWeatherBt->setEnabled(true);
    if (!CloudsFileExists()) UpdateWeatherBt->trigger();
    // A start-up check that found no servers yet follows now.
    AutoUpdate.Unblocked();
    ArmAutoUpdate();
}

void TMainForm::ApplyCatalogue(const TCatalogue& catalogue) {
    if (!catalogue.IdentityOk) return;
    ApplyServiceLinks(catalogue, Service);
    if (!MapInfo.UseDirectUrl) {
        if (catalogue.ServerCount > 0) MapInfo.Map = catalogue.Servers;
        for (int k = 1; k <= 10; ++k) {
            const bool listed = MapInfo.Map.size() >= static_cast<size_t>(k);
            UseServerBt[k]->setVisible(listed);
            UseServerBt[k]->setEnabled(listed);
        }
        const int index = Settings.ServerIndex;
        (index >= 1 && index <= 10 ? UseServerBt[index] : UseRandServerBt)->setChecked(true);
    }
    if (catalogue.LinkCount > 0) {
        OptionPopup->addSeparator();
        for (const TButOn& link : catalogue.Links) {
            QAction* item = OptionPopup->addAction(MenuCaption(link.Caption));
            item->setObjectName(QString::fromStdString("ptr" + link.Section));
            if (link.Icon >= 0 && link.Icon < ButImages.size()) item->setIcon(ButImages[link.Icon]);
            const std::string url = link.Url;
            connect(item, &QAction::triggered, this, [this, url] { ButtonAdvClick(url); });
        }
    }
}

void TMainForm::ShowNotices(const TCatalogue& catalogue) {
    const std::string today =
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    if (!TakeNoticeDay(Service, DataFolder, today)) return;
    const QString title = QString::fromLatin1(texts::ProductName);
    if (!Service.PopMsg.empty())
        TaskMessageBox(this, title, QString::fromStdString(Service.PopMsg), MbOk, IconInformation);
    if (!Service.PopUrl.empty()) OpenLink(Service.PopUrl);
    if (catalogue.HasOffer) {
        if (TaskMessageBox(this, title, QString::fromStdString(catalogue.OfferText), MbYes | MbNo,
                           IconQuestion) == ResultYes) {
            OpenLink(Service.UpdateUrl);
            close();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// A cloud picture: download, install, show

bool TMainForm::CloudsFileExists() const {
    return FindCachedClouds(DataFolder).Type != TypUnk;
}

void TMainForm::UmBeginUpdate() {
    // A request still queued when the window closed starts nothing.
    if (isVisible()) StartUpdate();
}

bool TMainForm::StartUpdate() {
    const QAction* checked = ServerGroup->checkedAction();
    const unsigned fixed = checked ? static_cast<unsigned>(checked->data().toInt()) : 0;
    if (!CloudUpdate->Start(fixed, Settings.Proxy, Settings.History)) return false;
    UpdateWeatherBt->setEnabled(false);
    return true;
}

void TMainForm::ApplyAutoUpdate() {
    if (!StartedUp) return;
    AutoUpdate.SetEnabled(Settings.Features.AutoUpdate);
    ArmAutoUpdate();
}

void TMainForm::ArmAutoUpdate() {
    const std::optional<double> wait = AutoUpdate.SecondsToWait();
    if (!wait) {
        AutoUpdateTimer->stop();
        return;
    }
    AutoUpdateTimer->start(static_cast<int>(std::ceil(*wait * AutoUpdatePace)));
}

void TMainForm::AutoUpdateTimerTimer() {
    if (AutoUpdate.Due()) {
        // Until the servers are known (the catalogue) "Update weather" is off, and so is this.
        if (isVisible() && UpdateWeatherBt->isEnabled() && StartUpdate()) {
            AutoUpdateRunning = true;
            AutoUpdate.Started();
        } else {
            AutoUpdate.Refused();
        }
    }
    ArmAutoUpdate();
}

void TMainForm::UpdateProgress(const std::string& text) {
    // A kept picture on screen keeps its time on the first line while an update that came by
    // itself runs; one the user asked for tells how it goes.
    if (AutoUpdateRunning && History->PictureTime()) return;
    StatusText = text;
    OpenGLPanel->RequestFrame();
}

void TMainForm::UpdateFinished(const TCloudUpdateResult& result) {
    UpdateWeatherBt->setEnabled(true);
    const bool automatic = std::exchange(AutoUpdateRunning, false);
    if (automatic) AutoUpdate.Finished(result.Failed());
    AutoUpdate.Unblocked();
    ArmAutoUpdate();
    if (!result.StatusText.empty()) ShowUpdateResult(result.StatusText);
    if (result.ShowHints)
        std::tie(UpdateText, CreditText) = ErrorHintLines(result.ConnectionFailed, IniFile);
    if (result.Installed) {
        // What is being prepared is the picture that was in hand: its result must not be shown,
        // nor its labels taken.
        CloudPreparer.Drop();
        // The new picture is now; one that came by itself does not take the user away from the
        // history (UM_SHOWCLOUDS prepares the kept picture on screen again).
        if (!automatic) History->Close();
        if (!result.HistoryText.empty()) ShowUpdateResult(result.HistoryText);
        PostMessage(this, UM_SHOWCLOUDS);
    }
    if (const std::optional<double> shown = History->PictureTime();
        automatic && shown && result.HistoryText.empty())
        StatusText = HistoryTimeText(*shown);
    OpenGLPanel->RequestFrame();
}

void TMainForm::UmShowClouds() {
    // The clouds in hand stay drawn while the new ones are prepared on a worker; only the
    // upload of the finished picture runs on this thread (CloudsPrepared).
    if (StartupCloudsShown) {
        StartupCloudsShown = false; // the start-up handler has done this one's work
        return;
    }
    if (!SceneBuilt || !RequestClouds()) {
        CloudPreparer.Drop();
        CloudsAvailable = false;
    }
}

bool TMainForm::RequestClouds() {
    if (const THistoryPicture* shown = History->GetPlayer().Current()) {
        const int side =
            CloudMaxSide > 0 ? std::min(CloudMaxSide, HistoryMaxSide) : HistoryMaxSide;
        CloudPreparer.Request(HistoryCloudsJob(*shown, Settings, MapInfo, side));
        return true;
    }
    auto info = CachedCloudsJob(DataFolder, Settings, MapInfo, CloudMaxSide);
    if (!info) return false;
    CloudPreparer.Request(std::move(*info));
    return true;
}

void TMainForm::ShowNoPictureLines() {
    UpdateText = texts::InitialUpdateText;
    CreditText = MapInfo.Credit.empty() ? std::string(texts::FallbackCredit) : MapInfo.Credit;
}

void TMainForm::CloudsPrepared(TCloudJob& job) {
    History->Prepared(job.Info.Path, job.Succeeded());
    // A picture that cannot be shown (a damaged kept one too) takes the cloud layer away, as it
    // always did: the clouds of another time must not stand under this one's label.
    CloudsAvailable = false;
    if (!job.Succeeded() || !SceneBuilt) return;
    TCurrentContext current(OpenGLPanel);
    TStatusLines lines{StatusText, UpdateText, CreditText};
    if (!ShowPreparedClouds(Scene, job.Info, job.Pixels(), MapInfo, lines)) return;
    CloudsAvailable = true;
    UpdateText = lines.Update;
    CreditText = lines.Credit;
}

// ---------------------------------------------------------------------------------------------
// Closing

void TMainForm::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void TMainForm::FormCloseQuery() {
    MovTimer->stop();
    // Nothing starts any more; the feature itself stays as chosen and is written below.
    AutoUpdate.SetEnabled(false);
    AutoUpdateTimer->stop();
    CloudPreparer.Stop();
    CloudUpdate->Cancel();
    if (ConfigDialogOpen) WriteSettings(false, true);
    WriteSettings(true, false);
}

void TMainForm::FormDestroy() {
    // A window destroyed without being closed still stops its workers before anything goes.
    CloudPreparer.Stop();
    CloudUpdate->Cancel();
    if (SceneBuilt) {
        TCurrentContext current(OpenGLPanel);
        Scene.Release();
    }
}

void TMainForm::WriteSettings(bool config1, bool config2) {
    try {
        if (config2) SaveConfig2(IniFile, Settings);
        if (config1) SaveConfig1(IniFile, Settings, MapInfo, Nav.Proj);
    } catch (const TSettingsWriteError& error) {
        ShowError(QString::fromStdString(error.what()));
    }
}

void TMainForm::ShowError(const QString& text) {
    TaskMessageBox(this, QStringLiteral("Error"), text, MbOk, IconError);
}

} // namespace nimbora
