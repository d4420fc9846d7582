// Median time of one full frame (everything shown) at two window sizes, glFinish after each.
// Run under a display (or Xvfb): DISPLAY=:0 ./bench_render [frames]
#include "BenchGl.h"
#include "render/Lighting.h"
#include "render/OpenGLPanel.h"
#include "render/Scene.h"

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
    // Any picture serves as a cloud layer here.
    const bool clouds = bench::BuildBusyScene(scene, sets, QStringLiteral(":/moon.jpg"));
    const TDrawPointList points = bench::BusyPoints();
    TFrameState frame = bench::BusyFrame(points, clouds);

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
