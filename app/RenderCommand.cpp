#include "app/RenderCommand.h"

#include "app/RenderTargets.h"
#include "app/SceneSetup.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "core/Cp1252.h"
#include "core/Names.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "render/OffscreenRender.h"
#include "render/countries.h"
#include "resources/Resources.h"
#include "ui/SaveView.h"
#include "waypoints/WaypointFile.h"
#include "weather/CloudCache.h"
#include "weather/CloudUpdate.h"
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

// How the update of --update ended.
struct TUpdateRun {
    std::string ResultText; // what the window's first status line would show, if anything
    bool Installed = false;
    bool TimedOut = false; // stopped at timeoutMs; the picture in hand stays
};

// The window's "Update weather", its status texts on standard output.
TUpdateRun RunUpdate(const std::string& dataFolder, const TSettings& settings,
                     TMapInfo& mapInfo, int timeoutMs) {
    TUpdateRun run;
    QEventLoop loop;
    TCloudUpdate update(mapInfo, dataFolder, TempFolder());
    std::string lastProgress;
    bool finished = false;
    update.OnProgress = [&](const std::string& text) {
        // Of the percentages only the tens: a status line per percent would flood a log.
        const bool percent = text.rfind("Downloading ", 0) == 0;
        if (percent && (text == lastProgress || text.find("0%") == std::string::npos)) return;
        lastProgress = text;
        PrintStatus(text);
    };
    const auto server = static_cast<unsigned>(settings.ServerIndex);
    update.OnCatalogue = [&](const TCatalogue* catalogue) {
        if (catalogue && catalogue->IdentityOk && catalogue->ServerCount > 0)
            mapInfo.Map = catalogue->Servers;
        update.Start(server, settings.Proxy, settings.History);
    };
    update.OnFinished = [&](const TCloudUpdateResult& result) {
        if (!result.StatusText.empty()) PrintStatus(result.StatusText);
        if (!result.HistoryText.empty()) PrintStatus(result.HistoryText);
        run.ResultText = result.StatusText;
        run.Installed = result.Installed;
        finished = true;
        loop.quit();
    };
    QTimer::singleShot(timeoutMs, &loop, [&] {
        if (finished) return;
        run.TimedOut = true;
        run.ResultText = "Error: The update took too long";
        loop.quit();
    });
    if (settings.GetCatalogue && !mapInfo.UseDirectUrl)
        update.FetchCatalogue(settings.CatalogueUrl, settings.Proxy);
    else
        update.Start(server, settings.Proxy, settings.History);
    loop.exec();
    return run; // the update is stopped as it goes, and what it had begun is thrown away
}

void ApplyOptions(const TRenderOptions& o, TSettings& settings, TMapInfo& mapInfo) {
    TFeatures& f = settings.Features;
    if (o.DayNight) f.DayNight = *o.DayNight;
    if (o.Clouds) f.Clouds = *o.Clouds;
    if (o.Names) f.CountryNames = *o.Names;
    if (o.Boundaries) f.CountryBoundaries = *o.Boundaries;
    if (o.TimeZones) f.TimeZoneGrid = *o.TimeZones;
    if (o.CityLights) f.CityLights = *o.CityLights;
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
    // --time: the kept picture of that time when the history reaches it, else the one in hand.
    bool clouds = o.Time && settings.Features.Clouds &&
                  ShowHistoryClouds(scene, dataFolder, *o.Time, settings, mapInfo, stream, lines);
    if (!clouds) clouds = ShowCachedClouds(scene, dataFolder, settings, mapInfo, stream, lines);
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
    const QCommandLineOption cityLights(
        QStringLiteral("city-lights"),
        QStringLiteral("Show the cities' lights on the night side (with --daynight)."));
    const QCommandLineOption noCityLights(QStringLiteral("no-city-lights"),
                                          QStringLiteral("Leave the cities' lights out."));
    const QCommandLineOption detailed(QStringLiteral("detailed"),
                                      QStringLiteral("Use the detailed earth picture."));
    const QCommandLineOption time(
        QStringLiteral("time"),
        QStringLiteral("Place sun and moon for this instant, e.g. 2024-03-20T12:00:00Z "
                       "(without a zone: local time), and draw the kept cloud picture nearest "
                       "to it."),
        QStringLiteral("ISO8601"));
    for (const QCommandLineOption* option :
         {&render, &size, &update, &timeout, &view, &dayNight, &rgb, &noClouds, &names, &noNames,
          &boundaries, &noBoundaries, &timeZones, &noTimeZones, &cityLights, &noCityLights,
          &detailed, &time, &noStatus, &noAxis, &perScreen})
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
        !pair(boundaries, noBoundaries, o.Boundaries) ||
        !pair(timeZones, noTimeZones, o.TimeZones) || !pair(cityLights, noCityLights, o.CityLights))
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
        const int timeoutMs = static_cast<int>(std::ceil(o.Timeout * 1000));
        const TUpdateRun run = RunUpdate(dataFolder, settings, mapInfo, timeoutMs);
        if (!run.Installed) {
            if (run.TimedOut) {
                PrintError("The update took longer than " +
                           QString::number(o.Timeout).toStdString() +
                           " s (--timeout) and was stopped.");
            }
            const bool inHand = FindCachedClouds(dataFolder).Type != TypUnk;
            PrintStatus(inHand ? "No new cloud picture: drawing with the one in hand."
                               : "No new cloud picture, and none in hand.");
        }
        if (!run.ResultText.empty()) lines.Status = run.ResultText;
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
