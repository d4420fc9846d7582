#pragma once
// What every libjpeg user of ours shares: fatal errors jump back to the caller's setjmp, warnings
// stay silent, missing picture data is an error, progressive pictures have a bounded number of
// scans, and CMYK ink is turned into light one way. And the one JPEG decoder: the textures and the
// cloud preparation both decode through it, so a picture gives the same pixels on either path.
#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <span>

namespace nimbora {

// Everything a longjmp must find lives outside the jumping frame: keep this in the same
// long-lived state as the libjpeg structures it serves.
struct TJpegErrorManager {
    jpeg_error_mgr Base{}; // first: libjpeg hands back a pointer to it
    jpeg_progress_mgr Progress{};
    std::jmp_buf* Escape = nullptr;
    int MaxScans = 0;
};

// Sets up `errors` to jump to `escape` and returns the pointer for the `err` field of the
// compress or decompress structures it serves.
jpeg_error_mgr* UseJpegErrorManager(TJpegErrorManager& errors, std::jmp_buf& escape);

// After jpeg_create_decompress: more than `maxScans` scans end the decoding as an error. A flood
// of tiny scans in a progressive picture only burns time.
void LimitJpegScans(TJpegErrorManager& errors, jpeg_decompress_struct& info, int maxScans);

struct TRgb8 {
    std::uint8_t R, G, B;
};

// One CMYK pixel (libjpeg's CMYK output of CMYK and YCCK pictures) as light. Adobe writes CMYK
// inverted (0 = full ink); others store ink amounts.
inline TRgb8 CmykToRgb(const std::uint8_t* in, bool adobeInverted) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!adobeInverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    return {static_cast<std::uint8_t>(c * k / 255), static_cast<std::uint8_t>(m * k / 255),
            static_cast<std::uint8_t>(y * k / 255)};
}

// How decoded rows come out.
enum class TJpegLayout {
    // Every kind of picture as RGBA (alpha 255): grey spread to the three colours, CMYK and YCCK
    // turned into light.
    Rgba,
    // What our own coder writes: a grey picture as one byte a pixel, a YCbCr one as RGBA. Other
    // kinds are refused.
    GreyOrRgba,
};

// What a decoding accepts. Pictures come from outside, so each bound is the caller's to choose.
struct TJpegDecodeRules {
    int MaxSide = 0;
    std::int64_t MaxPixels = 0;
    int MaxScans = 0; // of a progressive picture
    TJpegLayout Layout = TJpegLayout::Rgba;
};

// Where the decoded rows go. Begin learns the size once it is known (channels: bytes a pixel);
// Row(y) tells where picture row y (0 = the top) goes, width * channels bytes; RowDone(y) follows
// once it is there. false or nullptr stops the decoding, which then fails.
class TJpegRowSink {
public:
    virtual ~TJpegRowSink() = default;
    virtual bool Begin(int width, int height, int channels) = 0;
    virtual std::uint8_t* Row(int y) = 0;
    virtual bool RowDone(int /*y*/) { return true; }
};

// Decodes data into sink, row by row from the top. False on empty, damaged, cut-short or
// oversized data, on a kind of picture the layout refuses, on too many scans, when the sink
// stops, and when memory runs out; libjpeg's own state is released in every case.
bool DecodeJpegRows(std::span<const std::uint8_t> data, const TJpegDecodeRules& rules,
                    TJpegRowSink& sink);

} // namespace nimbora
