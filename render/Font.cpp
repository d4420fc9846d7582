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
#include <vector>

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

void CompileGlyph(GLuint list, const QFont& font, const QFontMetrics& metrics, int code) {
    const std::string byte(1, static_cast<char>(code));
    const QString text = QString::fromStdString(Cp1252ToUtf8(byte));
    const int advance = metrics.horizontalAdvance(text);
    const int ascent = metrics.ascent();
    const int descent = metrics.descent();
    const int width = advance + 2 * LeftMargin;
    const int height = ascent + descent;

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(LeftMargin, ascent, text);
    }

    // glBitmap wants the bottom row first, one bit per pixel, most significant bit leftmost.
    const int rowBytes = (width + 7) / 8;
    std::vector<GLubyte> bits(static_cast<std::size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(height - 1 - y));
        for (int x = 0; x < width; ++x)
            if (qGreen(line[x]) > 127)
                bits[static_cast<std::size_t>(y) * rowBytes + x / 8] |=
                    static_cast<GLubyte>(0x80 >> (x % 8));
    }
    glNewList(list, GL_COMPILE);
    glBitmap(width, height, static_cast<GLfloat>(LeftMargin), static_cast<GLfloat>(descent),
             static_cast<GLfloat>(advance), 0, bits.data());
    glEndList();
}

} // namespace

double TextScale(double ratio) {
    if (!(ratio >= 1)) return 1; // NaN too
    return std::min(ratio, 8.0);
}

int FontPixelHeightAt(double scale) {
    return static_cast<int>(std::lround(FontPixelHeight * TextScale(scale)));
}

GLuint MakeFontLists(double scale) {
    const GLuint base = glGenLists(FontListCount);
    if (base == 0) return 0;
    const QFont font = ChooseFont(FontPixelHeightAt(scale));
    const QFontMetrics metrics(font);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int code = FontFirstChar; code <= FontLastChar; ++code)
        CompileGlyph(base + static_cast<GLuint>(code - FontFirstChar), font, metrics, code);
    glPopClientAttrib();
    return base;
}

void DrawFontText(GLuint fontDL, std::string_view text) {
    if (fontDL == 0 || text.empty()) return;
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= FontFirstChar) printable.push_back(c);
    if (printable.empty()) return;
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontDL - FontFirstChar);
    glCallLists(static_cast<GLsizei>(printable.size()), GL_UNSIGNED_BYTE, printable.data());
    glPopAttrib();
}

void DeleteFontLists(GLuint& fontDL) {
    if (fontDL != 0) glDeleteLists(fontDL, FontListCount);
    fontDL = 0;
}

} // namespace nimbora
