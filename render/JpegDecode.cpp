#include "render/JpegDecode.h"

#include "core/JpegSupport.h"

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
    TRgbaPicture Picture;
};

bool Decode(TDecodeState& s, std::span<const std::uint8_t> data) {
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

    s.Row.resize(static_cast<std::size_t>(width) * components);
    s.Picture.Width = width;
    s.Picture.Height = height;
    s.Picture.Pixels.resize(static_cast<std::size_t>(width) * height * 4);
    const bool adobeInverted = info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = s.Row.data();
        const int r = static_cast<int>(info.output_scanline);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
        // Bottom row first.
        std::uint8_t* out =
            s.Picture.Pixels.data() + static_cast<std::size_t>(height - 1 - r) * width * 4;
        ConvertRow(s.Row.data(), out, width, space, adobeInverted);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

std::optional<TRgbaPicture> DecodeJpeg(std::span<const std::uint8_t> data) {
    if (data.size() < 4) return std::nullopt;
    TDecodeState s;
    s.Info.err = UseJpegErrorManager(s.Error, s.Escape);
    const bool ok = Decode(s, data);
    jpeg_destroy_decompress(&s.Info);
    if (!ok) return std::nullopt;
    return std::move(s.Picture);
}

} // namespace nimbora
