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
    explicit TPanelWindow(TOpenGLPanel* panel) : Panel(panel) {
        setSurfaceType(QWindow::OpenGLSurface);
        setFormat(TOpenGLPanel::SceneFormat());
        // Clicking the globe must not take the keyboard from the main window.
        setFlag(Qt::WindowDoesNotAcceptFocus);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) Panel->Render();
    }
    void resizeEvent(QResizeEvent*) override { requestUpdate(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            Panel->Render();
            return true;
        }
        if (event->type() == QEvent::Leave && Panel->OnMouseLeave) Panel->OnMouseLeave();
        return QWindow::event(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (Panel->OnMouseDown) Panel->OnMouseDown(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (Panel->OnMouseMove) Panel->OnMouseMove(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (Panel->OnMouseUp) Panel->OnMouseUp(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        if (Panel->OnWheel) Panel->OnWheel(event);
    }
    void keyPressEvent(QKeyEvent* event) override { ForwardKey(event); }
    void keyReleaseEvent(QKeyEvent* event) override { ForwardKey(event); }

private:
    void ForwardKey(QKeyEvent* event) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                       event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                       event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QCoreApplication::sendEvent(Panel, &copy);
        event->setAccepted(copy.isAccepted());
    }

    TOpenGLPanel* Panel;
};

// Where child windows are no good the globe is drawn through a widget, which Qt composes into
// the window.
class TPanelWidget : public QOpenGLWidget {
public:
    explicit TPanelWidget(TOpenGLPanel* panel) : QOpenGLWidget(panel), Panel(panel) {
        setFormat(TOpenGLPanel::SceneFormat());
        setAutoFillBackground(false);
        setFocusPolicy(Qt::NoFocus);
        setMouseTracking(true);
        connect(this, &QOpenGLWidget::frameSwapped, panel, &TOpenGLPanel::frameSwapped);
    }

protected:
    void initializeGL() override {
        Panel->Usable = context()->isValid();
        if (Panel->OnInitialize) Panel->OnInitialize();
    }
    void resizeGL(int, int) override { Panel->ResizeIfNeeded(); }
    void paintGL() override {
        Panel->ResizeIfNeeded();
        if (Panel->OnPaint) Panel->OnPaint();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (Panel->OnMouseDown) Panel->OnMouseDown(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (Panel->OnMouseMove) Panel->OnMouseMove(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (Panel->OnMouseUp) Panel->OnMouseUp(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        if (Panel->OnWheel) Panel->OnWheel(event);
    }
    void leaveEvent(QEvent*) override {
        if (Panel->OnMouseLeave) Panel->OnMouseLeave();
    }

private:
    TOpenGLPanel* Panel;
};

TOpenGLPanel::TOpenGLPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        DrawWindow = new TPanelWindow(this);
        Container = QWidget::createWindowContainer(DrawWindow, this);
        Container->setObjectName("OpenGLPanelContainer");
    } else {
        DrawWidget = new TPanelWidget(this);
        Container = DrawWidget;
    }
    Container->setFocusPolicy(Qt::NoFocus);
    Container->setGeometry(rect());
}

TOpenGLPanel::~TOpenGLPanel() {
    // The context goes before the window it draws into.
    if (OwnContext && QOpenGLContext::currentContext() == OwnContext) OwnContext->doneCurrent();
    delete OwnContext;
    OwnContext = nullptr;
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
    return current && current->isValid() && Usable;
}

QOpenGLContext* TOpenGLPanel::context() const {
    return DrawWidget ? DrawWidget->context() : OwnContext;
}

bool TOpenGLPanel::Initialize() {
    if (DrawWidget) {
        // The widget makes its context when it is shown; asked before, it makes it at once.
        if (!DrawWidget->context()) DrawWidget->grabFramebuffer();
        return isValid();
    }
    if (InitAttempted) return isValid();
    InitAttempted = true;
    // Shown, the container has made the drawing window already, as a child of the top-level
    // window; a panel asked for its context before that gets one now.
    if (!DrawWindow->handle()) DrawWindow->create();
    // The drawing window goes to the bottom, so that native widgets laid over the panel show
    // above it, and the panel's own native window (it gets one when a sibling is native) below
    // that, where it cannot cover the globe.
    DrawWindow->lower();
    if (!isWindow())
        if (QWindow* own = windowHandle()) own->lower();
    if (!DrawWindow->handle()) {
        if (OnInitialize) OnInitialize(); // reports the missing surface
        return false;
    }
    OwnContext = new QOpenGLContext(this);
    OwnContext->setFormat(SceneFormat());
    OwnContext->setScreen(DrawWindow->screen());
    Usable = OwnContext->create() && OwnContext->makeCurrent(DrawWindow);
    if (OnInitialize) OnInitialize();
    if (Usable) ResizeIfNeeded();
    return Usable;
}

void TOpenGLPanel::makeCurrent() {
    if (!Initialize()) return;
    DrawWidget ? DrawWidget->makeCurrent() : static_cast<void>(OwnContext->makeCurrent(DrawWindow));
}

void TOpenGLPanel::doneCurrent() {
    if (DrawWidget) {
        DrawWidget->doneCurrent();
    } else if (OwnContext) {
        OwnContext->doneCurrent();
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
    if (size == ReportedSize && ratio == ReportedRatio) return;
    ReportedSize = size;
    ReportedRatio = ratio;
    if (OnResize) OnResize(size.width(), size.height(), ratio);
}

void TOpenGLPanel::RequestFrame() {
    if (DrawWidget) {
        DrawWidget->update();
    } else if (Shown()) {
        // An unseen window asks for nothing; it draws again when the window system shows it.
        DrawWindow->requestUpdate();
    }
}

bool TOpenGLPanel::Shown() const {
    // The drawing window alone does not know when its top-level window was unmapped or
    // destroyed: it stays exposed as far as Qt can tell.
    const QWindow* top = window()->windowHandle();
    return DrawWindow->isExposed() && top && top->isExposed();
}

void TOpenGLPanel::Render() {
    // Nothing is drawn for a window that the window system does not show: its frame would
    // not be seen, some systems block the swap of such a window, and a destroyed one takes
    // frames into nowhere at great cost.
    if (!Shown() || !Initialize()) return;
    if (!OwnContext->makeCurrent(DrawWindow)) return;
    ResizeIfNeeded();
    if (OnPaint) OnPaint();
    OwnContext->swapBuffers(DrawWindow);
    emit frameSwapped();
}

bool TOpenGLPanel::DrawHiddenFrame() {
    if (!Initialize()) return false;
    if (DrawWidget) {
        // The widget draws into its framebuffer object, whose picture is its first colour
        // attachment.
        DrawWidget->makeCurrent();
        ResizeIfNeeded();
        if (OnPaint) OnPaint();
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        return true;
    }
    if (!OwnContext->makeCurrent(DrawWindow)) return false;
    ResizeIfNeeded();
    if (OnPaint) OnPaint();
    glReadBuffer(GL_BACK);
    return true;
}

QImage TOpenGLPanel::grabFramebuffer() {
    if (DrawWidget) return DrawWidget->grabFramebuffer();
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
    return DrawWindow;
}

void TOpenGLPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!DrawWindow) return;
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
    Container->setGeometry(rect());
}

TCurrentContext::TCurrentContext(TOpenGLPanel* panel) : Panel(panel) {
    const QOpenGLContext* before = QOpenGLContext::currentContext();
    Panel->makeCurrent();
    if (!Panel->isValid()) return; // nothing to draw into
    MadeCurrent = before != Panel->context();
}

TCurrentContext::~TCurrentContext() {
    if (MadeCurrent) Panel->doneCurrent();
}

} // namespace nimbora
