#include "render/OpenGLPanel.h"

#include <GL/gl.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QWindow>

namespace nimbora {

// The native window the globe is drawn into. It draws when the window system shows it or a
// frame was asked for, hands the mouse to the panel's hooks and passes keys on to the panel,
// from where they travel up to the main window as if the panel had had them.
class TPanelWindow : public QWindow {
public:
    explicit TPanelWindow(TOpenGLPanel* panel) : panel_(panel) {
        setSurfaceType(QWindow::OpenGLSurface);
        setFormat(TOpenGLPanel::SceneFormat());
        // Clicking the globe must not take the keyboard from the main window.
        setFlag(Qt::WindowDoesNotAcceptFocus);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) panel_->Render();
    }
    void resizeEvent(QResizeEvent*) override { requestUpdate(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            panel_->Render();
            return true;
        }
        return QWindow::event(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (panel_->OnMouseDown) panel_->OnMouseDown(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (panel_->OnMouseMove) panel_->OnMouseMove(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (panel_->OnMouseUp) panel_->OnMouseUp(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        if (panel_->OnWheel) panel_->OnWheel(event);
    }
    void keyPressEvent(QKeyEvent* event) override { ForwardKey(event); }
    void keyReleaseEvent(QKeyEvent* event) override { ForwardKey(event); }

private:
    void ForwardKey(QKeyEvent* event) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                       event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                       event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QCoreApplication::sendEvent(panel_, &copy);
        event->setAccepted(copy.isAccepted());
    }

    TOpenGLPanel* panel_;
};

// Where child windows are no good the globe is drawn through a widget, which Qt composes into
// the window.
class TPanelWidget : public QOpenGLWidget {
public:
    explicit TPanelWidget(TOpenGLPanel* panel) : QOpenGLWidget(panel), panel_(panel) {
        setFormat(TOpenGLPanel::SceneFormat());
        setAutoFillBackground(false);
        setFocusPolicy(Qt::NoFocus);
        connect(this, &QOpenGLWidget::frameSwapped, panel, &TOpenGLPanel::frameSwapped);
    }

protected:
    void initializeGL() override {
        panel_->usable_ = context()->isValid();
        if (panel_->OnInitialize) panel_->OnInitialize();
    }
    void resizeGL(int, int) override { panel_->ResizeIfNeeded(); }
    void paintGL() override {
        panel_->ResizeIfNeeded();
        if (panel_->OnPaint) panel_->OnPaint();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (panel_->OnMouseDown) panel_->OnMouseDown(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (panel_->OnMouseMove) panel_->OnMouseMove(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (panel_->OnMouseUp) panel_->OnMouseUp(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        if (panel_->OnWheel) panel_->OnWheel(event);
    }

private:
    TOpenGLPanel* panel_;
};

TOpenGLPanel::TOpenGLPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        window_ = new TPanelWindow(this);
        container_ = QWidget::createWindowContainer(window_, this);
        container_->setObjectName("OpenGLPanelContainer");
    } else {
        widget_ = new TPanelWidget(this);
        container_ = widget_;
    }
    container_->setFocusPolicy(Qt::NoFocus);
    container_->setGeometry(rect());
}

TOpenGLPanel::~TOpenGLPanel() {
    // The context goes before the window it draws into.
    if (context_ && QOpenGLContext::currentContext() == context_) context_->doneCurrent();
    delete context_;
    context_ = nullptr;
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
    if (!context()) return NoContext;
    return isValid() ? ContextReady : InvalidContext;
}

bool TOpenGLPanel::isValid() const {
    const QOpenGLContext* current = context();
    return current && current->isValid() && usable_;
}

QOpenGLContext* TOpenGLPanel::context() const {
    return widget_ ? widget_->context() : context_;
}

bool TOpenGLPanel::Initialize() {
    if (widget_) {
        // The widget makes its context when it is shown; asked before, it makes it at once.
        if (!widget_->context()) widget_->grabFramebuffer();
        return isValid();
    }
    if (initialized_) return isValid();
    initialized_ = true;
    // Shown, the container has made the drawing window already, as a child of the top-level
    // window; a panel asked for its context before that gets one now.
    if (!window_->handle()) window_->create();
    // The drawing window goes to the bottom, so that native widgets laid over the panel show
    // above it, and the panel's own native window (it gets one when a sibling is native) below
    // that, where it cannot cover the globe.
    window_->lower();
    if (!isWindow())
        if (QWindow* own = windowHandle()) own->lower();
    if (!window_->handle()) {
        if (OnInitialize) OnInitialize(); // reports the missing surface
        return false;
    }
    context_ = new QOpenGLContext(this);
    context_->setFormat(SceneFormat());
    context_->setScreen(window_->screen());
    usable_ = context_->create() && context_->makeCurrent(window_);
    if (OnInitialize) OnInitialize();
    if (usable_) ResizeIfNeeded();
    return usable_;
}

void TOpenGLPanel::makeCurrent() {
    if (!Initialize()) return;
    widget_ ? widget_->makeCurrent() : static_cast<void>(context_->makeCurrent(window_));
}

void TOpenGLPanel::doneCurrent() {
    if (widget_) {
        widget_->doneCurrent();
    } else if (context_) {
        context_->doneCurrent();
    }
}

QSize TOpenGLPanel::FramebufferSize() const {
    // The viewport is in framebuffer pixels, which differ from widget units on dense screens.
    const qreal ratio = devicePixelRatioF();
    return {qRound(width() * ratio), qRound(height() * ratio)};
}

void TOpenGLPanel::ResizeIfNeeded() {
    const QSize size = FramebufferSize();
    const double ratio = devicePixelRatioF();
    if (size == reportedSize_ && ratio == reportedRatio_) return;
    reportedSize_ = size;
    reportedRatio_ = ratio;
    if (OnResize) OnResize(size.width(), size.height(), ratio);
}

void TOpenGLPanel::RequestFrame() {
    if (widget_) {
        widget_->update();
    } else if (Shown()) {
        // An unseen window asks for nothing; it draws again when the window system shows it.
        window_->requestUpdate();
    }
}

bool TOpenGLPanel::Shown() const {
    // The drawing window alone does not know when its top-level window was unmapped or
    // destroyed: it stays exposed as far as Qt can tell.
    const QWindow* top = window()->windowHandle();
    return window_->isExposed() && top && top->isExposed();
}

void TOpenGLPanel::Render() {
    // Nothing is drawn for a window that the window system does not show: its frame would
    // not be seen, some systems block the swap of such a window, and a destroyed one takes
    // frames into nowhere at great cost.
    if (!Shown() || !Initialize()) return;
    if (!context_->makeCurrent(window_)) return;
    ResizeIfNeeded();
    if (OnPaint) OnPaint();
    context_->swapBuffers(window_);
    emit frameSwapped();
}

bool TOpenGLPanel::DrawHiddenFrame() {
    if (!Initialize()) return false;
    if (widget_) {
        // The widget draws into its framebuffer object, whose picture is its first colour
        // attachment.
        widget_->makeCurrent();
        ResizeIfNeeded();
        if (OnPaint) OnPaint();
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        return true;
    }
    if (!context_->makeCurrent(window_)) return false;
    ResizeIfNeeded();
    if (OnPaint) OnPaint();
    glReadBuffer(GL_BACK);
    return true;
}

QImage TOpenGLPanel::grabFramebuffer() {
    if (widget_) return widget_->grabFramebuffer();
    const QSize size = FramebufferSize();
    if (size.isEmpty() || !DrawHiddenFrame()) return {};
    QImage image(size, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull()) return {};
    // Rows of four-byte pixels need no padding whatever the pack alignment.
    glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    image = image.mirrored();
    image.setDevicePixelRatio(devicePixelRatioF());
    return image;
}

QWindow* TOpenGLPanel::DrawingWindow() const {
    return window_;
}

void TOpenGLPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!window_) return;
    // Make the context now, so that the start-up finds it and the first frame is the scene's.
    Initialize();
    // The drawing window may have been exposed before its top-level window, when it could not
    // draw yet; and it is not told when the top-level window comes back after an unmapping.
    if (QWindow* top = window()->windowHandle()) top->installEventFilter(this);
}

bool TOpenGLPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == window()->windowHandle()) RequestFrame();
    return QWidget::eventFilter(watched, event);
}

void TOpenGLPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    container_->setGeometry(rect());
}

TCurrentContext::TCurrentContext(TOpenGLPanel* panel) : panel_(panel) {
    const QOpenGLContext* before = QOpenGLContext::currentContext();
    panel_->makeCurrent();
    if (!panel_->isValid()) return; // nothing to draw into
    made_ = before != panel_->context();
}

TCurrentContext::~TCurrentContext() {
    if (made_) panel_->doneCurrent();
}

} // namespace nimbora
