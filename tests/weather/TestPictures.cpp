#include "weather/TestPictures.h"

#include "core/JpegSupport.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

namespace nimbora::test {

bool WritePng(const std::string& path, const TestPng& picture) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const int channels = picture.ColorType == PNG_COLOR_TYPE_PALETTE      ? 1
                         : picture.ColorType == PNG_COLOR_TYPE_GRAY       ? 1
                         : picture.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                         : picture.ColorType == PNG_COLOR_TYPE_RGB        ? 3
                                                                          : 4;
    // Samples are packed by hand so that 1- to 16-bit depths all come out right.
    const std::size_t bitsPerRow =
        static_cast<std::size_t>(picture.Width) * channels * picture.BitDepth;
    std::vector<std::vector<png_byte>> rows(picture.Height,
                                            std::vector<png_byte>((bitsPerRow + 7) / 8));
    for (int y = 0; y < picture.Height; ++y) {
        for (int i = 0; i < picture.Width * channels; ++i) {
            const unsigned v =
                picture.Samples[static_cast<std::size_t>(y) * picture.Width * channels + i];
            auto& row = rows[y];
            if (picture.BitDepth == 16) {
                row[2 * i] = static_cast<png_byte>(v >> 8);
                row[2 * i + 1] = static_cast<png_byte>(v);
            } else if (picture.BitDepth == 8) {
                row[i] = static_cast<png_byte>(v);
            } else {
                const std::size_t bit = static_cast<std::size_t>(i) * picture.BitDepth;
                row[bit / 8] |= static_cast<png_byte>(v << (8 - picture.BitDepth - bit % 8));
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& row : rows)
        pointers.push_back(row.data());
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.Width, picture.Height, picture.BitDepth, picture.ColorType,
                 picture.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < picture.Palette.size(); i += 3)
        palette.push_back({picture.Palette[i], picture.Palette[i + 1], picture.Palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!picture.PaletteAlpha.empty())
        png_set_tRNS(png, info, picture.PaletteAlpha.data(),
                     static_cast<int>(picture.PaletteAlpha.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<std::uint8_t>& pixels, int quality, bool progressive, bool ycck) {
    // libjpeg would read past pixels that do not fill the picture.
    if (pixels.size() < static_cast<std::size_t>(width) * height * components) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < height; ++y) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels.data() + static_cast<std::size_t>(y) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
    DecodedJpeg result;
    if (bytes.empty()) return result;
    jpeg_decompress_struct cinfo{};
    TJpegErrorManager errors;
    std::jmp_buf escape;
    cinfo.err = UseJpegErrorManager(errors, escape);
    jpeg_create_decompress(&cinfo);
    if (setjmp(escape)) {
        jpeg_destroy_decompress(&cinfo);
        return DecodedJpeg{};
    }
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    result.Components = cinfo.num_components;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    result.Width = static_cast<int>(cinfo.output_width);
    result.Height = static_cast<int>(cinfo.output_height);
    result.Rgb.resize(static_cast<std::size_t>(result.Width) * result.Height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            result.Rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * result.Width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    result.Ok = true;
    return result;
}

namespace {
void PutChunk(std::string& out, const char* type, const std::string& data) {
    const auto put32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((v >> shift) & 0xFF);
    };
    put32(static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}
} // namespace

std::string PngWithHeader(std::uint32_t width, std::uint32_t height, int colorType,
                          bool interlaced) {
    std::string out = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    for (std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            ihdr += static_cast<char>((v >> shift) & 0xFF);
    ihdr += '\x08'; // 8 bits per sample
    ihdr += static_cast<char>(colorType);
    ihdr += std::string("\x00\x00", 2);
    ihdr += static_cast<char>(interlaced ? 1 : 0);
    PutChunk(out, "IHDR", ihdr);
    // A few bytes of deflate data: what a decompression bomb would start with.
    const std::string zeros(4096, '\0');
    std::vector<Bytef> packed(compressBound(zeros.size()));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(zeros.data()),
             zeros.size());
    PutChunk(out, "IDAT", std::string(reinterpret_cast<char*>(packed.data()), packedSize));
    PutChunk(out, "IEND", "");
    return out;
}

} // namespace nimbora::test
