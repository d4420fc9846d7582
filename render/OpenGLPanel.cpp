#include "render/OpenGLPanel.h"

#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QWheelEvent>

namespace nimbora {

OpenGLPanel::OpenGLPanel(QWidget* parent) : QOpenGLWidget(parent) {
    setFormat(SceneFormat());
    setAutoFillBackground(false);
}

QSurfaceFormat OpenGLPanel::SceneFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    // Qt falls back to the deepest buffer offered (24 bits on most drivers).
    format.setDepthBufferSize(32);
    format.setStencilBufferSize(8);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

bool OpenGLPanel::ContextAvailable() {
    QOffscreenSurface surface;
    surface.setFormat(SceneFormat());
    surface.create();
    if (!surface.isValid()) return false;
    QOpenGLContext context;
    context.setFormat(SceneFormat());
    if (!context.create() || !context.isValid()) return false;
    if (!context.makeCurrent(&surface)) return false;
    context.doneCurrent();
    return true;
}

OpenGLPanel::TContextState OpenGLPanel::ContextState() const {
    const QOpenGLContext* current = context();
    if (!current) return NoContext;
    return current->isValid() ? ContextReady : InvalidContext;
}

TCurrentContext::TCurrentContext(OpenGLPanel* panel) : panel_(panel) {
    QOpenGLContext* context = panel_->context();
    if (!context) return; // not initialised yet: nothing to draw into
    made_ = QOpenGLContext::currentContext() != context;
    panel_->makeCurrent();
}

TCurrentContext::~TCurrentContext() {
    if (made_) panel_->doneCurrent();
}

void OpenGLPanel::initializeGL() {
    if (OnInitialize) OnInitialize();
}

void OpenGLPanel::resizeGL(int width, int height) {
    // The viewport is in framebuffer pixels, which differ from widget units on dense screens.
    const qreal ratio = devicePixelRatioF();
    if (OnResize) OnResize(qRound(width * ratio), qRound(height * ratio));
}

void OpenGLPanel::paintGL() {
    if (OnPaint) OnPaint();
}

void OpenGLPanel::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) OnMouseDown(event);
}

void OpenGLPanel::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) OnMouseMove(event);
}

void OpenGLPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) OnMouseUp(event);
}

void OpenGLPanel::wheelEvent(QWheelEvent* event) {
    if (OnWheel) OnWheel(event);
}

} // namespace nimbora
