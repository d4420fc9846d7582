// Median time of one full frame (everything shown) at two window sizes, glFinish after each:
// wall time, and the CPU time of the whole process (llvmpipe's rasteriser threads included),
// which a busy shared machine disturbs less. A third case is the start view (z -15), where no
// names are drawn and the whole globe with its lines is in sight.
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
#include <ctime>
#include <vector>

using namespace nimbora;

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

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

    struct TCase {
        QSize Size;
        float Z;
    };
    for (const TCase c :
         {TCase{QSize(640, 480), -8}, TCase{QSize(1280, 960), -8}, TCase{QSize(640, 480), -15}}) {
        const QSize size = c.Size;
        frame.Proj.Z = c.Z;
        frame.ScaleZ = c.Z > -10 ? -10 / c.Z : 1;
        QOpenGLFramebufferObject fbo(size, QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo.bind();
        scene.OpenGLPanelResize(size.width(), size.height());
        scene.RenderScene(frame, sets); // warm-up
        glFinish();
        std::vector<double> ms, cpu;
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
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("RenderScene %dx%d z %g: median %.2f ms (min %.2f, max %.2f, %d frames), "
                    "CPU %.2f ms\n",
                    size.width(), size.height(), c.Z, ms[ms.size() / 2], ms.front(), ms.back(),
                    frames, cpu[cpu.size() / 2]);
        fbo.release();
    }
    scene.Release();
    context.doneCurrent();
    return 0;
}
