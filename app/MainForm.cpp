#include "app/MainForm.h"

#include "app/Texts.h"
#include "core/Cp1252.h"
#include "core/IniFile.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "render/FrameCapture.h"
#include "render/JpegDecode.h"
#include "render/OpenGLPanel.h"
#include "render/Textures.h"
#include "render/countries.h"
#include "resources/Resources.h"
#include "ui/MenuCaption.h"
#include "ui/about.h"
#include "ui/extensioninfo.h"
#include "ui/uVistaFuncs.h"
#include "waypoints/WaypointFile.h"
#include "waypoints/customway.h"
#include "weather/CloudCache.h"
#include "weather/CloudPicture.h"
#include "weather/CloudsText.h"
#include "weather/WeatherTexts.h"

#include <GL/gl.h>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QOpenGLContext>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <cstdlib>
#include <ctime>

namespace nimbora {

namespace {

constexpr int ClientWidth = 640;
constexpr int ClientHeight = 480;

QAction* AddToggle(QMenu* menu, const char* name, const char* caption, bool checked) {
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    item->setCheckable(true);
    item->setChecked(checked);
    return item;
}

QAction* AddCommand(QMenu* menu, const char* name, const char* caption, const QIcon& icon) {
    QAction* item = menu->addAction(icon, QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

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
// Creation

void TMainForm::FormCreate() {
    // Hints in the program's own colour, hidden after ten seconds.
    QPalette hintPalette = QToolTip::palette();
    hintPalette.setColor(QPalette::ToolTipBase, QColor(228, 231, 237));
    hintPalette.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hintPalette);

    DataFolder_ = nimbora::DataFolder(texts::MakerFolder, texts::ProductFolder);
    IniFile_ =
        DataFolder_ + SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
    TempFolder_ = nimbora::TempFolder();
    InitNimboraResources();

    // Without a usable OpenGL the window could only crash when it is first drawn: say so and
    // stop before anything is shown or written.
    if (!OpenGLPanel::ContextAvailable()) {
        TaskMessageBox(nullptr, QStringLiteral("Error"),
                       QStringLiteral("Unable to create an OpenGL rendering context."), MbOk,
                       IconError);
        std::_Exit(1);
    }

    CreateControls();
    CreateMenu();

    // A cloud picture cut short by an interrupted run is useless; drop it before anyone reads it.
    // One that cannot be read now is left alone: it may be fine at the next start.
    DropCutShortCachedJpeg(DataFolder_);

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    MapInfo_.Map.push_back(
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

    OpenGLPanel_ = new OpenGLPanel(this);
    OpenGLPanel_->setObjectName("OpenGLPanel");
    OpenGLPanel_->setGeometry(rect());
    OpenGLPanel_->setFocusPolicy(Qt::NoFocus);
    OpenGLPanel_->OnInitialize = [this] { OpenGLPanelInit(); };
    OpenGLPanel_->OnPaint = [this] { OpenGLPanelPaint(); };
    OpenGLPanel_->OnResize = [this](int w, int h) { OpenGLPanelResize(w, h); };
    OpenGLPanel_->OnMouseDown = [this](QMouseEvent* e) {
        const Qt::MouseButtons b = e->buttons();
        NavMouseDown(Nav, b & Qt::LeftButton, b & Qt::RightButton, e->position().toPoint().x(),
                     e->position().toPoint().y());
    };
    OpenGLPanel_->OnMouseMove = [this](QMouseEvent* e) {
        const Qt::MouseButtons b = e->buttons();
        NavMouseMove(Nav, b & Qt::LeftButton, b & Qt::RightButton, e->position().toPoint().x(),
                     e->position().toPoint().y());
    };
    OpenGLPanel_->OnMouseUp = [this](QMouseEvent*) { NavMouseUp(Nav); };
    OpenGLPanel_->OnWheel = [this](QWheelEvent* e) {
        const int delta = e->angleDelta().y();
        if (delta != 0) NavMouseWheel(Nav, delta);
        e->accept();
        OpenGLPanel_->update();
    };

    OptionPanel = new QFrame(this);
    OptionPanel->setObjectName("OptionPanel");
    OptionPanel->setFixedSize(29, 28);
    OptionPanel->setAutoFillBackground(true);
    QPalette silver = OptionPanel->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    OptionPanel->setPalette(silver);
    OptionPanel->move(width() - 4 - OptionPanel->width(), 5);

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
}

void TMainForm::CreateMenu() {
    OptionPopup_ = new QMenu(this);
    OptionPopup_->setObjectName("OptionPopup");
    QMenu* menu = OptionPopup_;

    UpdateWeatherBt = AddCommand(menu, "UpdateWeatherBt", "", QIcon());
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(0)));
    UpdateWeatherBt->setEnabled(false);
    menu->setDefaultAction(UpdateWeatherBt);

    Selectweatherserver = menu->addMenu(QStringLiteral("Select weather server"));
    Selectweatherserver->setObjectName("Selectweatherserver");
    ServerGroup = new QActionGroup(this);
    ServerGroup->setExclusive(true);
    UseRandServerBt = AddToggle(Selectweatherserver, "UseRandServerBt", "Random server", true);
    UseRandServerBt->setData(0);
    ServerGroup->addAction(UseRandServerBt);
    connect(UseRandServerBt, &QAction::triggered, this, [this] { UseServerBtClick(0); });
    for (int tag = 1; tag <= 10; ++tag) {
        const QByteArray name = "UseServer" + QByteArray::number(tag) + "Bt";
        const QByteArray caption = "Server " + QByteArray::number(tag);
        QAction* item =
            AddToggle(Selectweatherserver, name.constData(), caption.constData(), false);
        item->setData(tag);
        item->setVisible(false);
        ServerGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, tag] { UseServerBtClick(tag); });
        UseServerBt[tag] = item;
    }
    menu->addSeparator();

    ShowCloudsBt = AddToggle(menu, "ShowCloudsBt", "Show clouds", true);
    ShowTexturingBt = AddToggle(menu, "ShowTexturingBt", "Show world texturing", true);
    ShowCountriesBt = AddToggle(menu, "ShowCountriesBt", "Show country boundaries", true);
    ShowNamesBt = AddToggle(menu, "ShowNamesBt", "Show country names", true);
    ColorizeBt = AddToggle(menu, "ColorizeBt", "Colorize clouds", false);
    ChangeTexturingBt = AddToggle(menu, "ChangeTexturingBt", "Detailed earth texturing", false);
    ShowDayNightBt = AddToggle(menu, "ShowDayNightBt", "Show Day and Night", false);
    ShowTimeZoneBt = AddToggle(menu, "ShowTimeZoneBt", "Show Time Zone grid", false);
    // The lighting dialog arrives with its own work; until then its item does nothing.
    CustomWayBt = AddCommand(menu, "CustomWayBt", "Custom Waypoints...",
                             style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    menu->addSeparator();
    SaveFrameBt = AddCommand(menu, "SaveFrameBt", "Save current view...",
                             style()->standardIcon(QStyle::SP_DialogSaveButton));
    ResetViewBt = AddCommand(menu, "ResetViewBt", "Reset viewpoint",
                             style()->standardIcon(QStyle::SP_BrowserReload));
    ConfigBt = AddCommand(menu, "ConfigBt", "Configuration...",
                          style()->standardIcon(QStyle::SP_FileDialogInfoView));
    menu->addSeparator();
    AboutBt = AddCommand(menu, "AboutBt", "About...",
                         style()->standardIcon(QStyle::SP_MessageBoxInformation));
    menu->addSeparator();

    connect(ShowCloudsBt, &QAction::triggered, this, [this] { ShowCloudsBtClick(); });
    connect(ShowTexturingBt, &QAction::triggered, this, [this] { ShowTexturingBtClick(); });
    connect(ChangeTexturingBt, &QAction::triggered, this, [this] { ChangeTexturingBtClick(); });
    connect(ColorizeBt, &QAction::triggered, this, [this] { PostMessage(this, UM_SHOWCLOUDS); });
    connect(ShowDayNightBt, &QAction::triggered, this, [this] { ShowDayNightBtClick(); });
    connect(ResetViewBt, &QAction::triggered, this, [this] { ResetViewBtClick(); });
    connect(AboutBt, &QAction::triggered, this, [this] { AboutBtClick(); });
    connect(CustomWayBt, &QAction::triggered, this, [this] { CustomWayBtClick(); });
    connect(SaveFrameBt, &QAction::triggered, this, [this] { SaveFrameBtClick(); });
    // Every change of the menu's state shows in the next frame.
    for (QAction* item : menu->actions())
        connect(item, &QAction::triggered, OpenGLPanel_, qOverload<>(&QWidget::update));
}

// ---------------------------------------------------------------------------------------------
// Events and messages

bool TMainForm::event(QEvent* event) {
    // Messages, a worker's results and its end callback change the status lines, the cloud
    // texture or the menu; every one of them schedules a frame here, so that a still globe
    // shows the change as well (the timer draws only when the view moves).
    if (IsMessageEvent(event)) {
        const auto* message = static_cast<const TMessageEvent*>(event);
        HandleMessage(message->Message, message->WParam, message->LParam);
        OpenGLPanel_->update();
        return true;
    }
    if (event->type() == TSynchronizer::EventType) {
        Synchronizer_.RunPending();
        OpenGLPanel_->update();
        return true;
    }
    if (event->type() == TCallEvent::EventType) {
        static_cast<TCallEvent*>(event)->Call();
        OpenGLPanel_->update();
        return true;
    }
    return QWidget::event(event);
}

void TMainForm::HandleMessage(int message, std::intptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case UM_STARTUP:
        UmStartup();
        break;
    case UM_BEGINUPDATE:
        if (wParam == 2) UmBeginUpdate();
        break;
    case UM_PROGRESS:
        UmProgress(wParam, lParam);
        break;
    case UM_DOWNRESULT:
        UmDownResult(wParam, lParam);
        break;
    case UM_LOADMAP:
        UmLoadMap(wParam);
        break;
    case UM_SHOWCLOUDS:
        UmShowClouds();
        break;
    case UM_GETCATALOGUE:
        UmGetCatalogue();
        break;
    case UM_CATALOGUE:
        UmCatalogue(wParam);
        break;
    default:
        break;
    }
}

void TMainForm::UmStartup() {
    ReadSettings(IniFile_, DataFolder_, Settings_, MapInfo_);
    if (MapInfo_.UseDirectUrl) UpdateWeatherBt->setEnabled(true);
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(Settings_.ServerIndex)));
    ApplyFeaturesToMenu();

    connect(UpdateWeatherBt, &QAction::triggered, this,
            [this] { PostMessage(this, UM_BEGINUPDATE, 2); });
    if (Settings_.GetCatalogue) PostMessage(this, UM_GETCATALOGUE);

    // An older or missing file is written anew from what was just read.
    if (SettingsNeedRewrite(Settings_)) {
        try {
            RewriteSettings(IniFile_, Settings_, MapInfo_, MapInfo_.LastPos);
        } catch (const TSettingsWriteError& error) {
            ShowError(QString::fromStdString(error.what()));
        }
    }

    Scene.PrepareLightFade(Settings_.Lighting);
    AddNamePoints(DrawPoints);
    LoadCustomWaypoints(WaypointFile(), DrawPoints, &WaypointFileComplete);
    OpenGLPanel_->makeCurrent();
    SceneBuilt = Scene.Build(Settings_.Lighting);
    PostMessage(this, UM_SHOWCLOUDS);
    Scene.OpenGLPanelResize(OpenGLPanel_->width(), OpenGLPanel_->height());

    RestoreView(Nav, MapInfo_.LastPos);
    Nav.pKey = TKey{};
    Nav.pMou = TMou{};
    Nav.mx = Nav.my = Nav.mz = 0;

    StatusText = texts::TitleText;
    UpdateText = texts::InitialUpdateText;
    CreditText = MapInfo_.Credit.empty() ? std::string(texts::FallbackCredit) : MapInfo_.Credit;

    MovTimer->start();
    if (ShowDayNightBt->isChecked()) ComputeSunMoon();
    ApplyLightingMode();
    OpenGLPanel_->doneCurrent();
    StartupDone_ = true;
}

// ---------------------------------------------------------------------------------------------
// The drawing panel

void TMainForm::OpenGLPanelInit() {
    // Without a drawing surface the program cannot do anything useful: say so and stop, before
    // any setting is written.
    QOpenGLContext* context = OpenGLPanel_->context();
    if (!context) {
        TaskMessageBox(this, QStringLiteral("Error"),
                       QStringLiteral("Unable to get a device context."), MbOk, IconError);
        std::_Exit(1);
    }
    if (!context->isValid()) {
        TaskMessageBox(this, QStringLiteral("Error"),
                       QStringLiteral("Unable to create an OpenGL rendering context."), MbOk,
                       IconError);
        std::_Exit(1);
    }
}

void TMainForm::OpenGLPanelResize(int width, int height) {
    if (SceneBuilt) Scene.OpenGLPanelResize(width, height);
}

void TMainForm::OpenGLPanelPaint() {
    if (!StartupDone_ || !SceneBuilt) {
        // Until the scene exists the window is black.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    TFrameState frame;
    frame.Proj = Nav.Proj;
    frame.ScaleZ = Nav.ScaleZ;
    frame.ShowTexturing = ShowTexturingBt->isChecked();
    frame.ShowCountries = ShowCountriesBt->isChecked();
    frame.ShowTimeZone = ShowTimeZoneBt->isChecked();
    frame.ShowNames = ShowNamesBt->isChecked();
    frame.ShowClouds = ShowCloudsBt->isChecked();
    frame.ShowDayNight = ShowDayNightBt->isChecked();
    frame.ShowCustomWay = Settings_.ShowCustomWay;
    frame.CloudsAvailable = CloudsAvailable;
    frame.DrawPoints = &DrawPoints;
    frame.StatusText = StatusText;
    frame.UpdateText = UpdateText;
    frame.CreditText = CreditText;
    frame.SunLat = SunMoon.SunLat;
    frame.SunLon = SunMoon.SunLon;
    frame.MoonLat = SunMoon.MoonLat;
    frame.MoonLon = SunMoon.MoonLon;
    Scene.RenderScene(frame, Settings_.Lighting);
}

void TMainForm::MovTimerTimer() {
    bool changed = false;
    if (!Scene.LightInit()) {
        Scene.LightFadeTick(Settings_.Lighting);
        changed = true;
    } else if (ShowDayNightBt->isChecked() && ++SunTicks >= 30) {
        SunTicks = 0;
        SunMoon = UpdateSunMoon(Clock);
        UpdateSunText(StatusText, DownWorking || ResultHold.Holds(Now()), SunMoon);
        changed = true;
    }
    const TVertex before = Nav.Proj;
    NavTimerTick(Nav);
    changed = changed || before.X != Nav.Proj.X || before.Y != Nav.Proj.Y || before.Z != Nav.Proj.Z;
    // A still globe looks the same in the next frame: drawing it again would only burn the
    // processor (the drawing is done in software on many machines).
    if (changed) OpenGLPanel_->update();
}

void TMainForm::ComputeSunMoon() {
    SunMoon = UpdateSunMoon(Clock);
    UpdateSunText(StatusText, DownWorking || ResultHold.Holds(Now()), SunMoon);
}

double TMainForm::Now() const {
    return Clock ? Clock() : SystemUtcNow();
}

void TMainForm::ShowUpdateResult(const std::string& text) {
    StatusText = text;
    ResultHold.Start(Now());
}

void TMainForm::ApplyLightingMode() {
    OpenGLPanel_->makeCurrent();
    if (ShowDayNightBt->isChecked()) {
        Scene.SunLighting();
    } else {
        Scene.RgbLighting();
    }
}

// ---------------------------------------------------------------------------------------------
// Keys and menu

void TMainForm::keyPressEvent(QKeyEvent* event) {
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

void TMainForm::OptionBtClick() {
    MenuPos_ = OptionBt->mapToGlobal(OptionBt->rect().center());
    OptionPopup_->popup(MenuPos_);
}

void TMainForm::OptionBtRightClick(const QPoint& globalPos) {
    MenuPos_ = globalPos;
    OptionPopup_->popup(MenuPos_);
}

void TMainForm::UseServerBtClick(int tag) {
    Settings_.ServerIndex = tag;
    UpdateWeatherBt->setText(QString::fromStdString(UpdateWeatherCaption(tag)));
    if (tag >= 0 && tag <= 10) (tag == 0 ? UseRandServerBt : UseServerBt[tag])->setChecked(true);
    // Reopen the menu at the options button, so that the user sees the choice.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) OptionPopup_->popup(OptionBt->mapToGlobal(OptionBt->rect().center()));
    });
}

void TMainForm::ShowCloudsBtClick() {
    ColorizeBt->setEnabled(ShowCloudsBt->isChecked());
    OpenGLPanel_->update();
}

void TMainForm::ShowTexturingBtClick() {
    ChangeTexturingBt->setEnabled(ShowTexturingBt->isChecked());
    OpenGLPanel_->update();
}

void TMainForm::ChangeTexturingBtClick() {
    if (!SceneBuilt) return;
    OpenGLPanel_->makeCurrent();
    Scene.ChangeEarthTexture(ChangeTexturingBt->isChecked());
    OpenGLPanel_->update();
}

void TMainForm::ShowDayNightBtClick() {
    if (ShowDayNightBt->isChecked()) {
        ComputeSunMoon();
    } else {
        StatusText = texts::TitleText;
    }
    if (SceneBuilt) ApplyLightingMode();
    OpenGLPanel_->update();
}

void TMainForm::ResetViewBtClick() {
    ResetViewpoint(Nav);
    // The timer draws only when it moves the view itself.
    OpenGLPanel_->update();
}

void TMainForm::AboutBtClick() {
    ShowAboutDialog(this, TAboutLinks{Service.HomeUrl, Service.HomeContact, Service.ProdUrl});
}

std::string TMainForm::WaypointFile() const {
    return DataFolder_ + texts::WaypointFileName;
}

void TMainForm::CustomWayBtClick() {
    // The list is complete only once the start-up has built it.
    if (!StartupDone_) return;
    TCustWayContext context;
    context.DrawPoints = &DrawPoints;
    context.ShowCustomWay = &Settings_.ShowCustomWay;
    context.WaypointFile = WaypointFile();
    context.FileWritable = WaypointFileComplete;
    context.OnShow = [this](double lat, double lon) {
        Nav.Proj.Y = static_cast<float>(lat);
        Nav.Proj.X = static_cast<float>(-lon);
        OpenGLPanel_->update();
    };
    context.OnChanged = [this] { OpenGLPanel_->update(); };
    context.OnClose = [this](bool show) {
        try {
            WriteShowCustomWay(IniFile_, show);
        } catch (const TSettingsWriteError& error) {
            ShowError(QString::fromStdString(error.what()));
        }
    };
    ShowCustomWaypointsDialog(this, std::move(context));
}

void TMainForm::SaveFrameBtClick() {
    TSaveViewHooks hooks;
    hooks.ReadFrame = [this](int& w, int& h, std::vector<std::uint8_t>& rgb) {
        return StartupDone_ && ReadPanelFrame(*OpenGLPanel_, w, h, rgb);
    };
    hooks.OptionPanel = OptionPanel;
    hooks.TempFolder = TempFolder_;
    hooks.MapTime =
        CloudsAvailable && MapInfo_.LastMap.Exists ? DateTimeZToLocal(MapInfo_.LastMap) : 0;
    SaveCurrentView(this, SaveFrameDialog, hooks);
}

void TMainForm::ButtonAdvClick(const std::string& url) {
    if (!url.empty()) OpenLink(url);
}

void TMainForm::ApplyFeaturesToMenu() {
    const TFeatures& f = Settings_.Features;
    ShowTexturingBt->setChecked(f.WorldTexturing);
    ShowCountriesBt->setChecked(f.CountryBoundaries);
    ShowNamesBt->setChecked(f.CountryNames);
    ShowDayNightBt->setChecked(f.DayNight);
    ShowTimeZoneBt->setChecked(f.TimeZoneGrid);
    ChangeTexturingBt->setEnabled(f.WorldTexturing);
}

void TMainForm::SyncFeaturesFromMenu() {
    TFeatures& f = Settings_.Features;
    f.WorldTexturing = ShowTexturingBt->isChecked();
    f.CountryBoundaries = ShowCountriesBt->isChecked();
    f.CountryNames = ShowNamesBt->isChecked();
    f.DayNight = ShowDayNightBt->isChecked();
    f.TimeZoneGrid = ShowTimeZoneBt->isChecked();
}

void TMainForm::WriteSettings(bool config1, bool config2) {
    SyncFeaturesFromMenu();
    try {
        if (config2) SaveConfig2(IniFile_, Settings_);
        if (config1) SaveConfig1(IniFile_, Settings_, MapInfo_, Nav.Proj);
    } catch (const TSettingsWriteError& error) {
        ShowError(QString::fromStdString(error.what()));
    }
}

void TMainForm::ShowError(const QString& text) {
    TaskMessageBox(this, QStringLiteral("Error"), text, MbOk, IconError);
}

// ---------------------------------------------------------------------------------------------
// The cloud picture download

bool TMainForm::CloudsFileExists() const {
    return FindCachedClouds(DataFolder_).Type != TypUnk;
}

void TMainForm::UmBeginUpdate() {
    // A request still queued when the window closed starts nothing.
    if (DownWorking || !isVisible()) return;
    const QAction* checked = ServerGroup->checkedAction();
    const unsigned fixed = checked ? static_cast<unsigned>(checked->data().toInt()) : 0;
    const auto index = ChooseServer(fixed, MapInfo_.Map.size());
    if (!index) {
        // Nothing to fetch from: the same end as a download that brought nothing.
        ShowUpdateResult("Error: Cannot download data");
        UpdateText = texts::ErrorHintText;
        CreditText = texts::ErrorHintText2;
        return;
    }
    const TMap& entry = MapInfo_.Map[*index];
    MapInfo_.DownFilter = entry.Filter;
    MapInfo_.DownCredit = entry.Credit;

    TDownInfo info;
    info.Act = ActGetMap;
    info.Url = entry.Url;
    info.Agent = texts::DownloadAgent;
    info.Reference = entry.Url;
    info.InformSize = true;
    info.Compressed = true;
    info.ProgrMsg = UM_PROGRESS;
    info.ProgrForm = this;
    info.ProxyInfo = Settings_.Proxy;
    info.LastMap = CloudsFileExists() ? MapInfo_.LastMap.DateTime : 0;

    Act = ActGetMap;
    StatusText = "Connecting...";
    DownFile = MakeTempFileName(TempFolder_);
    if (DownFile.empty()) {
        Act = ActNone;
        ShowUpdateResult("Error: Cannot download data");
        return;
    }
    info.FileName = DownFile;
    UpdateWeatherBt->setEnabled(false);
    DownWorking = true;
    DownLen = -1;

    DownTh = std::make_unique<TDownThread>(std::move(info), &Synchronizer_,
                                           [this](TDownThread& th) { DownResultsOnMain(th); });
    // The end callback must not free the thread it belongs to; the release comes afterwards.
    DownTh->OnTerminate = [this] {
        DownWorking = false;
        ReleaseEndedWorkersLater();
    };
    DownTh->Start(this);
}

void TMainForm::DownResultsOnMain(TDownThread& thread) {
    UpdateWeatherBt->setEnabled(true);
    DownFile = thread.DownInfo.FileName;
    const TDownOutcome outcome =
        DownResults(thread, Act, MapInfo_, FindCachedClouds(DataFolder_).Path);
    DownPreviousDate = outcome.PreviousDate;
    if (!outcome.StatusText.empty()) ShowUpdateResult(outcome.StatusText);
    if (outcome.ShowHints) {
        UpdateText = texts::ErrorHintText;
        CreditText = texts::ErrorHintText2;
    }
    if (outcome.NewPicture) {
        PostMessage(this, UM_DOWNRESULT, 2, outcome.Type);
    } else if (!DownFile.empty()) {
        // A body that is not used (no newer picture) must not pile up in the temporary folder.
        DeleteFileIfExists(DownFile);
    }
    Act = ActNone;
}

void TMainForm::UmProgress(std::intptr_t wParam, std::intptr_t lParam) {
    if (Act != ActGetMap) return;
    if (lParam == 0) {
        DownLen = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
    } else if (auto text = ProgressStatusText(static_cast<std::uint32_t>(wParam), DownLen)) {
        StatusText = *text;
    }
}

void TMainForm::UmDownResult(std::intptr_t wParam, std::intptr_t lParam) {
    DownWorking = false;
    if (wParam == 2) PostMessage(this, UM_LOADMAP, lParam);
}

void TMainForm::UmLoadMap(std::intptr_t wParam) {
    if (!FileExists(DownFile)) return;
    if (!InstallCloudPicture(DownFile, DataFolder_, static_cast<TTyp>(wParam))) {
        // The picture in hand stays, and so do its date, filter level and credit.
        MapInfo_.LastMap = DownPreviousDate;
        ForgetDownloadLabels(MapInfo_);
        ShowUpdateResult("Error: Cannot download data");
        UpdateText = texts::ErrorHintText;
        CreditText = texts::ErrorHintText2;
        return;
    }
    AdoptDownloadLabels(MapInfo_);
    PostMessage(this, UM_SHOWCLOUDS);
}

// Every filtered cloud picture must be one the texture loader takes.
static_assert(MaxCloudTexturePixels <= MaxJpegPixels && MaxCloudTextureSide <= MaxJpegSide);

void TMainForm::UmShowClouds() {
    CloudsAvailable = false;
    if (!SceneBuilt) return;
    const TCachedClouds cached = FindCachedClouds(DataFolder_);
    const std::uint8_t filter =
        CloudFilterLevel(Settings_.AutoFilter, MapInfo_.DownFilter, Settings_.UserFilterVal);
    const bool colour = ColorizeBt->isChecked();
    CloudStream.clear();
    OpenGLPanel_->makeCurrent();
    if (cached.Type != TypUnk)
        FilterCloudPicture(cached.Path, &CloudStream, cached.Type, colour, filter,
                           MaxTextureSide());
    if (CloudStream.empty()) return;
    if (!Scene.SetCloudTexture(CloudStream)) return;
    MapInfo_.AutoFilterVal = MapInfo_.DownFilter;
    MapInfo_.Credit = MapInfo_.DownCredit;
    CloudsAvailable = true;
    UpdateText = CloudsUpdatedText(MapInfo_.LastMap);
    CreditText = MapInfo_.Credit;
}

void TMainForm::CancelDownload() {
    // Also a thread that has reported but not yet ended: nothing may outlive the window.
    if (DownTh) {
        Act = ActNone;
        DownWorking = false;
        DownTh->DetachEndCallback();
        DownTh->Terminate();
        TDownThread* thread = DownTh.get();
        Synchronizer_.WaitUntil([thread] { return thread->Finished(); });
        DownTh.reset();
        UpdateWeatherBt->setEnabled(true);
    }
    if (!DownFile.empty()) DeleteFileIfExists(DownFile);
}

// ---------------------------------------------------------------------------------------------
// The server catalogue

void TMainForm::UmGetCatalogue() {
    WorkFile = MakeTempFileName(TempFolder_);
    WorkWorking = true;
    TWorkInfo info;
    info.Url = CatalogueRequestUrl(Settings_.CatalogueUrl);
    info.FileName = WorkFile;
    info.Proxy = Settings_.Proxy;
    info.MainHandle = this;
    if (WorkFile.empty()) info.Url.clear(); // nowhere to put it: end as a failed transfer
    WorkTh = std::make_unique<TWorkTh>(std::move(info));
    WorkTh->OnTerminate = [this] {
        WorkWorking = false;
        ReleaseEndedWorkersLater();
    };
    WorkTh->Start(this);
}

void TMainForm::UmCatalogue(std::intptr_t wParam) {
    // A fetch stopped by closing still reports; the closed window must not start an update.
    if (!isVisible()) return;
    if (wParam == 1 && FileExists(WorkFile)) {
        const TCatalogue catalogue = ReadCatalogue(WorkFile);
        DeleteFileIfExists(WorkFile);
        ApplyCatalogue(catalogue);
        ShowNotices(catalogue);
        if (!isVisible()) return; // the user took the update offer and the window closed
    }
    ReleaseEndedWorkers();
    WorkWorking = WorkTh != nullptr;
    UpdateWeatherBt->setEnabled(true);
    if (!CloudsFileExists()) UpdateWeatherBt->trigger();
}

void TMainForm::ApplyCatalogue(const TCatalogue& catalogue) {
    if (!catalogue.IdentityOk) return;
    ApplyServiceLinks(catalogue, Service);
    if (!MapInfo_.UseDirectUrl) {
        if (catalogue.ServerCount > 0) MapInfo_.Map = catalogue.Servers;
        for (int k = 1; k <= 10; ++k) {
            const bool listed = MapInfo_.Map.size() >= static_cast<size_t>(k);
            UseServerBt[k]->setVisible(listed);
            UseServerBt[k]->setEnabled(listed);
        }
        const int index = Settings_.ServerIndex;
        (index >= 1 && index <= 10 ? UseServerBt[index] : UseRandServerBt)->setChecked(true);
    }
    if (catalogue.LinkCount > 0) {
        OptionPopup_->addSeparator();
        for (const TButOn& link : catalogue.Links) {
            QAction* item = OptionPopup_->addAction(MenuCaption(link.Caption));
            item->setObjectName(QString::fromStdString("ptr" + link.Section));
            if (link.Icon >= 0 && link.Icon < ButImages.size()) item->setIcon(ButImages[link.Icon]);
            const std::string url = link.Url;
            connect(item, &QAction::triggered, this, [this, url] { ButtonAdvClick(url); });
        }
    }
}

void TMainForm::ShowNotices(const TCatalogue& catalogue) {
    // Notices at most once a day; the day is remembered beside the settings.
    const std::string noticeFile = DataFolder_ + texts::NoticeFileName;
    Service.DateShown =
        TIniFile(noticeFile).ReadString(texts::NoticeSection, texts::DateShownKey, "");
    const std::string today =
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    if (!TakeNoticeDay(Service, today)) return;
    try {
        TIniFile(noticeFile).WriteString(texts::NoticeSection, texts::DateShownKey, today);
    } catch (const TSettingsWriteError&) {
        // Not remembering the day only means the notices may come again today.
    }
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

void TMainForm::ReleaseEndedWorkers() {
    if (DownTh && DownTh->Finished()) {
        DownTh.reset();
        DownWorking = false;
    }
    if (WorkTh && WorkTh->Finished()) {
        WorkTh.reset();
        WorkWorking = false;
    }
}

void TMainForm::ReleaseEndedWorkersLater() {
    PostCall(this, [this] { ReleaseEndedWorkers(); });
}

void TMainForm::CancelCatalogue() {
    if (WorkTh) {
        WorkTh->DetachEndCallback();
        WorkTh->Terminate();
        TWorkTh* thread = WorkTh.get();
        Synchronizer_.WaitUntil([thread] { return thread->Finished(); });
        WorkTh.reset();
        WorkWorking = false;
    }
    if (!WorkFile.empty()) DeleteFileIfExists(WorkFile);
}

// ---------------------------------------------------------------------------------------------
// Closing

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The drawing panel fills the window; the options button stays in the top-right corner.
    OpenGLPanel_->setGeometry(rect());
    OptionPanel->move(width() - 4 - OptionPanel->width(), 5);
    OptionPanel->raise();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void TMainForm::FormCloseQuery() {
    MovTimer->stop();
    CancelDownload();
    CancelCatalogue();
    if (ConfigDialogOpen) WriteSettings(false, true);
    WriteSettings(true, false);
}

void TMainForm::FormDestroy() {
    // A window destroyed without being closed still stops its workers before anything goes.
    if (DownTh || WorkTh) {
        CancelDownload();
        CancelCatalogue();
    }
    if (SceneBuilt) {
        OpenGLPanel_->makeCurrent();
        Scene.Release();
        OpenGLPanel_->doneCurrent();
    }
}

} // namespace nimbora
