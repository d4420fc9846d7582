// A waypoint file of 100,000 sections: how long reading and rewriting it takes, filling the
// dialog's list, and what so many markers cost a frame.
//
//   DISPLAY=:0 bench_waypoints [sections] [runs]
#include "BenchGl.h"
#include "render/Lighting.h"
#include "render/Scene.h"
#include "render/countries.h"
#include "ui/customway.h"
#include "waypoints/WaypointFile.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>

#include <GL/gl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <vector>

using namespace nimbora;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double TimeMs(const std::function<void()>& work, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return Median(ms);
}

// Waypoints spread over the globe, with names of a realistic length and a few non-ASCII ones.
std::string MakeFileText(int sections) {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    std::string text;
    for (int n = 1; n <= sections; ++n) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "[Waypoint%d]\nName=Place %d Z\xC3\xBCrich\nLat=%.2f\nLon=%.2f\n", n, n,
                      lat(random), lon(random));
        text += line;
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int sections = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("waypoints.ini")).toStdString();
    const std::string text = MakeFileText(sections);
    std::ofstream(path, std::ios::binary) << text;
    std::printf("%d sections, %.1f MB\n", sections, text.size() / 1e6);

    TDrawPointList points;
    const double load = TimeMs(
        [&] {
            points.clear();
            LoadCustomWaypoints(path, points);
        },
        runs);
    std::printf("  %-44s %9.1f ms  (%zu waypoints)\n", "LoadCustomWaypoints", load, points.size());
    const double save = TimeMs([&] { SaveCustomWaypoints(path, points); }, runs);
    std::printf("  %-44s %9.1f ms\n", "SaveCustomWaypoints (atomic rewrite)", save);
    TSiteListModel model;
    const double fill = TimeMs([&] { model.Fill(&points); }, runs);
    std::printf("  %-44s %9.1f ms\n", "the dialog's list (FillSiteList)", fill);

    QOpenGLContext context;
    QOffscreenSurface surface;
    if (!bench::MakeCurrentOffscreen(context, surface)) return 1;
    const TLightingSets sets = DefaultLighting();
    TScene scene;
    scene.PrepareLightFade(sets);
    scene.Build(sets);
    scene.ApplyLightColours(sets);
    QOpenGLFramebufferObject fbo(QSize(640, 480), QOpenGLFramebufferObject::CombinedDepthStencil);
    fbo.bind();
    scene.OpenGLPanelResize(640, 480);

    TDrawPointList few;
    AddNamePoints(few);
    TDrawPointList many = few;
    many.insert(many.end(), points.begin(), points.end());
    for (const float z : {-15.0f, -8.6f, -8.0f, -5.5f}) {
        for (const auto& [label, list] :
             {std::pair{"names only", &few}, std::pair{"with waypoints", &many}}) {
            TFrameState frame;
            frame.Proj = {-10, 20, z};
            frame.ScaleZ = z > -10 ? -10 / z : 1;
            frame.DrawPoints = list;
            const double ms = TimeMs(
                [&] {
                    frame.Proj.X += 0.5f;
                    scene.RenderScene(frame, sets);
                    glFinish();
                },
                runs);
            std::printf("  frame at z %5.1f, %-28s %9.1f ms\n", z, label, ms);
        }
    }
    return 0;
}
