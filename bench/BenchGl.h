#pragma once
// An OpenGL context of the scene's format on an offscreen surface, for the drawing benchmarks.
class QOpenGLContext;
class QOffscreenSurface;

namespace nimbora::bench {

// Creates the context and makes it current; says why on stderr and returns false when it
// cannot. Prints the renderer's name.
bool MakeCurrentOffscreen(QOpenGLContext& context, QOffscreenSurface& surface);

} // namespace nimbora::bench
