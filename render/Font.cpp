#include "render/Font.h"

#include "core/Cp1252.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>

namespace nimbora {

namespace {

QFont ChooseFont(int pixelHeight) {
    for (const char* family : {"Arial", "Liberation Sans"}) {
        QFont font(QString::fromLatin1(family));
        font.setPixelSize(pixelHeight);
        font.setBold(true);
        font.setStyleStrategy(QFont::NoAntialias);
        if (QFontInfo(font).family().compare(QString::fromLatin1(family), Qt::CaseInsensitive) == 0)
            return font;
    }
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Room left of the pen position for glyphs that reach back over it.
constexpr int LeftMargin = 2;

// One glyph in white on black, the pen at (margin, ascent).
QImage GlyphImage(const QFont& font, const QFontMetrics& metrics, int code, int margin) {
    const std::string byte(1, static_cast<char>(code));
    const QString text = QString::fromStdString(Cp1252ToUtf8(byte));
    const int width = metrics.horizontalAdvance(text) + 2 * margin;
    QImage image(std::max(width, 1), metrics.ascent() + metrics.descent(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(margin, metrics.ascent(), text);
    return image;
}

int PowerOfTwoAtLeast(int n) {
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

} // namespace

double TextScale(double ratio) {
    if (!(ratio >= 1)) return 1; // NaN too
    return std::min(ratio, 8.0);
}

int FontPixelHeightAt(double scale) {
    return static_cast<int>(std::lround(FontPixelHeight * TextScale(scale)));
}

bool TFontAtlas::Build(double scale) {
    Release();
    scale = TextScale(scale);
    const QFont font = ChooseFont(FontPixelHeightAt(scale));
    const QFontMetrics metrics(font);
    Margin = static_cast<int>(std::lround(LeftMargin * scale));
    Descent = metrics.descent();
    Height = metrics.ascent() + metrics.descent();

    std::vector<QImage> images;
    int cellWidth = 1;
    for (int code = FontFirstChar; code <= FontLastChar; ++code) {
        images.push_back(GlyphImage(font, metrics, code, Margin));
        cellWidth = std::max(cellWidth, images.back().width());
    }
    // A row of empty pixels between cells, so no glyph samples its neighbour.
    constexpr int Columns = 16;
    const int count = static_cast<int>(images.size());
    const int rows = (count + Columns - 1) / Columns;
    TexWidth = PowerOfTwoAtLeast(Columns * (cellWidth + 1));
    TexHeight = PowerOfTwoAtLeast(rows * (Height + 1));
    std::vector<GLubyte> alpha(static_cast<std::size_t>(TexWidth) * TexHeight, 0);
    for (int i = 0; i < count; ++i) {
        const int code = FontFirstChar + i;
        const QImage& image = images[static_cast<std::size_t>(i)];
        TGlyph& g = Glyphs[static_cast<std::size_t>(code)];
        g.CellX = (i % Columns) * (cellWidth + 1);
        g.CellY = (i / Columns) * (Height + 1);
        g.Width = image.width();
        g.Advance = image.width() - 2 * Margin;
        g.Present = true;
        // Texture rows run bottom to top, as window rows do.
        for (int y = 0; y < Height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(Height - 1 - y));
            GLubyte* row = &alpha[static_cast<std::size_t>(g.CellY + y) * TexWidth + g.CellX];
            for (int x = 0; x < g.Width; ++x)
                row[x] = qGreen(line[x]) > 127 ? 255 : 0;
        }
    }

    glGenTextures(1, &Texture);
    if (Texture == 0) return false;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, Texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, TexWidth, TexHeight, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 alpha.data());
    glPopClientAttrib();
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    return true;
}

void TFontAtlas::Release() {
    if (Texture != 0) glDeleteTextures(1, &Texture);
    Texture = 0;
    Glyphs = {};
}

void TFontAtlas::AddText(std::vector<float>& out, int x, int y, float z,
                         std::string_view text) const {
    const float sw = 1.0f / TexWidth, th = 1.0f / TexHeight;
    int pen = x;
    for (const char c : text) {
        const TGlyph& g = Glyphs[static_cast<unsigned char>(c)];
        if (!g.Present) continue;
        // Where glBitmap would put it: the glyph's cell starts `Margin` left of the pen and
        // `Descent` below the baseline.
        const float x0 = static_cast<float>(pen - Margin), y0 = static_cast<float>(y - Descent);
        const float x1 = x0 + static_cast<float>(g.Width), y1 = y0 + static_cast<float>(Height);
        const float s0 = g.CellX * sw, s1 = (g.CellX + g.Width) * sw;
        const float t0 = g.CellY * th, t1 = (g.CellY + Height) * th;
        out.insert(out.end(),
                   {s0, t0, x0, y0, z, s1, t0, x1, y0, z, s1, t1, x1, y1, z, s0, t1, x0, y1, z});
        pen += g.Advance;
    }
}

TTextBatch::TTextBatch(const TFontAtlas& atlas) : Atlas(atlas) {
    double mv[16], p[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, p);
    glGetIntegerv(GL_VIEWPORT, Viewport);
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += p[k * 4 + row] * mv[col * 4 + k];
            Transform[col * 4 + row] = sum;
        }
}

void TTextBatch::AddAt(const TVertex& a, std::string_view text) {
    const double* m = Transform;
    double clip[4];
    for (int row = 0; row < 4; ++row)
        clip[row] = m[row] * a.X + m[4 + row] * a.Y + m[8 + row] * a.Z + m[12 + row];
    const double w = clip[3];
    // Outside the view volume the raster position would be invalid: nothing is drawn.
    if (!(w > 0)) return;
    for (int i = 0; i < 3; ++i)
        if (clip[i] < -w || clip[i] > w) return;
    const double xw = Viewport[0] + (clip[0] / w + 1) * Viewport[2] / 2;
    const double yw = Viewport[1] + (clip[1] / w + 1) * Viewport[3] / 2;
    const double zw = (clip[2] / w + 1) / 2;
    Atlas.AddText(Vertices, static_cast<int>(std::floor(xw)), static_cast<int>(std::floor(yw)),
                  static_cast<float>(zw), text);
}

void TTextBatch::AddWindow(int x, int y, std::string_view text) {
    Atlas.AddText(Vertices, x, y, 0.5f, text);
}

void TTextBatch::Draw(float r, float g, float b) {
    if (Vertices.empty() || !Atlas.Ready()) return;
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT |
                 GL_LIGHTING_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, Atlas.TextureName());
    glColor3f(r, g, b);
    // Window pixels, and the vertex's z is the window depth itself.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(Viewport[0], Viewport[0] + Viewport[2], Viewport[1], Viewport[1] + Viewport[3], 0, -1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glInterleavedArrays(GL_T2F_V3F, 0, Vertices.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(Vertices.size() / 5));
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
    Vertices.clear();
}

} // namespace nimbora
