#pragma once
// Turns a downloaded cloud picture (PNG or JPEG) into the JPEG from which the cloud texture is
// built: grey level, haze below the filter level cut away and the rest stretched to full
// brightness, optionally in false colours.
//
// Pictures come from the network, so their size is bounded before anything is allocated:
// each side at most MaxPictureSide pixels and at most MaxPicturePixels pixels in all
// (a 16384 x 16384 picture; real cloud maps reach 16384 x 8192). A larger picture is shrunk by
// a whole factor (block averages) to what the cloud texture can hold, so every picture that
// passes CheckCloudPicture can be filtered and shown. Rows are streamed from the decoder
// through the filter into the encoder; an interlaced PNG is gathered pass by pass into the
// shrunken picture, allocated row by row as its data arrives. Memory stays well below 256 MiB
// whatever a picture claims. A picture over a limit, or one that does not decode completely
// (a PNG up to its IEND, a JPEG up to its end marker), is a failure.
#include "weather/DownloadSupport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nimbora {

inline constexpr int MaxPictureSide = 32768;
inline constexpr std::int64_t MaxPicturePixels = 16384LL * 16384;
// The filtered picture is never larger than this: the texture loader's limit, and what keeps
// the texture's memory bounded.
inline constexpr int MaxCloudTextureSide = 8192;
inline constexpr std::int64_t MaxCloudTexturePixels = 8192LL * 4096;
// Ceiling of the encoded output; a real cloud map stays far below it.
inline constexpr std::size_t MaxCloudStreamBytes = std::size_t{96} << 20;
// Ceiling of libjpeg's whole-picture buffers (progressive and multi-scan JPEGs need them).
inline constexpr long MaxJpegWorkMemory = 128L << 20;
// A progressive JPEG with more scans than this is hostile, not a picture.
inline constexpr int MaxJpegScans = 256;
// Quality of the encoded cloud picture.
inline constexpr int CloudJpegQuality = 80;

struct TCloudRgb {
    std::uint8_t R = 0;
    std::uint8_t G = 0;
    std::uint8_t B = 0;
    bool operator==(const TCloudRgb&) const = default;
};

// The filter level of one processing run: the level recommended by the server last chosen for
// a download when automatic adjusting is on, the user's own level otherwise.
std::uint8_t CloudFilterLevel(bool autoFilter, std::uint8_t downFilter, std::uint8_t userFilterVal);

// Grey g after filter level f: 0 up to f, then stretched linearly so that 255 stays 255.
std::uint8_t FilterGrey(std::uint8_t g, std::uint8_t f);

// False colour of grey level a: dark haze blue, middle grey green to yellow, brightest red.
TCloudRgb CloudColor(std::uint8_t a);

struct TPictureSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TPictureSize&) const = default;
};

// Whole factor by which a width x height picture is shrunk: the smallest one that brings each
// side within maxSide (itself capped at MaxCloudTextureSide; 0 or less means the cap) and the
// pixel count within MaxCloudTexturePixels. Sides are rounded up.
int CloudShrinkFactor(int width, int height, int maxSide);
TPictureSize CloudOutputSize(int width, int height, int maxSide);

// Asked now and then during long work; true ends it as a failure.
using TCancelCheck = std::function<bool()>;

// Decodes the picture at path (source format TypPng or TypJpg), shrinks it to
// CloudOutputSize(..., maxSide), filters every pixel with level filter, colours it when colour
// is set, and encodes the result as a JPEG of quality 80 into *stream (replacing its contents;
// its capacity is reused): 24-bit colour when coloured, else one grey channel, which decodes
// to the same pixels as R = G = B would at a third of the work. maxSide is the texture size the
// OpenGL context allows. Does nothing and returns false when the file does not exist or stream
// is null. On any failure, cancellation included, the stream is left empty.
bool FilterCloudPicture(const std::string& path, std::vector<std::uint8_t>* stream, TTyp format,
                        bool colour, std::uint8_t filter, int maxSide = MaxCloudTextureSide,
                        const TCancelCheck& cancelled = {});

// Decodes the whole picture without keeping it: true when it is a sound picture of the given
// format within the limits above; its size is stored in *size when given.
bool CheckCloudPicture(const std::string& path, TTyp format, TPictureSize* size = nullptr);

} // namespace nimbora
