#include "weather/CloudPicture.h"

#include "core/JpegSupport.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

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

// libjpeg and libpng report fatal errors by jumping back to Run; every resource lives in the
// Pipeline, outside the jumping frame, so it is released by its destructor either way.

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
    TJpegErrorManager jpegError{};
    jpeg_decompress_struct decoder{};
    bool decoderLive = false;
    jpeg_compress_struct encoder{};
    bool encoderLive = false;
    VectorDestination destination{};
    png_structp png = nullptr;
    png_infop pngInfo = nullptr;

    int width = 0;
    int height = 0;
    int channels = 0;           // decoded bytes per pixel: grey, grey+alpha, RGB, RGBA / CMYK
    bool cmyk = false;          // four channels of ink, not RGBA
    bool adobeInverted = false; // CMYK stored as Adobe writes it (0 = full ink)
    bool pngInterlaced = false; // read pass by pass
    int rowsRead = 0;

    int factor = 1; // the picture is shrunk by this factor in both directions
    int outWidth = 0;
    int outHeight = 0;
    int outChannels = 3; // 1 for a grey picture: the encoder codes only its Y channel
    const TCancelCheck* cancelled = nullptr;

    std::vector<std::uint8_t> inRows;  // RowBatch decoded rows
    std::vector<std::uint8_t> outRows; // RowBatch output rows (grey or RGB) for the encoder
    std::vector<unsigned> sums;        // R + G + B of each pixel of one row
    std::vector<std::uint32_t> band;   // sums of one row of blocks while shrinking
    // An interlaced picture's block sums, one row of blocks at a time as passes reach it.
    std::vector<std::unique_ptr<std::uint32_t[]>> blocks;
    std::array<JSAMPROW, RowBatch> outPointers{};
    std::array<std::uint8_t, 3 * 766> outOfSum{}; // R + G + B of a pixel -> output RGB

    ~Pipeline() {
        if (encoderLive) jpeg_destroy_compress(&encoder);
        if (decoderLive) jpeg_destroy_decompress(&decoder);
        if (png) png_destroy_read_struct(&png, pngInfo ? &pngInfo : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

bool WithinLimits(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= MaxPicturePixels;
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

// Ink to light, as the texture decoder converts CMYK.
inline unsigned CmykSum(const std::uint8_t* in, bool adobeInverted) {
    const TRgb8 rgb = CmykToRgb(in, adobeInverted);
    return unsigned{rgb.R} + rgb.G + rgb.B;
}

// R + G + B of each of the n pixels at in, into p.sums.
void RowSums(Pipeline& p, const std::uint8_t* in, int n) {
    unsigned* out = p.sums.data();
    if (p.cmyk) {
        for (int x = 0; x < n; ++x, in += 4)
            out[x] = CmykSum(in, p.adobeInverted);
        return;
    }
    switch (p.channels) {
    case 1:
        for (int x = 0; x < n; ++x)
            out[x] = 3u * in[x];
        break;
    case 2:
        for (int x = 0; x < n; ++x, in += 2)
            out[x] = 3 * OverBlack(in[0], in[1]);
        break;
    case 3:
        for (int x = 0; x < n; ++x, in += 3)
            out[x] = unsigned{in[0]} + in[1] + in[2];
        break;
    default:
        for (int x = 0; x < n; ++x, in += 4)
            out[x] = OverBlack(in[0], in[3]) + OverBlack(in[1], in[3]) + OverBlack(in[2], in[3]);
        break;
    }
}

inline void PutPixel(const Pipeline& p, unsigned sum, std::uint8_t* out) {
    const std::uint8_t* rgb = p.outOfSum.data() + 3 * sum;
    out[0] = rgb[0];
    if (p.outChannels == 1) return;
    out[1] = rgb[1];
    out[2] = rgb[2];
}

void FilterRow(Pipeline& p, const std::uint8_t* in, std::uint8_t* out) {
    RowSums(p, in, p.width);
    for (int x = 0; x < p.width; ++x, out += p.outChannels)
        PutPixel(p, p.sums[x], out);
}

bool Cancelled(const Pipeline& p) {
    return p.cancelled && *p.cancelled && (*p.cancelled)();
}

// Adds n pixels, the first at column x0 and then every step columns, to the block sums.
void AddToBlocks(Pipeline& p, const std::uint8_t* in, int n, int x0, int step,
                 std::uint32_t* blockRow) {
    RowSums(p, in, n);
    for (int i = 0; i < n; ++i)
        blockRow[(x0 + i * step) / p.factor] += p.sums[i];
}

// One output row from the block sums of block row by: each block's mean, filtered.
void BlocksToRow(const Pipeline& p, const std::uint32_t* blockRow, int by, std::uint8_t* out) {
    const int k = p.factor;
    const int rows = std::min(k, p.height - by * k);
    for (int bx = 0; bx < p.outWidth; ++bx, out += p.outChannels) {
        const unsigned count = static_cast<unsigned>(rows * std::min(k, p.width - bx * k));
        PutPixel(p, (blockRow[bx] + count / 2) / count, out);
    }
}

// Everything below runs between setjmp and a possible longjmp: no automatic objects with
// destructors in these frames.

void OpenJpeg(Pipeline& p, bool checkOnly) {
    jpeg_create_decompress(&p.decoder);
    p.decoderLive = true;
    p.decoder.mem->max_memory_to_use = MaxJpegWorkMemory;
    LimitJpegScans(p.jpegError, p.decoder, MaxJpegScans);
    jpeg_stdio_src(&p.decoder, p.file);
    jpeg_read_header(&p.decoder, TRUE);
    p.width = static_cast<int>(p.decoder.image_width);
    p.height = static_cast<int>(p.decoder.image_height);
    if (p.decoder.num_components == 1) {
        p.decoder.out_color_space = JCS_GRAYSCALE;
        p.channels = 1;
    } else if (p.decoder.jpeg_color_space == JCS_CMYK || p.decoder.jpeg_color_space == JCS_YCCK) {
        p.decoder.out_color_space = JCS_CMYK;
        p.channels = 4;
        p.cmyk = true;
        p.adobeInverted = p.decoder.saw_Adobe_marker;
    } else {
        p.decoder.out_color_space = JCS_RGB;
        p.channels = 3;
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
    // No interlace handling: libpng then hands out the rows of each pass at the pass's own
    // width, and we place their pixels ourselves; nothing is held at full size.
    p.pngInterlaced = png_get_interlace_type(p.png, p.pngInfo) == PNG_INTERLACE_ADAM7;
    png_read_update_info(p.png, p.pngInfo);

    p.width = static_cast<int>(png_get_image_width(p.png, p.pngInfo));
    p.height = static_cast<int>(png_get_image_height(p.png, p.pngInfo));
    p.channels = png_get_channels(p.png, p.pngInfo);
    if (png_get_bit_depth(p.png, p.pngInfo) != 8 || p.channels < 1 || p.channels > 4)
        p.channels = 0;
}

// Decodes up to RowBatch rows of a picture that is not interlaced; returns the first of them
// and their count in *count.
std::uint8_t* ReadRows(Pipeline& p, bool jpeg, int* count) {
    const std::size_t stride = static_cast<std::size_t>(p.width) * p.channels;
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

// Reads every pass of an interlaced PNG; with blocks, adds each pixel to its block, allocating
// a row of blocks when the first pixel of it arrives.
void ReadPasses(Pipeline& p, bool gather) {
    for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
        const int cols = static_cast<int>(PNG_PASS_COLS(p.width, pass));
        const int rows = static_cast<int>(PNG_PASS_ROWS(p.height, pass));
        if (cols == 0 || rows == 0) continue; // libpng skips empty passes too
        for (int r = 0; r < rows; ++r) {
            if (r % RowBatch == 0 && Cancelled(p)) std::longjmp(p.jump, 1);
            png_read_row(p.png, p.inRows.data(), nullptr);
            if (!gather) continue;
            const int by = static_cast<int>(PNG_ROW_FROM_PASS_ROW(r, pass)) / p.factor;
            auto& blockRow = p.blocks[by];
            if (!blockRow) blockRow.reset(new std::uint32_t[p.outWidth]());
            AddToBlocks(p, p.inRows.data(), cols, static_cast<int>(PNG_COL_FROM_PASS_COL(0, pass)),
                        1 << PNG_PASS_COL_SHIFT(pass), blockRow.get());
        }
    }
}

void StartEncoder(Pipeline& p, std::vector<std::uint8_t>* stream) {
    jpeg_create_compress(&p.encoder);
    p.encoderLive = true;
    p.destination.out = stream;
    p.destination.firstSize =
        std::max<std::size_t>(64 << 10, static_cast<std::size_t>(p.outWidth) * p.outHeight / 8);
    p.destination.pub.init_destination = DestinationInit;
    p.destination.pub.empty_output_buffer = DestinationGrow;
    p.destination.pub.term_destination = DestinationTerm;
    p.encoder.dest = &p.destination.pub;
    p.encoder.image_width = static_cast<JDIMENSION>(p.outWidth);
    p.encoder.image_height = static_cast<JDIMENSION>(p.outHeight);
    p.encoder.input_components = p.outChannels;
    p.encoder.in_color_space = p.outChannels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&p.encoder);
    jpeg_set_quality(&p.encoder, CloudJpegQuality, TRUE);
    jpeg_start_compress(&p.encoder, TRUE);
}

bool Run(Pipeline& p, TTyp format, bool checkOnly, std::vector<std::uint8_t>* stream,
         TPictureSize* size, int maxSide) {
    p.decoder.err = UseJpegErrorManager(p.jpegError, p.jump);
    p.encoder.err = p.decoder.err;
    if (setjmp(p.jump)) return false;

    const bool jpeg = format == TypJpg;
    if (jpeg) {
        OpenJpeg(p, checkOnly);
    } else {
        OpenPng(p);
    }
    if (p.channels == 0 || !WithinLimits(p.width, p.height)) return false;
    if (size) *size = TPictureSize{p.width, p.height};
    p.factor = checkOnly ? 1 : CloudShrinkFactor(p.width, p.height, maxSide);

    const int channels = p.channels;
    if (jpeg) {
        // libjpeg shrinks by 2, 4 and 8 on the way, much faster than decoding everything.
        if (p.factor == 2 || p.factor == 4 || p.factor == 8) {
            p.decoder.scale_num = 1;
            p.decoder.scale_denom = static_cast<unsigned>(p.factor);
            p.factor = 1;
        }
        jpeg_start_decompress(&p.decoder);
        // Rows are what the decoder gives out (smaller when it shrinks).
        p.width = static_cast<int>(p.decoder.output_width);
        p.height = static_cast<int>(p.decoder.output_height);
        p.channels = p.decoder.output_components;
        if (p.channels != channels) return false;
    }
    p.outWidth = (p.width + p.factor - 1) / p.factor;
    p.outHeight = (p.height + p.factor - 1) / p.factor;
    const std::size_t stride = static_cast<std::size_t>(p.width) * p.channels;
    p.inRows.resize(stride * RowBatch);

    if (checkOnly) {
        if (p.pngInterlaced) {
            ReadPasses(p, false);
        } else {
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

    p.sums.resize(static_cast<std::size_t>(p.width));
    const std::size_t outStride = static_cast<std::size_t>(p.outWidth) * p.outChannels;
    p.outRows.resize(outStride * RowBatch);
    for (int i = 0; i < RowBatch; ++i)
        p.outPointers[i] = p.outRows.data() + outStride * i;

    if (p.pngInterlaced) {
        // The whole picture must be in before its first row is known; the encoder starts after.
        p.blocks.resize(static_cast<std::size_t>(p.outHeight));
        ReadPasses(p, true);
        png_read_end(p.png, nullptr);
        StartEncoder(p, stream);
        for (int by = 0; by < p.outHeight; ++by) {
            if (!p.blocks[by] || (by % RowBatch == 0 && Cancelled(p))) return false;
            BlocksToRow(p, p.blocks[by].get(), by, p.outPointers[0]);
            p.blocks[by].reset();
            jpeg_write_scanlines(&p.encoder, p.outPointers.data(), 1);
        }
        jpeg_finish_compress(&p.encoder);
        return true;
    }

    StartEncoder(p, stream);
    if (p.factor > 1) p.band.resize(static_cast<std::size_t>(p.outWidth));
    while (p.rowsRead < p.height) {
        if (Cancelled(p)) return false;
        const int first = p.rowsRead;
        int count = 0;
        const std::uint8_t* in = ReadRows(p, jpeg, &count);
        if (count == 0) return false;
        if (p.factor == 1) {
            for (int i = 0; i < count; ++i)
                FilterRow(p, in + stride * i, p.outPointers[i]);
            jpeg_write_scanlines(&p.encoder, p.outPointers.data(), static_cast<JDIMENSION>(count));
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const int y = first + i;
            AddToBlocks(p, in + stride * i, p.width, 0, 1, p.band.data());
            if ((y + 1) % p.factor != 0 && y + 1 != p.height) continue;
            BlocksToRow(p, p.band.data(), y / p.factor, p.outPointers[0]);
            std::fill(p.band.begin(), p.band.end(), 0);
            jpeg_write_scanlines(&p.encoder, p.outPointers.data(), 1);
        }
    }
    jpeg_finish_compress(&p.encoder);
    // The same end as the check: the whole file must be sound, not only its rows.
    if (jpeg) {
        jpeg_finish_decompress(&p.decoder);
    } else {
        png_read_end(p.png, nullptr);
    }
    return true;
}

bool RunPipeline(const std::string& path, TTyp format, bool colour, std::uint8_t filter,
                 std::vector<std::uint8_t>* stream, TPictureSize* size, int maxSide,
                 const TCancelCheck* cancelled) {
    if (format != TypPng && format != TypJpg) return false;
    try {
        auto p = std::make_unique<Pipeline>();
        p->file = std::fopen(path.c_str(), "rbe");
        if (!p->file) return false;
        p->cancelled = cancelled;
        p->outChannels = colour ? 3 : 1;
        if (stream) BuildTable(*p, colour, filter);
        return Run(*p, format, stream == nullptr, stream, size, maxSide);
    } catch (...) {
        return false;
    }
}

} // namespace

int CloudShrinkFactor(int width, int height, int maxSide) {
    if (width <= 0 || height <= 0) return 1;
    const int side = maxSide > 0 ? std::min(maxSide, MaxCloudTextureSide) : MaxCloudTextureSide;
    for (int k = 1;; ++k) {
        const std::int64_t w = (width + k - 1) / k;
        const std::int64_t h = (height + k - 1) / k;
        if (w <= side && h <= side && w * h <= MaxCloudTexturePixels) return k;
    }
}

TPictureSize CloudOutputSize(int width, int height, int maxSide) {
    const int k = CloudShrinkFactor(width, height, maxSide);
    return {(width + k - 1) / k, (height + k - 1) / k};
}

bool FilterCloudPicture(const std::string& path, std::vector<std::uint8_t>* stream, TTyp format,
                        bool colour, std::uint8_t filter, int maxSide,
                        const TCancelCheck& cancelled) {
    if (!stream || !IsRegularFile(path)) return false;
    stream->clear();
    const bool ok = RunPipeline(path, format, colour, filter, stream, nullptr, maxSide, &cancelled);
    if (!ok) stream->clear();
    return ok;
}

bool CheckCloudPicture(const std::string& path, TTyp format, TPictureSize* size) {
    if (!IsRegularFile(path)) return false;
    return RunPipeline(path, format, false, 0, nullptr, size, MaxCloudTextureSide, nullptr);
}

} // namespace nimbora
