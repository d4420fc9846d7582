#include "weather/CloudPicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <numbers>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>

namespace nimbora {

std::uint8_t CloudFilterLevel(bool autoFilter, std::uint8_t downFilter,
                              std::uint8_t userFilterVal) {
    return autoFilter ? downFilter : userFilterVal;
}

std::uint8_t FilterGrey(std::uint8_t g, std::uint8_t f) {
    if (g <= f) return 0;
    return static_cast<std::uint8_t>(std::trunc((g - f) * 255.0 / (255 - f)));
}

TCloudRgb CloudColor(std::uint8_t a) {
    const double pi = std::numbers::pi;
    const auto channel = [](double x) { return static_cast<std::uint8_t>(std::trunc(x * 255)); };
    TCloudRgb c;
    if (a > 204) {
        c.R = 255;
    } else if (a >= 76) {
        c.R = channel(std::sin((a - 76) / 255.0 * pi));
    }
    c.G = channel(std::sin(a / 255.0 * pi));
    if (a <= 127) c.B = channel(std::sin(a / 255.0 * 2 * pi));
    return c;
}

namespace {

// Rows handed from the decoder to the encoder in one go.
constexpr int RowBatch = 16;

// libjpeg and libpng report fatal errors by jumping back here; every resource lives in the
// Pipeline, outside the jumping frame, so it is released by its destructor either way.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf* jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(*reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are silent, except those that mean picture data is missing: a picture cut short
// would otherwise be padded with grey and shown as a false cloud band.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) JpegErrorExit(cinfo);
    cinfo->err->num_warnings++;
}

void JpegOutputMessage(j_common_ptr) {}

// Progressive JPEGs are decoded scan by scan; a flood of tiny scans only burns time.
void JpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxJpegScans) {
        cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
        cinfo->err->error_exit(cinfo);
    }
}

// The encoder writes straight into the caller's vector, growing it by doubling.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
    std::size_t firstSize;
};

void DestinationInit(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    bool failed = false;
    try {
        d->out->resize(d->firstSize);
    } catch (...) {
        failed = true;
    }
    if (failed) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    d->pub.next_output_byte = d->out->data();
    d->pub.free_in_buffer = d->out->size();
}

boolean DestinationGrow(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const std::size_t used = d->out->size();
    bool failed = used >= MaxCloudStreamBytes;
    if (!failed) {
        try {
            d->out->resize(std::min(used * 2, MaxCloudStreamBytes));
        } catch (...) {
            failed = true;
        }
    }
    if (failed) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    d->pub.next_output_byte = d->out->data() + used;
    d->pub.free_in_buffer = d->out->size() - used;
    return TRUE;
}

void DestinationTerm(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

void PngError(png_structp png, png_const_charp) {
    std::longjmp(*static_cast<std::jmp_buf*>(png_get_error_ptr(png)), 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct Pipeline {
    std::jmp_buf jump;
    std::FILE* file = nullptr;
    JpegErrorManager jpegError{};
    jpeg_progress_mgr jpegProgress{};
    jpeg_decompress_struct decoder{};
    bool decoderLive = false;
    jpeg_compress_struct encoder{};
    bool encoderLive = false;
    VectorDestination destination{};
    png_structp png = nullptr;
    png_infop pngInfo = nullptr;

    int width = 0;
    int height = 0;
    int channels = 0;           // decoded bytes per pixel: grey, grey+alpha, RGB, RGBA
    bool pngInterlaced = false; // such a picture is read whole before it is filtered
    int pngPasses = 1;
    int rowsRead = 0;

    std::vector<std::uint8_t> inRows;  // RowBatch decoded rows, or the whole interlaced picture
    std::vector<std::uint8_t> outRows; // RowBatch RGB rows for the encoder
    std::vector<std::uint8_t*> inPointers;
    std::array<JSAMPROW, RowBatch> outPointers{};
    std::array<std::uint8_t, 3 * 766> outOfSum{}; // R + G + B of a pixel -> output RGB

    ~Pipeline() {
        if (encoderLive) jpeg_destroy_compress(&encoder);
        if (decoderLive) jpeg_destroy_decompress(&decoder);
        if (png) png_destroy_read_struct(&png, pngInfo ? &pngInfo : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

bool WithinLimits(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= maxPixels;
}

void BuildTable(Pipeline& p, bool colour, std::uint8_t filter) {
    for (int sum = 0; sum < 766; ++sum) {
        const std::uint8_t v = FilterGrey(static_cast<std::uint8_t>(sum / 3), filter);
        const TCloudRgb c = colour ? CloudColor(v) : TCloudRgb{v, v, v};
        p.outOfSum[3 * sum] = c.R;
        p.outOfSum[3 * sum + 1] = c.G;
        p.outOfSum[3 * sum + 2] = c.B;
    }
}

// Transparent parts are laid over black, as a picture drawn onto a fresh black canvas.
inline unsigned OverBlack(unsigned c, unsigned alpha) {
    return (c * alpha + 127) / 255;
}

void FilterRow(const Pipeline& p, const std::uint8_t* in, std::uint8_t* out) {
    const std::uint8_t* table = p.outOfSum.data();
    const int width = p.width;
    const auto put = [&](unsigned sum) {
        const std::uint8_t* rgb = table + 3 * sum;
        out[0] = rgb[0];
        out[1] = rgb[1];
        out[2] = rgb[2];
        out += 3;
    };
    switch (p.channels) {
    case 1:
        for (int x = 0; x < width; ++x)
            put(3u * in[x]);
        break;
    case 2:
        for (int x = 0; x < width; ++x, in += 2)
            put(3 * OverBlack(in[0], in[1]));
        break;
    case 3:
        for (int x = 0; x < width; ++x, in += 3)
            put(unsigned{in[0]} + in[1] + in[2]);
        break;
    default:
        for (int x = 0; x < width; ++x, in += 4)
            put(OverBlack(in[0], in[3]) + OverBlack(in[1], in[3]) + OverBlack(in[2], in[3]));
        break;
    }
}

// Everything below runs between setjmp and a possible longjmp: no automatic objects with
// destructors in these frames.

void OpenJpeg(Pipeline& p, bool checkOnly) {
    jpeg_create_decompress(&p.decoder);
    p.decoderLive = true;
    p.decoder.mem->max_memory_to_use = MaxJpegWorkMemory;
    p.jpegProgress.progress_monitor = JpegProgress;
    p.decoder.progress = &p.jpegProgress;
    jpeg_stdio_src(&p.decoder, p.file);
    jpeg_read_header(&p.decoder, TRUE);
    p.width = static_cast<int>(p.decoder.image_width);
    p.height = static_cast<int>(p.decoder.image_height);
    if (p.decoder.num_components == 1) {
        p.decoder.out_color_space = JCS_GRAYSCALE;
        p.channels = 1;
    } else if (p.decoder.jpeg_color_space == JCS_YCbCr || p.decoder.jpeg_color_space == JCS_RGB) {
        p.decoder.out_color_space = JCS_RGB;
        p.channels = 3;
    } else {
        p.channels = 0; // CMYK and the like: not a cloud picture
    }
    if (checkOnly) {
        // Every byte of entropy data is still decoded, only the output is small.
        p.decoder.scale_num = 1;
        p.decoder.scale_denom = 8;
        p.decoder.dct_method = JDCT_IFAST;
        p.decoder.do_fancy_upsampling = FALSE;
    }
}

void OpenPng(Pipeline& p) {
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &p.jump, PngError, PngWarning);
    if (!p.png) std::longjmp(p.jump, 1);
    p.pngInfo = png_create_info_struct(p.png);
    if (!p.pngInfo) std::longjmp(p.jump, 1);
    png_set_user_limits(p.png, MaxPictureSide, MaxPictureSide);
    png_set_chunk_cache_max(p.png, 128);
    png_set_chunk_malloc_max(p.png, 8u << 20);
    png_init_io(p.png, p.file);
    png_read_info(p.png, p.pngInfo);

    const int colorType = png_get_color_type(p.png, p.pngInfo);
    const int bitDepth = png_get_bit_depth(p.png, p.pngInfo);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(p.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(p.png);
    if (png_get_valid(p.png, p.pngInfo, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(p.png);
    if (bitDepth == 16) png_set_scale_16(p.png);
    p.pngPasses = png_set_interlace_handling(p.png);
    p.pngInterlaced = p.pngPasses > 1;
    png_read_update_info(p.png, p.pngInfo);

    p.width = static_cast<int>(png_get_image_width(p.png, p.pngInfo));
    p.height = static_cast<int>(png_get_image_height(p.png, p.pngInfo));
    p.channels = png_get_channels(p.png, p.pngInfo);
    if (png_get_bit_depth(p.png, p.pngInfo) != 8 || p.channels < 1 || p.channels > 4)
        p.channels = 0;
}

// Decodes up to RowBatch rows; returns the first of them and their count in *count.
std::uint8_t* ReadRows(Pipeline& p, bool jpeg, int* count) {
    const std::size_t stride = static_cast<std::size_t>(p.width) * p.channels;
    if (p.pngInterlaced) {
        std::uint8_t* first = p.inRows.data() + stride * p.rowsRead;
        *count = std::min(RowBatch, p.height - p.rowsRead);
        p.rowsRead += *count;
        return first;
    }
    int n = 0;
    if (jpeg) {
        while (n < RowBatch && p.rowsRead + n < p.height) {
            JSAMPROW rows[RowBatch];
            for (int i = n; i < RowBatch; ++i)
                rows[i - n] = p.inRows.data() + stride * i;
            const auto got =
                jpeg_read_scanlines(&p.decoder, rows, static_cast<JDIMENSION>(RowBatch - n));
            if (got == 0) break;
            n += static_cast<int>(got);
        }
    } else {
        for (; n < RowBatch && p.rowsRead + n < p.height; ++n)
            png_read_row(p.png, p.inRows.data() + stride * n, nullptr);
    }
    p.rowsRead += n;
    *count = n;
    return p.inRows.data();
}

bool Run(Pipeline& p, TTyp format, bool checkOnly, std::vector<std::uint8_t>* stream,
         TPictureSize* size) {
    p.jpegError.jump = &p.jump;
    jpeg_std_error(&p.jpegError.pub);
    p.jpegError.pub.error_exit = JpegErrorExit;
    p.jpegError.pub.emit_message = JpegEmitMessage;
    p.jpegError.pub.output_message = JpegOutputMessage;
    p.decoder.err = &p.jpegError.pub;
    p.encoder.err = &p.jpegError.pub;
    if (setjmp(p.jump)) return false;

    const bool jpeg = format == TypJpg;
    if (jpeg) {
        OpenJpeg(p, checkOnly);
    } else {
        OpenPng(p);
    }
    const std::int64_t maxPixels = p.pngInterlaced ? MaxInterlacedPixels : MaxPicturePixels;
    if (p.channels == 0 || !WithinLimits(p.width, p.height, maxPixels)) return false;
    if (size) *size = TPictureSize{p.width, p.height};

    if (jpeg) {
        jpeg_start_decompress(&p.decoder);
        if (checkOnly) {
            // The check reads the shrunken picture; its rows are what the decoder gives out.
            p.width = static_cast<int>(p.decoder.output_width);
            p.height = static_cast<int>(p.decoder.output_height);
            p.channels = p.decoder.output_components;
        }
    }
    const std::size_t stride = static_cast<std::size_t>(p.width) * p.channels;
    if (p.pngInterlaced && !checkOnly) {
        p.inRows.resize(stride * p.height);
        p.inPointers.resize(p.height);
        for (int y = 0; y < p.height; ++y)
            p.inPointers[y] = p.inRows.data() + stride * y;
        png_read_image(p.png, p.inPointers.data());
    } else {
        // A check of an interlaced PNG reads each pass into the same rows: only whether the
        // data decodes matters.
        p.pngInterlaced = false;
        p.inRows.resize(stride * RowBatch);
    }

    if (checkOnly) {
        const int passes = jpeg ? 1 : p.pngPasses;
        for (int pass = 0; pass < passes; ++pass) {
            p.rowsRead = 0;
            while (p.rowsRead < p.height) {
                int count = 0;
                ReadRows(p, jpeg, &count);
                if (count == 0) return false;
            }
        }
        if (jpeg) {
            jpeg_finish_decompress(&p.decoder);
        } else {
            png_read_end(p.png, nullptr);
        }
        return true;
    }

    jpeg_create_compress(&p.encoder);
    p.encoderLive = true;
    p.destination.out = stream;
    p.destination.firstSize =
        std::max<std::size_t>(64 << 10, static_cast<std::size_t>(p.width) * p.height / 8);
    p.destination.pub.init_destination = DestinationInit;
    p.destination.pub.empty_output_buffer = DestinationGrow;
    p.destination.pub.term_destination = DestinationTerm;
    p.encoder.dest = &p.destination.pub;
    p.encoder.image_width = static_cast<JDIMENSION>(p.width);
    p.encoder.image_height = static_cast<JDIMENSION>(p.height);
    p.encoder.input_components = 3;
    p.encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&p.encoder);
    jpeg_set_quality(&p.encoder, CloudJpegQuality, TRUE);
    jpeg_start_compress(&p.encoder, TRUE);

    const std::size_t outStride = static_cast<std::size_t>(p.width) * 3;
    p.outRows.resize(outStride * RowBatch);
    for (int i = 0; i < RowBatch; ++i)
        p.outPointers[i] = p.outRows.data() + outStride * i;
    while (p.rowsRead < p.height) {
        int count = 0;
        const std::uint8_t* in = ReadRows(p, jpeg, &count);
        if (count == 0) return false;
        for (int i = 0; i < count; ++i)
            FilterRow(p, in + stride * i, p.outPointers[i]);
        jpeg_write_scanlines(&p.encoder, p.outPointers.data(), static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&p.encoder);
    if (jpeg) jpeg_finish_decompress(&p.decoder);
    return true;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RunPipeline(const std::string& path, TTyp format, bool colour, std::uint8_t filter,
                 std::vector<std::uint8_t>* stream, TPictureSize* size) {
    if (format != TypPng && format != TypJpg) return false;
    try {
        auto p = std::make_unique<Pipeline>();
        p->file = std::fopen(path.c_str(), "rbe");
        if (!p->file) return false;
        if (stream) BuildTable(*p, colour, filter);
        return Run(*p, format, stream == nullptr, stream, size);
    } catch (...) {
        return false;
    }
}

} // namespace

bool FilterCloudPicture(const std::string& path, std::vector<std::uint8_t>* stream, TTyp format,
                        bool colour, std::uint8_t filter) {
    if (!stream || !IsRegularFile(path)) return false;
    stream->clear();
    const bool ok = RunPipeline(path, format, colour, filter, stream, nullptr);
    if (!ok) stream->clear();
    return ok;
}

bool CheckCloudPicture(const std::string& path, TTyp format, TPictureSize* size) {
    if (!IsRegularFile(path)) return false;
    return RunPipeline(path, format, false, 0, nullptr, size);
}

} // namespace nimbora
