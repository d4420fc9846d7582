#pragma once
// The bitmap font of the globe's texts: the Windows-1252 characters 32..253 in one alpha texture
// (a glyph atlas), drawn as textured quads aligned to whole pixels, so a text costs one draw
// call instead of a bitmap per character. Needs the OpenGL context current and a
// QGuiApplication.
#include "core/Geometry.h"

#include <GL/gl.h>

#include <array>
#include <string_view>
#include <vector>

namespace nimbora {

inline constexpr int FontFirstChar = 32;
inline constexpr int FontLastChar = 253;
inline constexpr int FontPixelHeight = 11;

// How much larger than at ratio 1 the texts are drawn where one window unit spans `ratio`
// framebuffer pixels, so that they keep their size on dense screens: never smaller than at ratio
// 1 (smaller would be unreadable), at most 8 (the glyph bitmaps stay small).
double TextScale(double ratio);
// The font's height in framebuffer pixels at that scale.
int FontPixelHeightAt(double scale);

class TFontAtlas {
public:
    TFontAtlas() = default;
    TFontAtlas(const TFontAtlas&) = delete;
    TFontAtlas& operator=(const TFontAtlas&) = delete;

    // Renders the glyphs at FontPixelHeightAt(scale) (scale: device pixels per logical pixel,
    // limited by TextScale) and makes the texture; false when OpenGL gives none.
    bool Build(double scale = 1);
    void Release();
    bool Ready() const { return Texture != 0; }

    // Appends the quads of a Windows-1252 text whose pen starts at window pixel (x, y), at
    // depth z (window depth 0..1): s, t, x, y, z per corner (GL_T2F_V3F), four corners a glyph.
    // Control bytes and characters without a glyph draw nothing and do not advance.
    void AddText(std::vector<float>& out, int x, int y, float z, std::string_view text) const;

    GLuint TextureName() const { return Texture; }

private:
    struct TGlyph {
        int CellX = 0, CellY = 0; // lower-left corner in the texture
        int Width = 0, Advance = 0;
        bool Present = false;
    };
    std::array<TGlyph, 256> Glyphs{};
    GLuint Texture = 0;
    int TexWidth = 1, TexHeight = 1;
    int Height = 0, Descent = 0, Margin = 0;
};

// The texts of one drawing step, collected and drawn in one call in one colour. Positions given
// in the scene's coordinates are taken through the modelview and projection matrices current
// when the batch was made, as glRasterPos would take them: a text whose anchor lies outside the
// view volume is left out, the others are depth-tested at their anchor's depth.
class TTextBatch {
public:
    explicit TTextBatch(const TFontAtlas& atlas);
    void AddAt(const TVertex& anchor, std::string_view text);
    // At window pixel (x, y), origin bottom-left, depth 0.5.
    void AddWindow(int x, int y, std::string_view text);
    // Draws what was added in the colour given; the GL state is put back as found.
    void Draw(float r, float g, float b);
    bool Empty() const { return Vertices.empty(); }

private:
    const TFontAtlas& Atlas;
    std::vector<float> Vertices;
    double Transform[16] = {}; // projection * modelview, column-major
    GLint Viewport[4] = {0, 0, 1, 1};
};

} // namespace nimbora
