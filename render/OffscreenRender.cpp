#include "render/OffscreenRender.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <new>

namespace nimbora {

namespace {

template <typename T> bool Load(T& fn, const char* name) {
    fn = reinterpret_cast<T>(eglGetProcAddress(name));
    return fn != nullptr;
}

bool HasWord(const char* list, const std::string& word) {
    if (!list) return false;
    const std::string all = std::string(" ") + list + " ";
    return all.find(" " + word + " ") != std::string::npos;
}

} // namespace

struct TOffscreenRender::TImpl {
    EGLDisplay Display = EGL_NO_DISPLAY;
    EGLContext Context = EGL_NO_CONTEXT;
    EGLSurface Surface = EGL_NO_SURFACE;
    GLuint Fbo = 0, Colour = 0, Depth = 0;
    int Width = 0, Height = 0;
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;

    bool TryDisplay(EGLDisplay display) {
        if (display == EGL_NO_DISPLAY) return false;
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) return false;
        Display = display;
        if (!eglBindAPI(EGL_OPENGL_API)) return Drop();
        const bool surfaceless =
            HasWord(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
        const EGLint want[] = {EGL_SURFACE_TYPE,
                               EGL_PBUFFER_BIT,
                               EGL_RENDERABLE_TYPE,
                               EGL_OPENGL_BIT,
                               EGL_RED_SIZE,
                               8,
                               EGL_GREEN_SIZE,
                               8,
                               EGL_BLUE_SIZE,
                               8,
                               EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        eglChooseConfig(display, want, &config, 1, &count);
        // Mesa's surfaceless platform offers no configs: a context without one draws into
        // framebuffer objects only, which is all we need.
        if (count < 1) {
            if (!surfaceless) return Drop();
            config = nullptr;
        }
        const EGLint attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        Context = eglCreateContext(display, config, EGL_NO_CONTEXT, attribs);
        if (Context == EGL_NO_CONTEXT) return Drop();
        if (!surfaceless) {
            const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
            Surface = eglCreatePbufferSurface(display, config, size);
            if (Surface == EGL_NO_SURFACE) return Drop();
        }
        if (!eglMakeCurrent(display, Surface, Surface, Context)) return Drop();
        if (!(Load(GenFramebuffers, "glGenFramebuffers") &&
              Load(BindFramebuffer, "glBindFramebuffer") &&
              Load(DeleteFramebuffers, "glDeleteFramebuffers") &&
              Load(GenRenderbuffers, "glGenRenderbuffers") &&
              Load(BindRenderbuffer, "glBindRenderbuffer") &&
              Load(DeleteRenderbuffers, "glDeleteRenderbuffers") &&
              Load(RenderbufferStorage, "glRenderbufferStorage") &&
              Load(FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
              Load(CheckFramebufferStatus, "glCheckFramebufferStatus")))
            return Drop();
        return true;
    }

    bool Drop() {
        if (Display != EGL_NO_DISPLAY) {
            eglMakeCurrent(Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (Surface != EGL_NO_SURFACE) eglDestroySurface(Display, Surface);
            if (Context != EGL_NO_CONTEXT) eglDestroyContext(Display, Context);
            eglTerminate(Display);
        }
        Display = EGL_NO_DISPLAY;
        Context = EGL_NO_CONTEXT;
        Surface = EGL_NO_SURFACE;
        return false;
    }

    void FreeFramebuffer() {
        if (Context == EGL_NO_CONTEXT) return;
        if (Fbo) {
            BindFramebuffer(GL_FRAMEBUFFER, 0);
            DeleteFramebuffers(1, &Fbo);
        }
        if (Colour) DeleteRenderbuffers(1, &Colour);
        if (Depth) DeleteRenderbuffers(1, &Depth);
        Fbo = Colour = Depth = 0;
        Width = Height = 0;
    }
};

TOffscreenRender::TOffscreenRender() : Impl(std::make_unique<TImpl>()) {}

TOffscreenRender::~TOffscreenRender() {
    Impl->FreeFramebuffer();
    Impl->Drop();
}

bool TOffscreenRender::Create(std::string& error) {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay = nullptr;
    if (HasWord(clientExtensions, "EGL_MESA_platform_surfaceless") &&
        Load(getPlatformDisplay, "eglGetPlatformDisplayEXT") &&
        Impl->TryDisplay(
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)))
        return true;
    if (Impl->TryDisplay(eglGetDisplay(EGL_DEFAULT_DISPLAY))) return true;
    error = "Unable to create an OpenGL rendering context.";
    return false;
}

std::string TOffscreenRender::Renderer() const {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name ? name : "";
}

int TOffscreenRender::MaxSide() const {
    GLint renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::max(0, std::min({renderbuffer, viewport[0], viewport[1]}));
}

bool TOffscreenRender::MakeFramebuffer(int width, int height, std::string& error) {
    TImpl& d = *Impl;
    d.FreeFramebuffer();
    while (glGetError() != GL_NO_ERROR) {
    }
    d.GenFramebuffers(1, &d.Fbo);
    d.BindFramebuffer(GL_FRAMEBUFFER, d.Fbo);
    d.GenRenderbuffers(1, &d.Colour);
    d.BindRenderbuffer(GL_RENDERBUFFER, d.Colour);
    d.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    d.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d.Colour);
    d.GenRenderbuffers(1, &d.Depth);
    d.BindRenderbuffer(GL_RENDERBUFFER, d.Depth);
    d.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    d.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              d.Depth);
    if (glGetError() != GL_NO_ERROR ||
        d.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        d.FreeFramebuffer();
        error = "Cannot make a drawing buffer of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    d.Width = width;
    d.Height = height;
    return true;
}

bool TOffscreenRender::Read(std::vector<std::uint8_t>& rgb) {
    const TImpl& d = *Impl;
    rgb.clear();
    if (!d.Fbo) return false;
    try {
        rgb.resize(static_cast<std::size_t>(d.Width) * static_cast<std::size_t>(d.Height) * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, d.Width, d.Height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    if (glGetError() == GL_NO_ERROR) return true;
    rgb.clear();
    return false;
}

} // namespace nimbora
