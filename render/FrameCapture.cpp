#include "render/FrameCapture.h"

#include <GL/gl.h>
#include <QOpenGLContext>
#include <QOpenGLWidget>

#include <cmath>
#include <new>

namespace nimbora {

bool ReadPanelFrame(QOpenGLWidget& panel, int& width, int& height, std::vector<std::uint8_t>& rgb) {
    rgb.clear();
    const qreal ratio = panel.devicePixelRatioF();
    width = static_cast<int>(std::lround(panel.width() * ratio));
    height = static_cast<int>(std::lround(panel.height() * ratio));
    if (width <= 0 || height <= 0 || !panel.isValid()) return false;
    // The panel draws into its framebuffer object; repaint() fills it with a frame of the
    // current state before we read.
    panel.repaint();
    panel.makeCurrent();
    struct TDone {
        QOpenGLWidget& p;
        ~TDone() { p.doneCurrent(); }
    } done{panel};
    try {
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    } catch (const std::bad_alloc&) {
        rgb.clear();
        return false;
    }
    // Errors left from earlier drawing must not count against the read.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // makeCurrent bound the panel's framebuffer object, whose picture is its first colour
    // attachment; a window without one reads its back buffer.
    glReadBuffer(panel.defaultFramebufferObject() != 0 ? GL_COLOR_ATTACHMENT0 : GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return glGetError() == GL_NO_ERROR;
}

} // namespace nimbora
