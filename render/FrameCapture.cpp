#include "render/FrameCapture.h"

#include "render/OpenGLPanel.h"

#include <GL/gl.h>

#include <new>

namespace nimbora {

bool ReadPanelFrame(TOpenGLPanel& panel, int& width, int& height, std::vector<std::uint8_t>& rgb) {
    rgb.clear();
    const QSize size = panel.FramebufferSize();
    width = size.width();
    height = size.height();
    if (width <= 0 || height <= 0 || !panel.isValid()) return false;
    try {
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    } catch (const std::bad_alloc&) {
        rgb.clear();
        return false;
    }
    // A frame of the current state is drawn, unshown, and read where it was drawn.
    if (!panel.DrawHiddenFrame()) {
        rgb.clear();
        return false;
    }
    struct TDone {
        TOpenGLPanel& p;
        ~TDone() { p.doneCurrent(); }
    } done{panel};
    // Errors left from earlier drawing must not count against the read.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    if (glGetError() == GL_NO_ERROR) return true;
    rgb.clear();
    return false;
}

} // namespace nimbora
