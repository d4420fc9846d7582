#pragma once
// The drawing surface of the main window. It only hands its events to the hooks that the main
// window sets; the scene and the navigation do the work.
//
// On X the globe is drawn straight into a native child window (a QWindow with its own context,
// held in a window container) rather than through QOpenGLWidget: that one draws into a
// framebuffer object which Qt then composes with the widgets into the window every frame, a
// full-window textured pass that costs more than the globe itself where OpenGL runs on the
// processor. Widgets laid over the panel must then be native windows themselves (see
// NativeWindow). Elsewhere the panel draws through QOpenGLWidget: Qt's Wayland support neither
// restacks child windows nor shows their frames reliably (a swap may wait for ever).
#include <QImage>
#include <QSurfaceFormat>
#include <QWidget>

#include <functional>

class QMouseEvent;
class QOpenGLContext;
class QWindow;
class QWheelEvent;

namespace nimbora {

class TPanelWindow;
class TPanelWidget;

class TOpenGLPanel : public QWidget {
    Q_OBJECT
public:
    explicit TOpenGLPanel(QWidget* parent = nullptr);
    ~TOpenGLPanel() override;

    // The surface format that the fixed-function scene needs: RGBA 8-8-8-8, depth 32 (24 when
    // 32 is not offered), stencil 8, double buffered, compatibility profile.
    static QSurfaceFormat SceneFormat();
    // Whether a context of that format can be created and made current here; false on a
    // display without usable OpenGL.
    static bool ContextAvailable();
    // What the panel got when it was initialised.
    enum TContextState { NoContext, InvalidContext, ContextReady };
    TContextState ContextState() const;
    // The size the scene draws at: the widget's size in framebuffer pixels.
    QSize FramebufferSize() const;

    // Whether the globe is drawn into a native window, which covers the window's other widgets.
    bool NativeWindow() const { return DrawWindow != nullptr; }

    // Asks for a frame; requests before it is drawn are merged into one.
    void RequestFrame();

    // The context is made when the panel is first shown, or by the first of these that needs it.
    bool isValid() const;
    QOpenGLContext* context() const;
    void makeCurrent();
    void doneCurrent();
    // Draws a frame of the current state without showing it and leaves the context current
    // with the read buffer on that frame, so that the caller can read it; false without a
    // context.
    bool DrawHiddenFrame();
    // A fresh frame as an image, top row first; null without a context.
    QImage grabFramebuffer();
    // The native window that is drawn into and receives the mouse; null when drawn through a
    // widget.
    QWindow* DrawingWindow() const;

    std::function<void()> OnInitialize; // context current
    // Framebuffer pixels, and framebuffer pixels per window unit (above 1 on dense screens).
    std::function<void(int width, int height, double ratio)> OnResize;
    std::function<void()> OnPaint; // context current, framebuffer bound
    std::function<void(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;
    std::function<void(QWheelEvent*)> OnWheel;
    std::function<void()> OnMouseLeave; // moves arrive with no button held too

signals:
    // A drawn frame was handed to the window system.
    void frameSwapped();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TPanelWindow;
    friend class TPanelWidget;
    bool Initialize();
    // Brings the viewport to the panel's size before a frame, with the context current.
    void ResizeIfNeeded();
    // Whether the window system shows the drawing window and its top-level window.
    bool Shown() const;
    void Render();

    TPanelWindow* DrawWindow = nullptr; // owned by the container; null when drawn by DrawWidget
    QWidget* Container = nullptr;
    TPanelWidget* DrawWidget = nullptr;
    QOpenGLContext* OwnContext = nullptr;
    bool InitAttempted = false;
    bool Usable = false; // the context was made and could be made current on the window
    QSize ReportedSize;
    double ReportedRatio = 0;
};

// Makes the panel's context current for a scope (GL work outside the panel's own hooks) and
// releases it at the end, unless it was current already: nested scopes leave it to the outer.
class TCurrentContext {
public:
    explicit TCurrentContext(TOpenGLPanel* panel);
    ~TCurrentContext();
    TCurrentContext(const TCurrentContext&) = delete;
    TCurrentContext& operator=(const TCurrentContext&) = delete;

private:
    TOpenGLPanel* Panel;
    bool MadeCurrent = false;
};

} // namespace nimbora
