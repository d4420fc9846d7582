#include "render/JpegDecode.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <utility>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace nimbora {

namespace {

// Progressive files may hold any number of scans, each a full pass over the picture.
constexpr int MaxScans = 500;

struct TErrorManager {
    jpeg_error_mgr Base;
    std::jmp_buf Escape;
    bool Truncated = false;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    std::longjmp(err->Escape, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    // A picture cut short is padded with grey by libjpeg; we want no half picture.
    if (level < 0 && err->Base.msg_code == JWRN_JPEG_EOF) err->Truncated = true;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > MaxScans) ErrorExit(cinfo);
    }
}

void ConvertRow(const std::uint8_t* in, std::uint8_t* out, int width, J_COLOR_SPACE space,
                bool adobeInverted) {
    if (space == JCS_CMYK) {
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            unsigned c = in[0], m = in[1], y = in[2], k = in[3];
            // Adobe writes CMYK inverted (0 = full ink); others store ink amounts.
            if (!adobeInverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            out[0] = static_cast<std::uint8_t>(c * k / 255);
            out[1] = static_cast<std::uint8_t>(m * k / 255);
            out[2] = static_cast<std::uint8_t>(y * k / 255);
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
    TErrorManager Error{};
    jpeg_progress_mgr Progress{};
    std::vector<std::uint8_t> Row;
    TRgbaPicture Picture;
};

bool Decode(TDecodeState& s, std::span<const std::uint8_t> data) {
    jpeg_decompress_struct& info = s.Info;
    if (setjmp(s.Error.Escape)) return false;

    jpeg_create_decompress(&info);
    info.progress = &s.Progress;
    s.Progress.progress_monitor = ProgressMonitor;
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
    return !s.Error.Truncated;
}

} // namespace

std::optional<TRgbaPicture> DecodeJpeg(std::span<const std::uint8_t> data) {
    if (data.size() < 4) return std::nullopt;
    TDecodeState s;
    s.Info.err = jpeg_std_error(&s.Error.Base);
    s.Error.Base.error_exit = ErrorExit;
    s.Error.Base.emit_message = EmitMessage;
    s.Error.Base.output_message = OutputMessage;
    const bool ok = Decode(s, data);
    jpeg_destroy_decompress(&s.Info);
    if (!ok) return std::nullopt;
    return std::move(s.Picture);
}

} // namespace nimbora
