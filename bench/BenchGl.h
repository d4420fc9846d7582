#pragma once
// What the drawing benchmarks share: an OpenGL context of the scene's format on an offscreen
// surface, and a busy scene to draw.
#include "render/Points.h"
#include "render/Scene.h"

class QOpenGLContext;
class QOffscreenSurface;
class QString;

namespace nimbora::bench {

// Creates the context and makes it current; says why on stderr and returns false when it
// cannot. Prints the renderer's name.
bool MakeCurrentOffscreen(QOpenGLContext& context, QOffscreenSurface& surface);

// Builds the scene with the lights of `sets` and loads the picture `cloudResource` as the cloud
// layer; whether the cloud layer loaded.
bool BuildBusyScene(TScene& scene, const TLightingSets& sets, const QString& cloudResource);
// The country names and 50 waypoints.
TDrawPointList BusyPoints();
// Every layer shown, near enough for names and labels.
TFrameState BusyFrame(const TDrawPointList& points, bool clouds);

} // namespace nimbora::bench
