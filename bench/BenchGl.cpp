#include "BenchGl.h"

#include "render/OpenGLPanel.h"

#include <GL/gl.h>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cstdio>

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

} // namespace nimbora::bench
