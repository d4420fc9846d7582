#pragma once
// Drawing without a window: an OpenGL context that needs no display server, and a framebuffer
// object of any size that the scene draws into and that is then read back.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbora {

class TOffscreenRender {
public:
    TOffscreenRender();
    ~TOffscreenRender();
    TOffscreenRender(const TOffscreenRender&) = delete;
    TOffscreenRender& operator=(const TOffscreenRender&) = delete;

    // A compatibility-profile context made current on this thread. EGL on Mesa's surfaceless
    // platform comes first: it needs no X or Wayland server and uses a GPU's render node when
    // there is one (else llvmpipe); the default EGL display is the fallback for other drivers.
    // False with error set when no context can be had.
    bool Create(std::string& error);
    // The renderer's name, for messages.
    std::string Renderer() const;
    // The largest side a framebuffer can have here (renderbuffer and viewport limits).
    int MaxSide() const;
    // A framebuffer of that size (colour RGBA 8-8-8-8, depth 24 with stencil 8), bound for
    // drawing. False with error set when it cannot be made.
    bool MakeFramebuffer(int width, int height, std::string& error);
    // The framebuffer's pixels: pack alignment 1, GL_RGB, bottom row first.
    bool Read(std::vector<std::uint8_t>& rgb);

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace nimbora
