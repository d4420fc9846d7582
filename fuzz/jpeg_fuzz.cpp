// The texture decoder on any bytes: a decoded picture is within the limits and its pixel array
// matches its size.
#include "fuzz/FuzzSupport.h"
#include "render/JpegDecode.h"

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto picture = DecodeJpeg({data, size});
    if (!picture) return 0;
    FUZZ_CHECK(picture->Width > 0 && picture->Height > 0);
    FUZZ_CHECK(picture->Width <= MaxJpegSide && picture->Height <= MaxJpegSide);
    const std::size_t pixels = std::size_t(picture->Width) * std::size_t(picture->Height);
    FUZZ_CHECK(pixels <= MaxJpegPixels);
    FUZZ_CHECK(picture->Pixels.size() == pixels * 4);
    for (std::size_t i = 3; i < picture->Pixels.size(); i += 4)
        FUZZ_CHECK(picture->Pixels[i] == 255);
    return 0;
}
