#pragma once
// The drawing surface of the main window. It only hands its events to the hooks that the main
// window sets; the scene and the navigation do the work.
#include <QOpenGLWidget>

#include <functional>

class QMouseEvent;
class QWheelEvent;

namespace nimbora {

class TOpenGLPanel : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit TOpenGLPanel(QWidget* parent = nullptr);

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

    std::function<void()> OnInitialize; // context current
    // Framebuffer pixels, and framebuffer pixels per window unit (above 1 on dense screens).
    std::function<void(int width, int height, double ratio)> OnResize;
    std::function<void()> OnPaint; // context current, framebuffer bound
    std::function<void(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;
    std::function<void(QWheelEvent*)> OnWheel;

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
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
    TOpenGLPanel* panel_;
    bool made_ = false;
};

} // namespace nimbora
