#include "app/RenderCommand.h"

#include "app/RenderTargets.h"
#include "app/SceneSetup.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "core/Cp1252.h"
#include "core/Messages.h"
#include "core/Names.h"
#include "core/Synchronize.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "render/OffscreenRender.h"
#include "render/countries.h"
#include "resources/Resources.h"
#include "ui/SaveView.h"
#include "waypoints/WaypointFile.h"
#include "weather/CloudCache.h"
#include "weather/DownloadSupport.h"
#include "weather/ThDown.h"
#include "weather/ThSrvc.h"
#include "weather/WeatherTexts.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QEventLoop>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace nimbora {

namespace {

constexpr int ExitOk = 0, ExitFailed = 1, ExitUsage = 2;
constexpr int FallbackWidth = 1920, FallbackHeight = 1080;

void PrintError(const std::string& text) {
    std::fprintf(stderr, "nimbora: %s\n", text.c_str());
}

void PrintStatus(const std::string& cp1252) {
    std::printf("%s\n", Cp1252ToUtf8(cp1252).c_str());
    std::fflush(stdout);
}

// Without a display server there is no screen to ask; Qt's offscreen platform still gives the
// fonts that the status texts are built from. With a display the screen's size is the default.
void ChooseQtPlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    qputenv("QT_QPA_PLATFORM", wayland ? "wayland;xcb;offscreen"
                               : x11   ? "xcb;offscreen"
                                       : "offscreen");
}

bool ParseNumber(const QString& text, double& value) {
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

// The cloud picture update of the window's "Update weather", reporting to standard output.
class TRenderUpdate : public QObject {
public:
    TRenderUpdate(const std::string& dataFolder, TSettings& settings, TMapInfo& mapInfo)
        : DataFolder(dataFolder), TempFolder(nimbora::TempFolder()), Settings(settings),
          MapInfo(mapInfo) {}
    ~TRenderUpdate() override { StopWorkers(); }

    // Runs the update to its end, or until timeoutMs have passed (then TimedOut() is true and
    // the picture in hand stays). The result text, if any, is what the window's first status
    // line would show; true when a new picture was installed.
    bool Run(std::string& resultText, int timeoutMs) {
        Deadline.setSingleShot(true);
        QObject::connect(&Deadline, &QTimer::timeout, &Loop, [this] {
            Expired = true;
            Loop.quit();
        });
        Deadline.start(timeoutMs);
        if (Settings.GetCatalogue && !MapInfo.UseDirectUrl)
            GetCatalogue();
        else
            BeginUpdate();
        if (!Done && !Expired) Loop.exec();
        Deadline.stop();
        if (Expired && !Done) {
            // A result that arrives while the workers stop takes nothing.
            Act = ActNone;
            StopWorkers();
            if (!Installed) ResultText = "Error: The update took too long";
        }
        if (DownTh) {
            DownTh->Join();
            DownTh.reset();
        }
        resultText = ResultText;
        return Installed;
    }
    bool TimedOut() const { return Expired && !Installed; }

protected:
    bool event(QEvent* event) override {
        if (IsMessageEvent(event)) {
            if (Expired) return true; // a late catalogue must not start a download
            const auto* m = static_cast<const TMessageEvent*>(event);
            if (m->Message == UM_CATALOGUE) Catalogue(m->WParam);
            if (m->Message == UM_PROGRESS) Progress(m->WParam, m->LParam);
            return true;
        }
        if (event->type() == TSynchronizer::EventType) {
            Synchronizer.RunPending();
            return true;
        }
        if (event->type() == TCallEvent::EventType) {
            static_cast<TCallEvent*>(event)->Call();
            return true;
        }
        return QObject::event(event);
    }

private:
    void GetCatalogue() {
        WorkFile = MakeTempFileName(TempFolder);
        TWorkInfo info;
        info.Url = CatalogueRequestUrl(Settings.CatalogueUrl);
        info.FileName = WorkFile;
        info.Proxy = Settings.Proxy;
        info.MainHandle = this;
        if (WorkFile.empty()) info.Url.clear();
        WorkTh = std::make_unique<TWorkTh>(std::move(info));
        WorkTh->Start(this);
    }

    void Catalogue(std::intptr_t wParam) {
        if (wParam == WpCatalogueOk && FileExists(WorkFile)) {
            const TCatalogue catalogue = ReadCatalogue(WorkFile);
            if (catalogue.IdentityOk && catalogue.ServerCount > 0) MapInfo.Map = catalogue.Servers;
        }
        if (!WorkFile.empty()) DeleteFileIfExists(WorkFile);
        WorkFile.clear();
        if (WorkTh) {
            WorkTh->Join();
            WorkTh.reset();
        }
        BeginUpdate();
    }

    void BeginUpdate() {
        const auto index =
            ChooseServer(static_cast<unsigned>(Settings.ServerIndex), MapInfo.Map.size());
        DownFile = index ? MakeTempFileName(TempFolder) : std::string();
        if (DownFile.empty()) {
            Finish("Error: Cannot download data");
            return;
        }
        const TMap& server = MapInfo.Map[*index];
        MapInfo.DownFilter = server.Filter;
        MapInfo.DownCredit = server.Credit;
        Act = ActGetMap;
        PrintStatus("Connecting...");
        const bool inHand = FindCachedClouds(DataFolder).Type != TypUnk;
        TDownInfo info = MakeDownInfo(server, Settings.Proxy, inHand ? MapInfo.LastMap.DateTime : 0,
                                      DownFile, this);
        DownTh = std::make_unique<TDownThread>(std::move(info), &Synchronizer,
                                               [this](TDownThread& th) { Results(th); });
        // The end callback must not free its own thread: Run releases it after the loop.
        DownTh->OnTerminate = [this] {
            Done = true;
            Loop.quit();
        };
        DownTh->Start(this);
    }

    void Progress(std::intptr_t wParam, std::intptr_t lParam) {
        if (Act != ActGetMap) return;
        if (lParam == LpProgressLength) {
            DownLen = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
        } else if (auto text = ProgressStatusText(static_cast<std::uint32_t>(wParam), DownLen)) {
            // Only the tens: a status line per percent would flood a log.
            if (*text != LastProgress && (text->find("0%") != std::string::npos)) {
                LastProgress = *text;
                PrintStatus(*text);
            }
        }
    }

    // On the main thread, as the worker's last act.
    void Results(TDownThread& thread) {
        const TDownOutcome outcome =
            DownResults(thread, Act, MapInfo, FindCachedClouds(DataFolder).Path);
        Act = ActNone;
        std::string text = outcome.StatusText;
        if (outcome.NewPicture) {
            const TInstallResult installed =
                InstallCloudPicture(DownFile, DataFolder, outcome.Type, DownloadFacts(MapInfo));
            if (installed.Installed) {
                AdoptDownloadLabels(MapInfo);
                Installed = true;
            } else {
                MapInfo.LastMap = outcome.PreviousDate;
                ForgetDownloadLabels(MapInfo);
                text = installed.ErrorText;
            }
        }
        DeleteFileIfExists(DownFile);
        DownFile.clear();
        if (!text.empty()) PrintStatus(text);
        ResultText = text;
    }

    // Asks a worker to stop and waits for it; a result it still delivers runs meanwhile.
    template <class TThread> void Stop(std::unique_ptr<TThread>& worker) {
        if (!worker) return;
        worker->DetachEndCallback();
        worker->Terminate();
        TThread* thread = worker.get();
        Synchronizer.WaitUntil([thread] { return thread->Finished(); });
        worker.reset();
    }

    void StopWorkers() {
        Stop(DownTh);
        Stop(WorkTh);
        if (!DownFile.empty()) DeleteFileIfExists(DownFile);
        if (!WorkFile.empty()) DeleteFileIfExists(WorkFile);
        DownFile.clear();
        WorkFile.clear();
    }

    void Finish(const std::string& text) {
        PrintStatus(text);
        ResultText = text;
        Done = true;
        Loop.quit();
    }

    std::string DataFolder, TempFolder;
    TSettings& Settings;
    TMapInfo& MapInfo;
    TSynchronizer Synchronizer{this};
    QEventLoop Loop;
    QTimer Deadline;
    std::unique_ptr<TDownThread> DownTh;
    std::unique_ptr<TWorkTh> WorkTh;
    std::string DownFile, WorkFile, ResultText, LastProgress;
    std::int32_t DownLen = -1;
    TAct Act = ActNone;
    bool Done = false, Installed = false, Expired = false;
};

void ApplyOptions(const TRenderOptions& o, TSettings& settings, TMapInfo& mapInfo) {
    TFeatures& f = settings.Features;
    if (o.DayNight) f.DayNight = *o.DayNight;
    if (o.Clouds) f.Clouds = *o.Clouds;
    if (o.Names) f.CountryNames = *o.Names;
    if (o.Boundaries) f.CountryBoundaries = *o.Boundaries;
    if (o.TimeZones) f.TimeZoneGrid = *o.TimeZones;
    f.DetailedTexturing = o.Detailed;
    if (o.HasView) {
        LookDownOn(mapInfo.LastPos, o.Lat, o.Lon);
        if (o.Distance) mapInfo.LastPos.Z = static_cast<float>(-*o.Distance);
    }
}

int DrawAndWrite(const TRenderOptions& o, int width, int height, const std::string& dataFolder,
                 TSettings& settings, TMapInfo& mapInfo, TStatusLines lines) {
    TOffscreenRender offscreen;
    std::string error;
    if (!offscreen.Create(error)) {
        PrintError(error);
        return ExitFailed;
    }
    const int limit = std::min(MaxRenderSide, offscreen.MaxSide());
    if (width > limit || height > limit) {
        PrintError("The size " + std::to_string(width) + "x" + std::to_string(height) +
                   " is larger than this OpenGL allows (" + std::to_string(limit) + "x" +
                   std::to_string(limit) + ")");
        return ExitUsage;
    }
    if (!offscreen.MakeFramebuffer(width, height, error)) {
        PrintError(error);
        return ExitFailed;
    }

    // The window's start-up steps, with the lights at once at their full colours.
    TScene scene;
    TDrawPointList drawPoints;
    scene.PrepareLightFade(settings.Lighting);
    AddNamePoints(drawPoints);
    LoadCustomWaypoints(dataFolder + texts::WaypointFileName, drawPoints);
    if (!scene.Build(settings.Lighting)) {
        PrintError("Cannot build the scene");
        return ExitFailed;
    }
    scene.ApplyLightColoursNow(settings.Lighting);
    scene.OpenGLPanelResize(width, height, PictureScale(width, height));
    if (settings.Features.DetailedTexturing) scene.ChangeEarthTexture(true);

    std::vector<std::uint8_t> stream;
    const bool clouds = ShowCachedClouds(scene, dataFolder, settings, mapInfo, stream, lines);
    if (!clouds) PrintStatus("No cloud picture in hand: the globe is drawn without clouds.");

    TNavState nav;
    RestoreView(nav, mapInfo.LastPos);
    TSunMoon sunMoon;
    if (settings.Features.DayNight) {
        const TUtcClock clock = o.Time ? TUtcClock([t = *o.Time] { return t; }) : SystemUtcNow;
        sunMoon = UpdateSunMoon(clock);
        UpdateSunText(lines.Status, false, sunMoon);
    }
    TFrameState frame = MakeFrameState(settings, nav, sunMoon, clouds, drawPoints, lines);
    frame.ShowAxis = !o.NoAxis;
    if (o.NoStatus) frame.StatusText = frame.UpdateText = frame.CreditText = {};
    scene.RenderScene(frame, settings.Lighting);
    std::vector<std::uint8_t> rgb;
    const bool read = offscreen.Read(rgb);
    scene.Release();
    if (!read) {
        PrintError("Cannot read the drawn picture");
        return ExitFailed;
    }
    const TFrameImage image = FrameFromBottomUp(width, height, std::move(rgb));
    error = StoreFrame(image, o.Target);
    if (!error.empty()) {
        PrintError(error);
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

bool IsRenderCommand(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        for (const char* name : {"--render", "--output-per-screen"}) {
            const std::size_t n = std::strlen(name);
            if (std::strncmp(a, name, n) == 0 && (a[n] == 0 || a[n] == '=')) return true;
        }
        for (const char* name : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(a, name) == 0) return true;
    }
    return false;
}

namespace {

// Qt's own options, which QApplication takes out of the arguments (with one dash or two).
struct TQtOption {
    const char* Name;
    bool TakesValue;
};
constexpr TQtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"visual", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"testability", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
};
// The same options written with "=" and their value in one argument.
constexpr const char* QtJoinedOptions[] = {"style=", "stylesheet=", "qmljsdebugger="};

// Whether argv[i] (with the value after it, if it takes one) is an option of the picture mode,
// given without the --render that makes it mean something.
bool IsPictureOption(int argc, char* argv[], int i) {
    for (int count = 1; count <= 2 && i + count <= argc; ++count) {
        QStringList arguments{QStringLiteral("nimbora"), QStringLiteral("--render"),
                              QStringLiteral("x.png")};
        for (int j = i; j < i + count; ++j)
            arguments << QString::fromLocal8Bit(argv[j]);
        TRenderOptions options;
        std::string error;
        if (ParseRenderOptions(arguments, options, error)) return true;
    }
    return false;
}

} // namespace

std::string CheckWindowArguments(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.size() < 2 || argument[0] != '-')
            return "unexpected argument \"" + argument + "\" (see --help)";
        const std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        const TQtOption* known = nullptr;
        for (const TQtOption& option : QtOptions)
            if (name == option.Name) known = &option;
        bool joined = false;
        for (const char* prefix : QtJoinedOptions)
            joined = joined || (name.rfind(prefix, 0) == 0);
        if (!known && !joined) {
            if (IsPictureOption(argc, argv, i))
                return "the option \"" + argument + "\" works only with --render FILE (see --help)";
            return "unknown option \"" + argument + "\" (see --help)";
        }
        if (known && known->TakesValue && ++i >= argc)
            return "the option \"" + argument + "\" needs a value (see --help)";
    }
    return {};
}

bool ParseRenderOptions(const QStringList& arguments, TRenderOptions& o, std::string& error,
                        std::string* helpText) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Without options, nimbora opens the globe in its window. The window also takes Qt's own\n"
        "options, such as -platform NAME, -display HOST:N, -geometry WxH+X+Y and -style NAME.\n"
        "\n"
        "With --render FILE it draws the globe with its clouds into a picture file instead,\n"
        "without a window or a display, using these options:"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption render(
        QStringLiteral("render"), QStringLiteral("Write the picture to <file> (.jpg, .png, .bmp)."),
        QStringLiteral("file"));
    const QCommandLineOption size(
        QStringLiteral("size"),
        QStringLiteral("Picture size, e.g. 1920x1080, or screen (the default: the screen's, "
                       "else 1920x1080; at most 8192x8192)."),
        QStringLiteral("WxH"));
    const QCommandLineOption update(QStringLiteral("update"),
                                    QStringLiteral("Fetch a newer cloud picture first."));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Give up the update after this many seconds and draw with the cloud "
                       "picture in hand (default 120)."),
        QStringLiteral("seconds"));
    const QCommandLineOption view(
        QStringLiteral("view"),
        QStringLiteral("Look down on latitude,longitude in degrees, from distance (5.5 to 40; "
                       "the globe's radius is 5), or on a place by name: a country, a sea, a "
                       "waypoint, sun or moon."),
        QStringLiteral("lat,lon[,distance]|name"));
    const QCommandLineOption noStatus(QStringLiteral("no-status"),
                                      QStringLiteral("Leave the status text out."));
    const QCommandLineOption noAxis(QStringLiteral("no-axis"),
                                    QStringLiteral("Leave the polar axis line out."));
    const QCommandLineOption perScreen(
        QStringLiteral("output-per-screen"),
        QStringLiteral("Write one picture per screen at its size instead, %n in <pattern> "
                       "being the screen's number (e.g. globe-%n.png)."),
        QStringLiteral("pattern"));
    const QCommandLineOption dayNight(QStringLiteral("daynight"),
                                      QStringLiteral("Light the globe by the sun."));
    const QCommandLineOption rgb(QStringLiteral("rgb"),
                                 QStringLiteral("Light the globe evenly (no day and night)."));
    const QCommandLineOption noClouds(QStringLiteral("no-clouds"),
                                      QStringLiteral("Leave the clouds out."));
    const QCommandLineOption names(QStringLiteral("names"), QStringLiteral("Show country names."));
    const QCommandLineOption noNames(QStringLiteral("no-names"),
                                     QStringLiteral("Hide country names."));
    const QCommandLineOption boundaries(QStringLiteral("boundaries"),
                                        QStringLiteral("Show country boundaries."));
    const QCommandLineOption noBoundaries(QStringLiteral("no-boundaries"),
                                          QStringLiteral("Hide country boundaries."));
    const QCommandLineOption timeZones(QStringLiteral("timezones"),
                                       QStringLiteral("Show the time zone grid."));
    const QCommandLineOption noTimeZones(QStringLiteral("no-timezones"),
                                         QStringLiteral("Hide the time zone grid."));
    const QCommandLineOption detailed(QStringLiteral("detailed"),
                                      QStringLiteral("Use the detailed earth picture."));
    const QCommandLineOption time(
        QStringLiteral("time"),
        QStringLiteral("Place sun and moon for this instant, e.g. 2024-03-20T12:00:00Z "
                       "(without a zone: local time)."),
        QStringLiteral("ISO8601"));
    for (const QCommandLineOption* option :
         {&render, &size, &update, &timeout, &view, &dayNight, &rgb, &noClouds, &names, &noNames,
          &boundaries, &noBoundaries, &timeZones, &noTimeZones, &detailed, &time, &noStatus,
          &noAxis, &perScreen})
        parser.addOption(*option);
    if (helpText) *helpText = parser.helpText().toStdString();

    o = TRenderOptions();
    if (!parser.parse(arguments)) {
        error = parser.errorText().toStdString();
        return false;
    }
    o.Help = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    o.Version = parser.isSet(version);
    if (o.Help || o.Version) return true;
    if (!parser.positionalArguments().isEmpty()) {
        error = "Unexpected argument: " + parser.positionalArguments().first().toStdString();
        return false;
    }
    o.Target = parser.value(render).toStdString();
    o.PerScreenPattern = parser.value(perScreen).toStdString();
    if (o.Target.empty() == o.PerScreenPattern.empty()) {
        error = o.Target.empty() ? "Missing --render FILE"
                                 : "--render and --output-per-screen exclude each other";
        return false;
    }
    const std::string ext = LowerExtension(o.Target + o.PerScreenPattern);
    if (ext != ".jpg" && ext != ".jpeg" && ext != ".png" && ext != ".bmp") {
        error = "The picture file must end in .jpg, .png or .bmp: " + o.Target + o.PerScreenPattern;
        return false;
    }
    if (parser.isSet(size) && parser.value(size).trimmed() != QLatin1String("screen")) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9})[xX](\\d{1,9})$"));
        const auto match = pattern.match(parser.value(size).trimmed());
        const long long w = match.hasMatch() ? match.captured(1).toLongLong() : 0;
        const long long h = match.hasMatch() ? match.captured(2).toLongLong() : 0;
        if (w < 1 || h < 1 || w > MaxRenderSide || h > MaxRenderSide) {
            error = "Bad size \"" + parser.value(size).toStdString() +
                    "\": give WxH with each side from 1 to " + std::to_string(MaxRenderSide);
            return false;
        }
        o.Width = static_cast<int>(w);
        o.Height = static_cast<int>(h);
    }
    o.Update = parser.isSet(update);
    if (parser.isSet(timeout)) {
        if (!ParseNumber(parser.value(timeout), o.Timeout) || o.Timeout <= 0 ||
            o.Timeout > MaxRenderTimeout) {
            error = "Bad timeout \"" + parser.value(timeout).toStdString() +
                    "\": give the seconds the update may take, more than 0 and at most " +
                    std::to_string(static_cast<int>(MaxRenderTimeout));
            return false;
        }
    }
    if (parser.isSet(view)) {
        const QStringList parts = parser.value(view).split(QLatin1Char(','));
        double distance = 0;
        const bool ok = (parts.size() == 2 || parts.size() == 3) && ParseNumber(parts[0], o.Lat) &&
                        ParseNumber(parts[1], o.Lon) &&
                        (parts.size() == 2 || ParseNumber(parts[2], distance));
        // A name has a letter, and no digit if it has a comma ("nan,0" is a mistyped number).
        static const QRegularExpression letter(QStringLiteral("[^\\W\\d_]")),
            digit(QStringLiteral("\\d"));
        const QString text = parser.value(view);
        const bool name =
            !ok && text.contains(letter) && !(text.contains(',') && text.contains(digit));
        if (name) o.ViewName = text.trimmed().toStdString();
        if (!name && (!ok || std::fabs(o.Lat) > 90 || std::fabs(o.Lon) > 180 ||
                      (parts.size() == 3 && (distance < -ZoomNear || distance > -ZoomFar)))) {
            error = "Bad view \"" + parser.value(view).toStdString() +
                    "\": give LAT,LON[,DISTANCE] with LAT -90..90, LON -180..180, DISTANCE " +
                    "5.5..40";
            return false;
        }
        o.HasView = !name;
        if (!name && parts.size() == 3) o.Distance = distance;
    }
    auto pair = [&](const QCommandLineOption& on, const QCommandLineOption& off,
                    std::optional<bool>& value) {
        if (parser.isSet(on) && parser.isSet(off)) {
            error = "--" + on.names().first().toStdString() + " and --" +
                    off.names().first().toStdString() + " exclude each other";
            return false;
        }
        if (parser.isSet(on)) value = true;
        if (parser.isSet(off)) value = false;
        return true;
    };
    if (!pair(dayNight, rgb, o.DayNight) || !pair(names, noNames, o.Names) ||
        !pair(boundaries, noBoundaries, o.Boundaries) || !pair(timeZones, noTimeZones, o.TimeZones))
        return false;
    if (parser.isSet(noClouds)) o.Clouds = false;
    o.NoStatus = parser.isSet(noStatus);
    o.NoAxis = parser.isSet(noAxis);
    o.Detailed = parser.isSet(detailed);
    if (parser.isSet(time)) {
        QDateTime t = QDateTime::fromString(parser.value(time).trimmed(), Qt::ISODateWithMs);
        if (!t.isValid()) {
            error = "Bad time \"" + parser.value(time).toStdString() +
                    "\": give an ISO 8601 instant such as 2024-03-20T12:00:00Z";
            return false;
        }
        // Day count since 1899-12-30, UTC.
        o.Time = static_cast<double>(t.toMSecsSinceEpoch()) / 86400000.0 + 25569.0;
    }
    return true;
}

int RunRenderCommand(int argc, char* argv[]) {
    ChooseQtPlatform();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QString::fromLatin1(texts::ProductName));
    QGuiApplication::setApplicationVersion(QStringLiteral(NIMBORA_VERSION));

    TRenderOptions o;
    std::string error, help;
    if (!ParseRenderOptions(QGuiApplication::arguments(), o, error, &help)) {
        PrintError(error + " (see --help)");
        return ExitUsage;
    }
    if (o.Help) {
        std::printf("%s", help.c_str());
        return ExitOk;
    }
    if (o.Version) {
        std::printf("%s %s\n", texts::ProductName, NIMBORA_VERSION);
        return ExitOk;
    }

    // The screens in pixels, the primary one first: its size is the default.
    std::vector<TScreenSize> screens;
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QSize pixels = screen->size() * screen->devicePixelRatio();
            const TScreenSize size{pixels.width(), pixels.height()};
            if (screen == QGuiApplication::primaryScreen())
                screens.insert(screens.begin(), size);
            else
                screens.push_back(size);
        }
    int width = FallbackWidth, height = FallbackHeight;
    if (!screens.empty() && screens.front().Width > 0 && screens.front().Height > 0) {
        width = std::min(screens.front().Width, MaxRenderSide);
        height = std::min(screens.front().Height, MaxRenderSide);
    }

    // The window's settings and data, read only: this mode never writes the settings file.
    const std::string dataFolder = DataFolder(texts::MakerFolder, texts::ProductFolder);
    const std::string iniFile =
        dataFolder + SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
    InitNimboraResources();
    DropCutShortCachedJpeg(dataFolder);
    RemoveStaleTemps(dataFolder, iniFile);
    TSettings settings;
    TMapInfo mapInfo;
    mapInfo.Map.push_back(
        TMap{texts::BuiltInServerUrl, texts::BuiltInServerFilter, texts::BuiltInServerCredit});
    ReadSettings(iniFile, dataFolder, settings, mapInfo);
    if (!ResolveViewName(o, dataFolder, error)) {
        PrintError(error);
        return ExitUsage;
    }
    ApplyOptions(o, settings, mapInfo);

    TStatusLines lines{texts::TitleText, texts::InitialUpdateText,
                       mapInfo.Credit.empty() ? std::string(texts::FallbackCredit)
                                              : mapInfo.Credit};
    if (o.Update) {
        std::string result;
        TRenderUpdate update(dataFolder, settings, mapInfo);
        const int timeoutMs = static_cast<int>(std::ceil(o.Timeout * 1000));
        if (!update.Run(result, timeoutMs)) {
            if (update.TimedOut()) {
                PrintError("The update took longer than " +
                           QString::number(o.Timeout).toStdString() +
                           " s (--timeout) and was stopped.");
            }
            const bool inHand = FindCachedClouds(dataFolder).Type != TypUnk;
            PrintStatus(inHand ? "No new cloud picture: drawing with the one in hand."
                               : "No new cloud picture, and none in hand.");
        }
        if (!result.empty()) lines.Status = result;
    }
    std::string note;
    for (const TPictureJob& job : PictureJobs(o, screens, note)) {
        if (!note.empty()) PrintStatus(note);
        o.Target = job.Target;
        const int status =
            DrawAndWrite(o, job.Width ? job.Width : width, job.Height ? job.Height : height,
                         dataFolder, settings, mapInfo, lines);
        if (status != ExitOk) return status;
    }
    return ExitOk;
}

} // namespace nimbora
