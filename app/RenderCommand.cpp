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
#include "render/Textures.h"
#include "render/countries.h"
#include "resources/Resources.h"
#include "ui/SaveView.h"
#include "waypoints/WaypointFile.h"
#include "weather/CloudCache.h"
#include "weather/CloudHistory.h"
#include "weather/CloudJob.h"
#include "weather/CloudPicture.h"
#include "weather/CloudUpdate.h"
#include "weather/WeatherTexts.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <future>
#include <optional>
#include <system_error>

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

// A cloud picture made ready off the drawing thread, and whether it is the kept one of --time.
struct TCloudsInHand {
    TCloudJobInfo Info;
    TCloudPixels Pixels;
    bool FromHistory = false;
};

// The picture the frame shows: at --time the kept one of that time when the history reaches it
// and it can be read, else the one in hand. Prepared for the largest texture a context may take;
// the caller checks that this one takes it.
std::optional<TCloudsInHand> PrepareClouds(const std::optional<TCloudJobInfo>& history,
                                           const std::optional<TCloudJobInfo>& cached) {
    std::vector<std::uint8_t> stream;
    for (const auto* info : {&history, &cached}) {
        if (!*info) continue;
        TCloudsInHand clouds{**info, {}, info == &history};
        if (PrepareCloudPixels(clouds.Info, clouds.Pixels, stream)) return clouds;
    }
    return std::nullopt;
}

int DrawAndWrite(const TRenderOptions& o, int width, int height, const std::string& dataFolder,
                 TSettings& settings, TMapInfo& mapInfo, TStatusLines lines) {
    // The pictures, the lines and the clouds are made ready on the other core while the OpenGL
    // driver starts, as the window does.
    TScene scene;
    scene.StartPreparing();
    // (The detailed night lights are asked for once the detail is set, after the build.)
    if (settings.Features.DayNight && !settings.Features.DetailedTexturing)
        scene.StartPreparingDayNight();
    std::optional<TCloudJobInfo> historyJob;
    if (o.Time && settings.Features.Clouds)
        if (const auto picture = NearestHistoryPicture(ListCloudHistory(dataFolder), *o.Time))
            historyJob = HistoryCloudsJob(*picture, settings, mapInfo, MaxCloudTextureSide);
    const std::optional<TCloudJobInfo> cachedJob =
        CachedCloudsJob(dataFolder, settings, mapInfo, MaxCloudTextureSide);
    const auto prepare = [&] { return PrepareClouds(historyJob, cachedJob); };
    std::future<std::optional<TCloudsInHand>> preparing;
    try {
        preparing = std::async(std::launch::async, prepare);
    } catch (const std::system_error&) {
        preparing = std::async(std::launch::deferred, prepare); // no thread to be had
    }

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

    std::optional<TCloudsInHand> inHand = preparing.get();
    std::vector<std::uint8_t> stream;
    bool clouds = false;
    if (MaxTextureSide() < MaxCloudTextureSide) {
        // A context with smaller textures: the pictures are made again at its size.
        clouds = historyJob &&
                 ShowHistoryClouds(scene, dataFolder, *o.Time, settings, mapInfo, stream, lines);
        if (!clouds) clouds = ShowCachedClouds(scene, dataFolder, settings, mapInfo, stream, lines);
    } else if (inHand) {
        clouds = ShowPreparedClouds(scene, inHand->Info, inHand->Pixels, mapInfo, lines);
        // A kept picture the texture refused gives way to the one in hand.
        if (!clouds && inHand->FromHistory)
            clouds = ShowCachedClouds(scene, dataFolder, settings, mapInfo, stream, lines);
    }
    inHand.reset();
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
