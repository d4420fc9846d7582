#pragma once
// Small pictures written with libpng and libjpeg for the picture tests, and a JPEG decoder for
// checking what the filter produced.
#include <cstdint>
#include <string>
#include <vector>

namespace nimbora::test {

struct TestPng {
    int Width = 0;
    int Height = 0;
    int ColorType = 0; // PNG_COLOR_TYPE_...
    int BitDepth = 8;
    bool Interlaced = false;
    std::vector<std::uint16_t> Samples;     // row by row, channel by channel, at BitDepth
    std::vector<std::uint8_t> Palette;      // R, G, B per entry
    std::vector<std::uint8_t> PaletteAlpha; // tRNS of a palette picture
};

bool WritePng(const std::string& path, const TestPng& png);

// components 1 (grey), 3 (RGB) or 4 (CMYK as Adobe stores it, 0 = full ink; YCCK-coded when
// ycck); pixels row by row.
bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<std::uint8_t>& pixels, int quality = 100, bool progressive = false,
               bool ycck = false);

struct DecodedJpeg {
    bool Ok = false;
    int Width = 0;
    int Height = 0;
    int Components = 0;
    std::vector<std::uint8_t> Rgb; // always RGB, row by row
};

DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& bytes);

// A valid PNG signature and IHDR (CRC included) for the given size, then a tiny IDAT and IEND:
// a header that lies about the picture's size. colorType 2 is RGB, 6 RGBA.
std::string PngWithHeader(std::uint32_t width, std::uint32_t height, int colorType = 2,
                          bool interlaced = false);

} // namespace nimbora::test
