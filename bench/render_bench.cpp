// Median time of one full frame (everything shown) at two window sizes, glFinish after each.
// Run under a display (or Xvfb): DISPLAY=:0 ./bench_render [frames]
#include "BenchGl.h"
#include "render/Lighting.h"
#include "render/OpenGLPanel.h"
#include "render/Scene.h"
#include "render/countries.h"
#include "resources/Resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace nimbora;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    QOpenGLContext context;
    QOffscreenSurface surface;
    if (!bench::MakeCurrentOffscreen(context, surface)) return 1;

    const TLightingSets sets = DefaultLighting();
    TScene scene;
    scene.PrepareLightFade(sets);
    if (!scene.Build(sets)) std::fprintf(stderr, "warning: scene built incompletely\n");
    scene.ApplyLightColours(sets);
    InitNimboraResources();
    QFile cloud(QStringLiteral(":/moon.jpg")); // any picture serves as a cloud layer here
    cloud.open(QIODevice::ReadOnly);
    const QByteArray bytes = cloud.readAll();
    const bool clouds =
        scene.SetCloudTexture(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                        static_cast<std::size_t>(bytes.size())));

    TDrawPointList points;
    AddNamePoints(points);
    for (int i = 0; i < 50; ++i)
        points.push_back(MakeDrawPoint("Waypoint", -40 + i, -20 + i, WpTUser));

    TFrameState frame;
    frame.Proj = {-10, 20, -8}; // near enough for names and labels
    frame.ScaleZ = 10.0f / 8;
    frame.ShowTexturing = frame.ShowCountries = frame.ShowTimeZone = frame.ShowNames = true;
    frame.ShowClouds = frame.ShowDayNight = frame.ShowCustomWay = true;
    frame.CloudsAvailable = clouds;
    frame.DrawPoints = &points;
    frame.StatusText = "Sun: Lat=12\xB0 30'  Lon=45\xB0 00'";
    frame.UpdateText = "Clouds updated: 2024-01-01 12:00";
    frame.CreditText = "Benchmark";
    frame.SunLat = 10;
    frame.SunLon = 30;
    frame.MoonLat = -5;
    frame.MoonLon = 60;

    for (const QSize size : {QSize(640, 480), QSize(1280, 960)}) {
        QOpenGLFramebufferObject fbo(size, QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo.bind();
        scene.OpenGLPanelResize(size.width(), size.height());
        scene.RenderScene(frame, sets); // warm-up
        glFinish();
        std::vector<double> ms;
        for (int i = 0; i < frames; ++i) {
            frame.Proj.X += 0.5f;
            const auto start = std::chrono::steady_clock::now();
            scene.RenderScene(frame, sets);
            glFinish();
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("RenderScene %dx%d: median %.2f ms (min %.2f, max %.2f, %d frames)\n",
                    size.width(), size.height(), ms[ms.size() / 2], ms.front(), ms.back(), frames);
        fbo.release();
    }
    scene.Release();
    context.doneCurrent();
    return 0;
}
