#pragma once
// The bitmap font of the globe's texts: one display list per Windows-1252 character 32..253,
// drawn at the current raster position. Needs the OpenGL context current and a QGuiApplication.
#include <GL/gl.h>

#include <string_view>

namespace nimbora {

inline constexpr int FontListCount = 255;
inline constexpr int FontFirstChar = 32;
inline constexpr int FontLastChar = 253;
inline constexpr int FontPixelHeight = 11;

// How much larger than at ratio 1 the texts are drawn where one window unit spans `ratio`
// framebuffer pixels, so that they keep their size on dense screens: never smaller than at ratio
// 1 (smaller would be unreadable), at most 8 (the glyph bitmaps stay small).
double TextScale(double ratio);
// The font's height in framebuffer pixels at that scale.
int FontPixelHeightAt(double scale);

// Reserves the 255 lists and compiles the glyphs at FontPixelHeightAt(scale); returns the first
// list (`FontDL`), or 0 when OpenGL has no lists to give.
GLuint MakeFontLists(double scale = 1);

// Draws Windows-1252 text at the current raster position. Control bytes are skipped: their
// lists would lie before the font's block and belong to other drawings.
void DrawFontText(GLuint fontDL, std::string_view text);

void DeleteFontLists(GLuint& fontDL);

} // namespace nimbora
