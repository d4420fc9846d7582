#include "render/JpegDecode.h"

#include "core/JpegSupport.h"

#include <algorithm>
#include <csetjmp>
#include <utility>

namespace nimbora {

namespace {

// Progressive files may hold any number of scans, each a full pass over the picture.
constexpr int MaxScans = 500;

void ConvertRow(const std::uint8_t* in, std::uint8_t* out, int width, J_COLOR_SPACE space,
                bool adobeInverted) {
    if (space == JCS_CMYK) {
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            const TRgb8 rgb = CmykToRgb(in, adobeInverted);
            out[0] = rgb.R;
            out[1] = rgb.G;
            out[2] = rgb.B;
            out[3] = 255;
        }
    } else if (space == JCS_GRAYSCALE) {
        for (int x = 0; x < width; ++x, ++in, out += 4) {
            out[0] = out[1] = out[2] = in[0];
            out[3] = 255;
        }
    } else {
        for (int x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
}

// Everything that must survive a longjmp lives here, outside the setjmp frame.
struct TDecodeState {
    jpeg_decompress_struct Info{};
    TJpegErrorManager Error{};
    std::jmp_buf Escape;
    std::vector<std::uint8_t> Row;
    std::vector<std::uint8_t> Band;
};

bool Decode(TDecodeState& s, std::span<const std::uint8_t> data, const TJpegBegin& begin,
            const TJpegBand& band, int bandRows) {
    jpeg_decompress_struct& info = s.Info;
    if (setjmp(s.Escape)) return false;

    jpeg_create_decompress(&info);
    LimitJpegScans(s.Error, info, MaxScans);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;

    if (info.image_width == 0 || info.image_height == 0 || info.image_width > MaxJpegSide ||
        info.image_height > MaxJpegSide ||
        std::size_t{info.image_width} * info.image_height > MaxJpegPixels)
        return false;

    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        break;
    default:
        info.out_color_space = JCS_RGB;
        break;
    }
    jpeg_start_decompress(&info);

    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const int components = info.output_components;
    const J_COLOR_SPACE space = info.out_color_space;
    if ((space == JCS_CMYK && components != 4) || (space == JCS_GRAYSCALE && components != 1) ||
        (space == JCS_RGB && components != 3))
        return false;

    if (!begin(width, height)) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    s.Row.resize(static_cast<std::size_t>(width) * components);
    s.Band.resize(stride * static_cast<std::size_t>(std::min(bandRows, height)));
    const bool adobeInverted = info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        const int first = static_cast<int>(info.output_scanline);
        const int count = std::min(bandRows, height - first);
        for (int i = 0; i < count; ++i) {
            JSAMPROW row = s.Row.data();
            if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
            // Bottom row first.
            ConvertRow(s.Row.data(), s.Band.data() + stride * (count - 1 - i), width, space,
                       adobeInverted);
        }
        if (!band(first, count, s.Band.data())) return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

bool DecodeJpegBands(std::span<const std::uint8_t> data, const TJpegBegin& begin,
                     const TJpegBand& band, int bandRows) {
    if (data.size() < 4 || bandRows < 1) return false;
    TDecodeState s;
    s.Info.err = UseJpegErrorManager(s.Error, s.Escape);
    bool ok = false;
    try {
        ok = Decode(s, data, begin, band, bandRows);
    } catch (...) { // no memory for the rows
        ok = false;
    }
    jpeg_destroy_decompress(&s.Info);
    return ok;
}

std::optional<TRgbaPicture> DecodeJpeg(std::span<const std::uint8_t> data) {
    TRgbaPicture picture;
    const auto begin = [&picture](int width, int height) {
        picture.Width = width;
        picture.Height = height;
        picture.Pixels.resize(static_cast<std::size_t>(width) * height * 4);
        return true;
    };
    // Each band lands where its rows go in the whole picture, bottom row first.
    const auto band = [&picture](int first, int count, const std::uint8_t* pixels) {
        const std::size_t stride = static_cast<std::size_t>(picture.Width) * 4;
        std::copy(pixels, pixels + stride * count,
                  picture.Pixels.data() + stride * (picture.Height - first - count));
        return true;
    };
    if (!DecodeJpegBands(data, begin, band)) return std::nullopt;
    return picture;
}

} // namespace nimbora
