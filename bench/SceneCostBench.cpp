// Where the time of the scene build and of one frame goes. The start-up's scene build is timed
// step by step; then the full frame, and the same frame with one feature left out or one drawing
// choice changed (texture minification), each the median of a number of
// frames with glFinish after each.
//
//   DISPLAY=:0 bench_scenecost [frames] [earth [plain|lights]]
//
// earth: the earth layer's cases only; plain or lights: only without or only with the cities'
// lights, so that an instruction count (valgrind --tool=callgrind) of two runs with different
// frame counts gives the cost of one variant's draws.
//
// The cloud layer is a full-size picture (the 2048 earth texture stands in for it), since the
// cost of texturing grows with the texture's size on a software renderer.
#include "BenchGl.h"
#include "render/Lighting.h"
#include "render/LineChunks.h"
#include "render/OpenGLPanel.h"
#include "render/Points.h"
#include "render/Scene.h"
#include "render/SceneTestSeam.h"
#include "render/countries.h"
#include "render/polylines.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

using namespace nimbora;

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Frame times of one frame state, appended to ms: wall time, and the CPU time of the whole
// process (llvmpipe's rasteriser threads included), which other work on the machine disturbs
// less.
void TimeFrames(TScene& scene, TFrameState frame, const TLightingSets& sets, int frames,
                std::vector<double>& ms, std::vector<double>& cpu) {
    scene.RenderScene(frame, sets); // warm-up after a change of case
    glFinish();
    for (int i = 0; i < frames; ++i) {
        frame.Proj.X += 0.5f;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuMs();
        scene.RenderScene(frame, sets);
        glFinish();
        cpu.push_back(CpuMs() - cpuStart);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void SetMinFilter(const TScene& scene, GLint filter) {
    for (const GLuint tex :
         {TSceneTestSeam::Objects(scene).EarthTex, TSceneTestSeam::Objects(scene).CloudTex}) {
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    }
}

// The start-up's scene build, step by step (median of a few builds of a fresh scene).
void TimeBuildSteps(const TLightingSets& sets) {
    std::vector<const char*> names;
    std::vector<std::vector<double>> ms;
    for (int run = 0; run < 5; ++run) {
        TScene scene;
        scene.PrepareLightFade(sets);
        std::size_t step = 0;
        auto start = std::chrono::steady_clock::now();
        scene.Build(sets, [&](const char* name) {
            glFinish();
            const auto now = std::chrono::steady_clock::now();
            if (step == names.size()) {
                names.push_back(name);
                ms.emplace_back();
            }
            ms[step++].push_back(std::chrono::duration<double, std::milli>(now - start).count());
            start = std::chrono::steady_clock::now();
        });
        scene.Release();
    }
    double total = 0;
    std::printf("scene build, median of 5 builds:\n");
    for (std::size_t i = 0; i < names.size(); ++i) {
        total += Median(ms[i]);
        std::printf("  %-50s %7.2f ms\n", names[i], Median(ms[i]));
    }
    std::printf("  %-50s %7.2f ms\n", "sum", total);
}

// The earth layer alone, drawn as the frame draws it in day-and-night mode (its sphere in
// pieces, the textured earth material, the sun lights the frame placed), without and with the
// cities' lights, at the start view and near, with the sun over the view (the busy frame's),
// with the terminator across it and behind the globe. The frame before leaves the sun lights and
// the view's matrix in place; each case clears the framebuffer and draws the one layer.
void TimeEarthLayer(TScene& scene, const TLightingSets& sets, const TFrameState& busy, int frames,
                    const std::string& only) {
    if (!TSceneTestSeam::HasLights(scene))
        std::printf("earth layer: no lights picture here, lights not timed\n");
    const int rounds = 5;
    const int perRound = std::max(1, frames / rounds);
    const struct {
        const char* Name;
        double SunLon;
        bool Clouds = true;
    } suns[] = {{"day", busy.SunLon},
                {"terminator", busy.SunLon + 90},
                {"night", busy.SunLon + 180},
                {"night, clouds hidden", busy.SunLon + 180, false}};
    for (const QSize size : {QSize(640, 480), QSize(1280, 960)}) {
        QOpenGLFramebufferObject fbo(size, QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo.bind();
        scene.OpenGLPanelResize(size.width(), size.height());
        std::printf("earth layer alone %dx%d, median of %d draws in %d rounds, wall (CPU):\n",
                    size.width(), size.height(), perRound * rounds, rounds);
        for (const float z : {-15.0f, -8.0f})
            for (const auto& sun : suns) {
                TFrameState frame = busy;
                frame.Proj.Z = z;
                frame.ScaleZ = z > -10 ? -10 / z : 1;
                frame.SunLon = sun.SunLon;
                frame.ShowClouds = sun.Clouds;
                frame.ShowAxis = false;
                std::vector<double> ms[2], cpu[2];
                for (int round = 0; round < rounds; ++round)
                    for (int withLights = 0; withLights < 2; ++withLights) {
                        if (only == (withLights ? "plain" : "lights")) {
                            ms[withLights].push_back(0), cpu[withLights].push_back(0);
                            continue;
                        }
                        frame.ShowCityLights = withLights != 0;
                        scene.RenderScene(frame, sets);
                        for (int i = -1; i < perRound; ++i) { // one draw to warm up
                            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                            const auto start = std::chrono::steady_clock::now();
                            const double cpuStart = CpuMs();
                            TSceneTestSeam::DrawEarth(scene, frame, sets);
                            glFinish();
                            if (i < 0) continue;
                            cpu[withLights].push_back(CpuMs() - cpuStart);
                            ms[withLights].push_back(std::chrono::duration<double, std::milli>(
                                                         std::chrono::steady_clock::now() - start)
                                                         .count());
                        }
                    }
                std::printf("  z %5.1f, sun %-20s without lights %7.2f ms (CPU %6.2f ms)\n", z,
                            sun.Name, Median(ms[0]), Median(cpu[0]));
                std::printf("  z %5.1f, sun %-20s with lights    %7.2f ms (CPU %6.2f ms), %+.1f %% "
                            "(CPU %+.1f %%)\n",
                            z, sun.Name, Median(ms[1]), Median(cpu[1]),
                            100 * (Median(ms[1]) / Median(ms[0]) - 1),
                            100 * (Median(cpu[1]) / Median(cpu[0]) - 1));
            }
        fbo.release();
    }
}

// What the lights cost when the clouds change: the cover taken from a new cloud picture (on the
// window's thread with its installation), and the first earth layer after the clouds were
// shown or hidden, which bakes the lights into the earth texture's alpha, against the next one.
void TimeLightsBake(TScene& scene, const TLightingSets& sets, TFrameState frame) {
    if (!TSceneTestSeam::HasLights(scene)) return;
    for (const QSize cloud : {QSize(2048, 1024), QSize(4096, 2048)}) {
        const std::vector<std::uint8_t> rgb(std::size_t(cloud.width()) * cloud.height() * 3, 99);
        std::vector<double> ms;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const TGreyPicture cover = CloudCover(cloud.width(), cloud.height(), 3, rgb);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (cover.Pixels.empty()) return;
        }
        std::printf("cloud cover of a %dx%d RGB picture: %.2f ms\n", cloud.width(), cloud.height(),
                    Median(ms));
    }
    // The bake alone, the lights at the earth's size, the clouds at 2048x1024.
    const TGreyPicture cover =
        CloudCover(2048, 1024, 1, std::vector<std::uint8_t>(2048 * 1024, 99));
    for (const QSize earth : {QSize(2048, 1024), QSize(4096, 2048)}) {
        const std::size_t pixels = std::size_t(earth.width()) * earth.height();
        const TGreyPicture lights{earth.width(), earth.height(),
                                  std::vector<std::uint8_t>(pixels, 50)};
        std::vector<std::uint8_t> rgba(pixels * 4, 0);
        std::vector<double> ms;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            BakeLitLights(rgba, earth.width(), earth.height(), lights, &cover);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::printf("lights baked into a %dx%d earth under 2048x1024 clouds: %.2f ms\n",
                    earth.width(), earth.height(), Median(ms));
    }
    QOpenGLFramebufferObject fbo(QSize(640, 480), QOpenGLFramebufferObject::CombinedDepthStencil);
    fbo.bind();
    scene.OpenGLPanelResize(640, 480);
    frame.ShowCityLights = true;
    frame.SunLon += 180;
    for (const bool detailed : {false, true}) {
        scene.ChangeEarthTexture(detailed);
        std::vector<double> baking, steady;
        for (int run = 0; run < 6; ++run) {
            frame.ShowClouds = run % 2 == 0;
            for (std::vector<double>* into : {&baking, &steady}) {
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                const auto start = std::chrono::steady_clock::now();
                TSceneTestSeam::DrawEarth(scene, frame, sets);
                glFinish();
                into->push_back(std::chrono::duration<double, std::milli>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
            }
        }
        std::printf("earth layer %s, 640x480, night: first after the clouds were shown or hidden "
                    "%.2f ms, next %.2f ms\n",
                    detailed ? "4096x2048" : "2048x1024", Median(baking), Median(steady));
    }
    scene.ChangeEarthTexture(false);
    fbo.release();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    QOpenGLContext context;
    QOffscreenSurface surface;
    if (!bench::MakeCurrentOffscreen(context, surface)) return 1;

    const TLightingSets sets = DefaultLighting();
    const bool earthOnly = argc > 2 && std::string(argv[2]) == "earth";
    if (!earthOnly) TimeBuildSteps(sets);
    TScene scene;
    const bool clouds = bench::BuildBusyScene(scene, sets, QStringLiteral(":/earth2048.jpg"));
    const TDrawPointList points = bench::BusyPoints();
    if (earthOnly) {
        TimeEarthLayer(scene, sets, bench::BusyFrame(points, clouds), frames,
                       argc > 3 ? argv[3] : "");
        if (argc <= 3) TimeLightsBake(scene, sets, bench::BusyFrame(points, clouds));
        scene.Release();
        return 0;
    }

    // What the boundary list holds: every polyline is a primitive of its own.
    std::size_t lines = 0, vertices = 0;
    for (const char* resource : BoundaryResources)
        for (const TPolyline& line : ReadPolylineResource(QString::fromLatin1(resource))) {
            ++lines;
            vertices += line.Points.size();
        }
    std::printf("boundaries: %zu line strips, %zu vertices; %zu marked points with names\n", lines,
                vertices, points.size());
    {
        // What the coarser copies of the lines keep.
        std::vector<TVertex> v;
        std::vector<std::pair<int, int>> strips;
        for (const char* resource : BoundaryResources)
            for (const TPolyline& line : ReadPolylineResource(QString::fromLatin1(resource))) {
                strips.emplace_back(static_cast<int>(v.size()),
                                    static_cast<int>(line.Points.size()));
                for (const TPolyPoint& p : line.Points)
                    v.push_back(SpherePoint(BoundaryRadius, p.Lon, p.Lat));
            }
        for (const double tolerance : {0.001, 0.002, 0.004, 0.008, 0.016, 0.032}) {
            std::size_t kept = 0;
            for (const auto& [first, count] : strips)
                kept += SimplifyStrip(v, first, count, tolerance).size();
            std::printf("  lines within %.3f units: %zu vertices\n", tolerance, kept);
        }
    }

    const TFrameState all = bench::BusyFrame(points, clouds);

    struct TCase {
        const char* name;
        std::function<void(TFrameState&)> change;
        std::function<void()> setUp{}; // optional, like undo
        std::function<void()> undo{};
    };
    const std::vector<TCase> cases = {
        {"everything shown, near view (z -8)", [](TFrameState&) {}},
        {"everything shown, start view (z -15, no names)",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1; }},
        {"everything shown, start view, night side",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1, f.SunLon += 180; }},
        {"start view without country boundaries",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1, f.ShowCountries = false; }},
        {"start view without day and night",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1, f.ShowDayNight = false; }},
        {"start view without clouds",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1, f.ShowClouds = false; }},
        {"start view, only the globe and clouds",
         [](TFrameState& f) {
             f.Proj.Z = -15, f.ScaleZ = 1;
             f.ShowNames = f.ShowCustomWay = f.ShowCountries = f.ShowTimeZone = false;
             f.ShowDayNight = false;
         }},
        {"z -11 (names without labels)", [](TFrameState& f) { f.Proj.Z = -11, f.ScaleZ = 1; }},
        {"z -11 without country and waypoint names",
         [](TFrameState& f) {
             f.Proj.Z = -11, f.ScaleZ = 1;
             f.ShowNames = f.ShowCustomWay = false;
         }},
        {"without country and waypoint names",
         [](TFrameState& f) { f.ShowNames = f.ShowCustomWay = false; }},
        {"without country boundaries", [](TFrameState& f) { f.ShowCountries = false; }},
        {"without time-zone grid", [](TFrameState& f) { f.ShowTimeZone = false; }},
        {"without clouds", [](TFrameState& f) { f.ShowClouds = false; }},
        {"without earth texture", [](TFrameState& f) { f.ShowTexturing = false; }},
        {"without day and night (sun, moon, atmosphere)",
         [](TFrameState& f) { f.ShowDayNight = false; }},
        {"only the globe and clouds",
         [](TFrameState& f) {
             f.ShowNames = f.ShowCustomWay = f.ShowCountries = f.ShowTimeZone = false;
             f.ShowDayNight = false;
         }},
        {"nothing but the status text",
         [](TFrameState& f) {
             f.ShowNames = f.ShowCustomWay = f.ShowCountries = f.ShowTimeZone = false;
             f.ShowDayNight = f.ShowClouds = f.ShowTexturing = false;
             f.Proj.Z = -1000; // globe out of sight
         }},
        // Drawing choices, each on top of the full frame.
        {"everything shown, start view, city lights",
         [](TFrameState& f) { f.Proj.Z = -15, f.ScaleZ = 1, f.ShowCityLights = true; }},
        {"everything shown, near view, city lights",
         [](TFrameState& f) { f.ShowCityLights = true; }},
        {"earth and clouds minified from mipmaps", [](TFrameState&) {},
         [&] { SetMinFilter(scene, GL_LINEAR_MIPMAP_NEAREST); },
         [&] { SetMinFilter(scene, GL_LINEAR); }},
    };
    // Rounds go through all cases a few frames at a time, so that a burst of other work on the
    // machine is spread over the cases instead of falling on one.
    const int rounds = 5;
    const int perRound = std::max(1, frames / rounds);

    for (const QSize size : {QSize(640, 480), QSize(1280, 960)}) {
        QOpenGLFramebufferObject fbo(size, QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo.bind();
        scene.OpenGLPanelResize(size.width(), size.height());
        std::vector<std::vector<double>> ms(cases.size()), cpu(cases.size());
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t i = 0; i < cases.size(); ++i) {
                TFrameState frame = all;
                cases[i].change(frame);
                if (cases[i].setUp) cases[i].setUp();
                TimeFrames(scene, frame, sets, perRound, ms[i], cpu[i]);
                if (cases[i].undo) cases[i].undo();
            }
        }
        std::printf("%dx%d, median of %d frames in %d rounds, wall (CPU):\n", size.width(),
                    size.height(), perRound * rounds, rounds);
        for (std::size_t i = 0; i < cases.size(); ++i)
            std::printf("  %-50s %7.2f ms (CPU %6.2f ms)\n", cases[i].name, Median(ms[i]),
                        Median(cpu[i]));
        fbo.release();
    }
    TimeEarthLayer(scene, sets, all, frames, "");
    scene.Release();
    context.doneCurrent();
    return 0;
}
