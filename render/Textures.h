#pragma once
// Textures from pictures: the embedded earth, sun and moon JPEGs and the processed cloud picture.
// Needs the OpenGL context current.
#include "render/JpegDecode.h"

#include <GL/gl.h>

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace nimbora {

// A new mipmapped RGBA texture from width x height pixels (4 bytes each, bottom row first).
// Sides that are not powers of two are rescaled. Returns 0 when OpenGL refuses it.
GLuint CreateTexture(int width, int height, const std::uint8_t* pixels);
// The same from pixels of channels bytes each (rows without padding): 4 RGBA, 3 RGB (drawn as
// RGBA with full alpha) or 1 grey, kept as a one-channel texture, which the scene's modulate
// mode draws as R = G = B at a quarter of the memory.
GLuint CreateTexture(int width, int height, int channels, const std::uint8_t* pixels);

// The largest texture side the current context takes (GL_MAX_TEXTURE_SIZE); 0 when unknown.
int MaxTextureSide();

// Decodes a JPEG and makes it the texture in `target`, deleting the texture held there before.
// A picture OpenGL takes as it is goes up in bands as it is decoded, so the whole decoded
// picture is never held beside OpenGL's own copy. On any failure returns false and leaves
// `target` unchanged.
bool LoadJpegTexture(std::span<const std::uint8_t> jpeg, GLuint& target);

// Pixels as CreateTexture takes them, made the texture in `target` the same way.
bool LoadPixelTexture(int width, int height, int channels, const std::uint8_t* pixels,
                      GLuint& target);

// The same for a resource or file path such as ":/earth2048.jpg".
bool LoadJpegTexture(const QString& path, GLuint& target);

// The decoded picture of a resource or file path; needs no context, so it may run on a worker.
std::optional<TRgbaPicture> DecodeJpegFile(const QString& path);

// Makes a decoded picture the texture in `target`, as LoadJpegTexture does.
bool LoadPictureTexture(const std::optional<TRgbaPicture>& picture, GLuint& target);

} // namespace nimbora
