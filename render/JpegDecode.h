#pragma once
// JPEG pictures to RGBA pixel arrays for textures. Pictures come from outside (servers, files),
// so decoding is bounded and every libjpeg error ends in a plain failure.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace nimbora {

// Larger pictures are refused: no texture needs more, and it bounds memory at 128 MiB.
inline constexpr int MaxJpegSide = 16384;
inline constexpr std::size_t MaxJpegPixels = std::size_t{8192} * 4096;

// Width x height pixels, 4 bytes each (red, green, blue, alpha 255). Row 0 is the picture's
// bottom row, as OpenGL takes texture rows.
struct TRgbaPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;
};

// Decodes colour, greyscale and CMYK/YCCK JPEGs. Fails (nullopt) on empty, damaged, truncated
// or oversized data, and on progressive pictures with an absurd number of scans.
std::optional<TRgbaPicture> DecodeJpeg(std::span<const std::uint8_t> data);

// The same decoding, handed out in bands of at most bandRows rows so that the whole picture is
// never held: begin(width, height) once the size is known (false stops), then band(first,
// count, pixels) for the picture rows first .. first + count - 1 from the top down, each band's
// RGBA rows bottom first as OpenGL takes them (false stops). True when every row was handed out.
using TJpegBegin = std::function<bool(int width, int height)>;
using TJpegBand = std::function<bool(int first, int count, const std::uint8_t* pixels)>;
bool DecodeJpegBands(std::span<const std::uint8_t> data, const TJpegBegin& begin,
                     const TJpegBand& band, int bandRows = 32);

} // namespace nimbora
