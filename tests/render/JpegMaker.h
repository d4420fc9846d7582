#pragma once
// Small JPEG pictures made on the spot for the decoding and drawing tests.
#include <cstdint>
#include <functional>
#include <vector>

namespace nimbora::test {

using TBytes = std::vector<std::uint8_t>;

// Encodes width x height pixels of `components` bytes (1 grey, 3 RGB, 4 CMYK as Adobe writes
// it: 255 = no ink). `pixel(x, y, out)` fills one pixel; y = 0 is the top row.
TBytes MakeJpeg(int width, int height, int components,
                const std::function<void(int x, int y, std::uint8_t* out)>& pixel,
                bool progressive = false);

// Sets the picture size stored in the frame header (SOF) of a JPEG.
void PatchJpegSize(TBytes& jpeg, int width, int height);

} // namespace nimbora::test
