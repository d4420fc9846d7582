#include "BenchGl.h"

#include "render/Lighting.h"
#include "render/OpenGLPanel.h"
#include "render/SceneTestSeam.h"
#include "render/countries.h"
#include "resources/Resources.h"

#include <GL/gl.h>
#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cstdio>
#include <span>

namespace nimbora::bench {

bool MakeCurrentOffscreen(QOpenGLContext& context, QOffscreenSurface& surface) {
    context.setFormat(TOpenGLPanel::SceneFormat());
    if (!context.create()) {
        std::fprintf(stderr, "no OpenGL context\n");
        return false;
    }
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface)) {
        std::fprintf(stderr, "cannot make the context current\n");
        return false;
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return true;
}

bool BuildBusyScene(TScene& scene, const TLightingSets& sets, const QString& cloudResource) {
    scene.PrepareLightFade(sets);
    if (!scene.Build(sets)) std::fprintf(stderr, "warning: scene built incompletely\n");
    TSceneTestSeam::ApplyLightColours(scene, sets);
    InitNimboraResources();
    QFile cloud(cloudResource);
    cloud.open(QIODevice::ReadOnly);
    const QByteArray bytes = cloud.readAll();
    return TSceneTestSeam::SetCloudTexture(
        scene, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size())));
}

TDrawPointList BusyPoints() {
    TDrawPointList points;
    AddNamePoints(points);
    for (int i = 0; i < 50; ++i)
        points.push_back(MakeDrawPoint("Waypoint", -40 + i, -20 + i, WpTUser));
    return points;
}

TFrameState BusyFrame(const TDrawPointList& points, bool clouds) {
    TFrameState frame;
    frame.Proj = {-10, 20, -8};
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
    return frame;
}

} // namespace nimbora::bench
