#pragma once
// Reading back the picture that the drawing panel shows.
#include <cstdint>
#include <vector>

namespace nimbora {

class TOpenGLPanel;

// Draws a fresh frame of the panel and reads it at the panel's size in device pixels: pack
// alignment 1, GL_RGB and GL_UNSIGNED_BYTE, bottom row first. A zero-sized panel, a panel
// without a context or a buffer that cannot be had gives false and reads nothing.
bool ReadPanelFrame(TOpenGLPanel& panel, int& width, int& height, std::vector<std::uint8_t>& rgb);

} // namespace nimbora
