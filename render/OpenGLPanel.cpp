#include "render/OpenGLPanel.h"

#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QWheelEvent>

namespace nimbora {

TOpenGLPanel::TOpenGLPanel(QWidget* parent) : QOpenGLWidget(parent) {
    setFormat(SceneFormat());
    setAutoFillBackground(false);
}

QSurfaceFormat TOpenGLPanel::SceneFormat() {
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

bool TOpenGLPanel::ContextAvailable() {
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

TOpenGLPanel::TContextState TOpenGLPanel::ContextState() const {
    const QOpenGLContext* current = context();
    if (!current) return NoContext;
    return current->isValid() ? ContextReady : InvalidContext;
}

TCurrentContext::TCurrentContext(TOpenGLPanel* panel) : panel_(panel) {
    QOpenGLContext* context = panel_->context();
    if (!context) return; // not initialised yet: nothing to draw into
    made_ = QOpenGLContext::currentContext() != context;
    panel_->makeCurrent();
}

TCurrentContext::~TCurrentContext() {
    if (made_) panel_->doneCurrent();
}

void TOpenGLPanel::initializeGL() {
    if (OnInitialize) OnInitialize();
}

QSize TOpenGLPanel::FramebufferSize() const {
    // The viewport is in framebuffer pixels, which differ from widget units on dense screens.
    const qreal ratio = devicePixelRatioF();
    return {qRound(width() * ratio), qRound(height() * ratio)};
}

void TOpenGLPanel::resizeGL(int, int) {
    const QSize size = FramebufferSize();
    if (OnResize) OnResize(size.width(), size.height(), devicePixelRatioF());
}

void TOpenGLPanel::paintGL() {
    if (OnPaint) OnPaint();
}

void TOpenGLPanel::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) OnMouseDown(event);
}

void TOpenGLPanel::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) OnMouseMove(event);
}

void TOpenGLPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) OnMouseUp(event);
}

void TOpenGLPanel::wheelEvent(QWheelEvent* event) {
    if (OnWheel) OnWheel(event);
}

} // namespace nimbora
