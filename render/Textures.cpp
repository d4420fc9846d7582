#include "render/Textures.h"

#include "render/JpegDecode.h"

#include <GL/glu.h>
#include <QFile>

#include <algorithm>

namespace nimbora {

namespace {

// No texture file is larger than the biggest picture we accept (compressed, with slack).
constexpr qint64 MaxJpegFileBytes = qint64{256} * 1024 * 1024;

// The whole file, or nothing when it cannot be read or is larger than any picture we take.
QByteArray ReadJpegFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxJpegFileBytes) return {};
    return file.readAll();
}

std::span<const std::uint8_t> Bytes(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// The pixel format of channels bytes a pixel, and the texture's own.
struct TTexFormat {
    GLenum Pixels = GL_RGBA;
    GLint Internal = GL_RGBA;
};

bool FormatOf(int channels, TTexFormat& format) {
    switch (channels) {
    case 1:
        format = {GL_LUMINANCE, GL_LUMINANCE};
        return true;
    case 3:
        format = {GL_RGB, GL_RGBA};
        return true;
    case 4:
        format = {GL_RGBA, GL_RGBA};
        return true;
    default:
        return false;
    }
}

// A picture OpenGL takes as it is: its single level goes up with no rescaling.
bool TakenAsItIs(int width, int height) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return IsPowerOfTwo(width) && IsPowerOfTwo(height) && width <= maxSize && height <= maxSize;
}

// A new texture name, bound, with the scene's texture settings.
GLuint NewTexture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return name;
}

// Makes target the new texture, deleting the old one, which is no longer drawn anywhere.
void Replace(GLuint& target, GLuint name) {
    if (target != 0) glDeleteTextures(1, &target);
    target = name;
}

void ClearGlErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

} // namespace

GLuint CreateTexture(int width, int height, const std::uint8_t* pixels) {
    return CreateTexture(width, height, 4, pixels);
}

GLuint CreateTexture(int width, int height, int channels, const std::uint8_t* pixels) {
    TTexFormat format;
    if (width <= 0 || height <= 0 || !pixels || !FormatOf(channels, format)) return 0;
    const GLuint name = NewTexture();
    if (name == 0) return 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, channels == 4 ? 4 : 1);
    // The globe is filtered linearly from the full picture only, so smaller levels would never be
    // looked at. A picture OpenGL takes as it is goes up alone, which saves the time and the
    // memory of building the levels in software; others are rescaled by GLU on the way.
    if (TakenAsItIs(width, height)) {
        ClearGlErrors();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, format.Internal, width, height, 0, format.Pixels,
                     GL_UNSIGNED_BYTE, pixels);
        if (glGetError() == GL_NO_ERROR) return name;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    }
    if (gluBuild2DMipmaps(GL_TEXTURE_2D, format.Internal, width, height, format.Pixels,
                          GL_UNSIGNED_BYTE, pixels) != 0) {
        glDeleteTextures(1, &name);
        return 0;
    }
    return name;
}

int MaxTextureSide() {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return maxSize;
}

bool LoadJpegTexture(std::span<const std::uint8_t> jpeg, GLuint& target) {
    if (jpeg.empty()) return false;
    GLuint name = 0;
    int width = 0, height = 0;
    TRgbaPicture whole; // only for a picture that must be rescaled whole
    const auto begin = [&](int w, int h) {
        width = w;
        height = h;
        if (!TakenAsItIs(w, h)) {
            whole.Width = w;
            whole.Height = h;
            whole.Pixels.resize(static_cast<std::size_t>(w) * h * 4);
            return true;
        }
        name = NewTexture();
        if (name == 0) return false;
        ClearGlErrors();
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        return glGetError() == GL_NO_ERROR;
    };
    const auto band = [&](int first, int count, const std::uint8_t* pixels) {
        // Rows go bottom first: the band's lowest row is picture row first + count - 1.
        if (name == 0) {
            const std::size_t stride = static_cast<std::size_t>(width) * 4;
            std::copy(pixels, pixels + stride * count,
                      whole.Pixels.data() + stride * (height - first - count));
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, height - first - count, width, count, GL_RGBA,
                            GL_UNSIGNED_BYTE, pixels);
        }
        return true;
    };
    const bool decoded = DecodeJpegBands(jpeg, begin, band);
    if (name != 0) {
        if (decoded && glGetError() == GL_NO_ERROR) {
            Replace(target, name);
            return true;
        }
        glDeleteTextures(1, &name);
        return false;
    }
    if (!decoded) return false;
    name = CreateTexture(whole.Width, whole.Height, 4, whole.Pixels.data());
    if (name == 0) return false;
    Replace(target, name);
    return true;
}

bool LoadPixelTexture(int width, int height, int channels, const std::uint8_t* pixels,
                      GLuint& target) {
    const GLuint name = CreateTexture(width, height, channels, pixels);
    if (name == 0) return false;
    Replace(target, name);
    return true;
}

bool LoadPictureTexture(const std::optional<TRgbaPicture>& picture, GLuint& target) {
    return picture &&
           LoadPixelTexture(picture->Width, picture->Height, 4, picture->Pixels.data(), target);
}

std::optional<TRgbaPicture> DecodeJpegFile(const QString& path) {
    const QByteArray bytes = ReadJpegFile(path);
    if (bytes.isEmpty()) return std::nullopt;
    return DecodeJpeg(Bytes(bytes));
}

bool LoadJpegTexture(const QString& path, GLuint& target) {
    const QByteArray bytes = ReadJpegFile(path);
    return !bytes.isEmpty() && LoadJpegTexture(Bytes(bytes), target);
}

} // namespace nimbora
