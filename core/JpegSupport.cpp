#include "core/JpegSupport.h"

// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

#include <vector>

namespace nimbora {

namespace {

TJpegErrorManager& ManagerOf(j_common_ptr cinfo) {
    return *reinterpret_cast<TJpegErrorManager*>(cinfo->err);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(*ManagerOf(cinfo).Escape, 1);
}

// Warnings are silent, except those that mean picture data is missing: a picture cut short
// would otherwise be padded with grey and shown as if it were whole.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) ErrorExit(cinfo);
    cinfo->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const int maxScans = ManagerOf(cinfo).MaxScans;
    if (maxScans > 0 && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > maxScans) {
        cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
        ErrorExit(cinfo);
    }
}

// Chooses libjpeg's output for the layout; false for a kind of picture the layout refuses.
bool ChooseOutput(jpeg_decompress_struct& info, TJpegLayout layout) {
    if (layout == TJpegLayout::Rgba) {
        switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
            info.out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            info.out_color_space = JCS_CMYK;
            break;
        default:
            // libjpeg adds the full alpha byte itself where it can, with the same conversion.
            info.out_color_space =
                info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr ? JCS_EXT_RGBA
                                                                                : JCS_RGB;
            break;
        }
        return true;
    }
    if (info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) {
        info.out_color_space = JCS_GRAYSCALE;
    } else if (info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr) {
        // The RGB conversion with a full alpha byte added: OpenGL then takes the rows as they
        // are instead of converting 32 MB on the window's thread.
        info.out_color_space = JCS_EXT_RGBA;
    } else {
        return false;
    }
    return true;
}

// The bytes a pixel libjpeg must hand out in the output colour space.
int ComponentsOf(J_COLOR_SPACE space) {
    switch (space) {
    case JCS_GRAYSCALE:
        return 1;
    case JCS_RGB:
        return 3;
    case JCS_CMYK:
    case JCS_EXT_RGBA:
        return 4;
    default:
        return 0;
    }
}

void SpreadToRgba(const std::uint8_t* in, std::uint8_t* out, int width, J_COLOR_SPACE space,
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
    std::vector<std::uint8_t> Row; // libjpeg's row before it is spread to RGBA
};

bool Decode(TDecodeState& s, std::span<const std::uint8_t> data, const TJpegDecodeRules& rules,
            TJpegRowSink& sink) {
    jpeg_decompress_struct& info = s.Info;
    if (setjmp(s.Escape)) return false;

    jpeg_create_decompress(&info);
    LimitJpegScans(s.Error, info, rules.MaxScans);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    if (info.image_width == 0 || info.image_height == 0 ||
        info.image_width > static_cast<unsigned>(rules.MaxSide) ||
        info.image_height > static_cast<unsigned>(rules.MaxSide) ||
        std::int64_t{info.image_width} * info.image_height > rules.MaxPixels)
        return false;
    if (!ChooseOutput(info, rules.Layout)) return false;
    jpeg_start_decompress(&info);

    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const int components = info.output_components;
    const J_COLOR_SPACE space = info.out_color_space;
    if (components != ComponentsOf(space)) return false;

    const bool spread = rules.Layout == TJpegLayout::Rgba && space != JCS_EXT_RGBA;
    if (!sink.Begin(width, height, spread ? 4 : components)) return false;
    if (spread) s.Row.resize(static_cast<std::size_t>(width) * components);
    const bool adobeInverted = info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        std::uint8_t* target = sink.Row(y);
        if (!target) return false;
        JSAMPROW row = spread ? s.Row.data() : target;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
        if (spread) SpreadToRgba(s.Row.data(), target, width, space, adobeInverted);
        if (!sink.RowDone(y)) return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

bool DecodeJpegRows(std::span<const std::uint8_t> data, const TJpegDecodeRules& rules,
                    TJpegRowSink& sink) {
    if (data.size() < 4) return false;
    TDecodeState s;
    s.Info.err = UseJpegErrorManager(s.Error, s.Escape);
    bool ok = false;
    try {
        ok = Decode(s, data, rules, sink);
    } catch (...) { // no memory for the rows
        ok = false;
    }
    jpeg_destroy_decompress(&s.Info);
    return ok;
}

jpeg_error_mgr* UseJpegErrorManager(TJpegErrorManager& errors, std::jmp_buf& escape) {
    errors.Escape = &escape;
    jpeg_std_error(&errors.Base);
    errors.Base.error_exit = ErrorExit;
    errors.Base.emit_message = EmitMessage;
    errors.Base.output_message = OutputMessage;
    return &errors.Base;
}

void LimitJpegScans(TJpegErrorManager& errors, jpeg_decompress_struct& info, int maxScans) {
    errors.MaxScans = maxScans;
    errors.Progress.progress_monitor = ProgressMonitor;
    info.progress = &errors.Progress;
}

} // namespace nimbora
