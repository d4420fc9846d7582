// The floor the program is measured against: a bare program that draws one textured earth
// sphere and one blended cloud sphere with fixed-function OpenGL, the same projection and
// viewpoint as the globe's start view, and nothing else. It uses none of Nimbora's code.
//
//   bench_bareglobe --render OUT.png --size WxH EARTH.jpg CLOUDS.jpg
//       one picture without a display (EGL, framebuffer object), written as PNG
//   bench_bareglobe --window [--turning] [--seconds S] EARTH.jpg CLOUDS.jpg
//       a 640x480 window; prints "RESULT main_ns=.. frame_ns=.." at its first frame and exits,
//       or, turning (one step every 33 ms, as an arrow key held in the globe), after two seconds
//       of settling "RESULT cpu_percent=.. fps=.." over S seconds.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include <QWindow>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

std::int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

struct TPicture {
    int Width = 0, Height = 0, Channels = 0;
    std::vector<unsigned char> Pixels;
};

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

bool DecodeJpeg(const char* path, TPicture& picture) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<TJpegError*>(c->err)->Jump, 1);
    };
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    picture.Width = int(info.output_width);
    picture.Height = int(info.output_height);
    picture.Channels = info.output_components;
    picture.Pixels.resize(std::size_t(picture.Width) * picture.Height * picture.Channels);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.Pixels.data() +
                       std::size_t(info.output_scanline) * picture.Width * picture.Channels;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

GLuint Upload(const TPicture& p) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const GLenum format = p.Channels == 1 ? GL_LUMINANCE : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, p.Channels == 1 ? GL_LUMINANCE : GL_RGB, p.Width, p.Height, 0,
                 format, GL_UNSIGNED_BYTE, p.Pixels.data());
    return name;
}

// The two spheres, lit by one light, in the globe's start view: 45 degrees high, 15 units away.
struct TGlobe {
    GLuint Earth = 0, Clouds = 0;
    GLuint EarthList = 0, CloudList = 0;

    void Build(const TPicture& earth, const TPicture& clouds) {
        Earth = Upload(earth);
        Clouds = Upload(clouds);
        // The spheres are made once, as display lists.
        GLUquadric* quadric = gluNewQuadric();
        gluQuadricTexture(quadric, GL_TRUE);
        gluQuadricNormals(quadric, GLU_SMOOTH);
        EarthList = glGenLists(2);
        CloudList = EarthList + 1;
        glNewList(EarthList, GL_COMPILE);
        gluSphere(quadric, 5.0, 128, 128);
        glEndList();
        glNewList(CloudList, GL_COMPILE);
        gluSphere(quadric, 5.05, 64, 64);
        glEndList();
        gluDeleteQuadric(quadric);
        // Picture rows run from north to south; the sphere's t from south to north.
        glMatrixMode(GL_TEXTURE);
        glScalef(1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        const GLfloat position[] = {10, 10, 10, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    }

    void Resize(int width, int height) const {
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45.0, double(width) / height, 0.1, 550.0);
        glMatrixMode(GL_MODELVIEW);
    }

    void Draw(float turn) const {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0, 0, -15);
        glRotatef(turn, 0, 1, 0);
        glRotatef(-90, 1, 0, 0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, Earth);
        glCallList(EarthList);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, Clouds);
        glCallList(CloudList);
        glDisable(GL_BLEND);
    }
};

bool WritePng(const char* path, int width, int height, const std::vector<unsigned char>& rgb) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = height - 1; y >= 0; --y) // OpenGL's rows run bottom up
        png_write_row(png, rgb.data() + std::size_t(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

int RenderMain(const char* out, int width, int height, const char* earthPath,
               const char* cloudPath) {
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay)
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor) ||
        !eglBindAPI(EGL_OPENGL_API)) {
        std::fprintf(stderr, "no EGL display\n");
        return 1;
    }
    const EGLint attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                              EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, nullptr, EGL_NO_CONTEXT, attribs);
    if (context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        std::fprintf(stderr, "no OpenGL context\n");
        return 1;
    }
    auto genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
    auto bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
    auto genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
    auto bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
    auto storage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
    auto attach = reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
    GLuint fbo = 0, buffers[2] = {};
    genFramebuffers(1, &fbo);
    bindFramebuffer(GL_FRAMEBUFFER, fbo);
    genRenderbuffers(2, buffers);
    bindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    bindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);

    TPicture earth, clouds;
    if (!DecodeJpeg(earthPath, earth) || !DecodeJpeg(cloudPath, clouds)) {
        std::fprintf(stderr, "cannot read the pictures\n");
        return 1;
    }
    TGlobe globe;
    globe.Build(earth, clouds);
    globe.Resize(width, height);
    globe.Draw(0);
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    if (!WritePng(out, width, height, rgb)) {
        std::fprintf(stderr, "cannot write %s\n", out);
        return 1;
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    eglTerminate(display);
    return 0;
}

// A native window with its own context, as the globe draws into on X11.
class TBareWindow : public QWindow {
public:
    TBareWindow(const char* earth, const char* clouds) : EarthPath(earth), CloudPath(clouds) {
        setSurfaceType(QSurface::OpenGLSurface);
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        format.setVersion(2, 1);
        format.setAlphaBufferSize(8);
        format.setDepthBufferSize(24);
        format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
        setFormat(format);
        resize(640, 480);
    }

    std::function<void()> OnSwapped;
    float Turn = 0;

    void Render() {
        if (!isExposed()) return;
        if (!Context) {
            Context = new QOpenGLContext(this);
            Context->setFormat(requestedFormat());
            if (!Context->create()) std::exit(1);
            Context->makeCurrent(this);
            TPicture earth, clouds;
            if (!DecodeJpeg(EarthPath, earth) || !DecodeJpeg(CloudPath, clouds)) std::exit(1);
            Globe.Build(earth, clouds);
        }
        Context->makeCurrent(this);
        const qreal ratio = devicePixelRatio();
        Globe.Resize(int(width() * ratio), int(height() * ratio));
        Globe.Draw(Turn);
        Context->swapBuffers(this);
        if (OnSwapped) OnSwapped();
    }

protected:
    void exposeEvent(QExposeEvent*) override { Render(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            Render();
            return true;
        }
        return QWindow::event(event);
    }

private:
    const char* EarthPath;
    const char* CloudPath;
    QOpenGLContext* Context = nullptr;
    TGlobe Globe;
};

int WindowMain(int argc, char** argv, bool turning, double seconds, const char* earth,
               const char* clouds) {
    const std::int64_t mainNs = MonotonicNs();
    QGuiApplication app(argc, argv);
    TBareWindow window(earth, clouds);
    long swaps = 0;
    window.OnSwapped = [&] {
        if (++swaps > 1 || turning) return;
        std::printf("RESULT main_ns=%lld frame_ns=%lld\n", static_cast<long long>(mainNs),
                    static_cast<long long>(MonotonicNs()));
        std::fflush(stdout);
        QTimer::singleShot(0, &app, [&] { app.exit(0); });
    };
    QTimer ticker;
    if (turning) {
        QObject::connect(&ticker, &QTimer::timeout, &window, [&] {
            window.Turn += 1.0f;
            window.requestUpdate();
        });
        ticker.start(33);
        QTimer::singleShot(2000, &app, [&] {
            const double cpu0 = CpuSeconds();
            const long swaps0 = swaps;
            const std::int64_t t0 = MonotonicNs();
            QTimer::singleShot(int(seconds * 1000), &app, [&, cpu0, swaps0, t0] {
                const double wall = double(MonotonicNs() - t0) / 1e9;
                std::printf("RESULT cpu_percent=%.1f fps=%.1f\n", 100 * (CpuSeconds() - cpu0) / wall,
                            double(swaps - swaps0) / wall);
                std::fflush(stdout);
                app.exit(0);
            });
        });
    }
    window.show();
    return QGuiApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    std::string out;
    int width = 640, height = 480;
    bool window = false, turning = false;
    double seconds = 10;
    std::vector<const char*> pictures;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--render" && i + 1 < argc) out = argv[++i];
        else if (arg == "--size" && i + 1 < argc) std::sscanf(argv[++i], "%dx%d", &width, &height);
        else if (arg == "--window") window = true;
        else if (arg == "--turning") turning = true;
        else if (arg == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (arg.rfind("-", 0) != 0) pictures.push_back(argv[i]);
    }
    if (pictures.size() != 2 || (out.empty() && !window) || width < 1 || height < 1) {
        std::fprintf(stderr, "usage: bench_bareglobe --render OUT.png --size WxH EARTH.jpg CLOUDS.jpg\n"
                             "       bench_bareglobe --window [--turning] [--seconds S] EARTH.jpg CLOUDS.jpg\n");
        return 2;
    }
    if (window) return WindowMain(argc, argv, turning, seconds, pictures[0], pictures[1]);
    return RenderMain(out.c_str(), width, height, pictures[0], pictures[1]);
}
