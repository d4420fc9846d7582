#include "render/Textures.h"

#include "render/JpegDecode.h"

#include <GL/glu.h>
#include <QFile>

namespace nimbora {

namespace {

// No texture file is larger than the biggest picture we accept (compressed, with slack).
constexpr qint64 MaxJpegFileBytes = qint64{256} * 1024 * 1024;

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

} // namespace

GLuint CreateTexture(int width, int height, const std::uint8_t* pixels) {
    if (width <= 0 || height <= 0 || !pixels) return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // The globe is filtered linearly from the full picture only, so smaller levels would never be
    // looked at. A picture OpenGL takes as it is goes up alone, which saves the time and the
    // memory of building the levels in software; others are rescaled by GLU on the way.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (IsPowerOfTwo(width) && IsPowerOfTwo(height) && width <= maxSize && height <= maxSize) {
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels);
        if (glGetError() == GL_NO_ERROR) return name;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    }
    if (gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                          pixels) != 0) {
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
    return LoadPictureTexture(DecodeJpeg(jpeg), target);
}

bool LoadPictureTexture(const std::optional<TRgbaPicture>& picture, GLuint& target) {
    if (!picture) return false;
    const GLuint name = CreateTexture(picture->Width, picture->Height, picture->Pixels.data());
    if (name == 0) return false;
    // The old picture is no longer drawn anywhere.
    if (target != 0) glDeleteTextures(1, &target);
    target = name;
    return true;
}

std::optional<TRgbaPicture> DecodeJpegFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxJpegFileBytes) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) return std::nullopt;
    return DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size())));
}

bool LoadJpegTexture(const QString& path, GLuint& target) {
    return LoadPictureTexture(DecodeJpegFile(path), target);
}

} // namespace nimbora
