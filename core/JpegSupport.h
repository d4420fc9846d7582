#pragma once
// What every libjpeg user of ours shares: fatal errors jump back to the caller's setjmp, warnings
// stay silent, missing picture data is an error, progressive pictures have a bounded number of
// scans, and CMYK ink is turned into light one way.
#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

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

} // namespace nimbora
