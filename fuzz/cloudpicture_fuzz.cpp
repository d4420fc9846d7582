// The download check and the cloud filter on any picture (PNG when it starts like one, JPEG
// otherwise): a picture that passes the check is filtered, and its filtered stream decodes
// into a texture of the size the filter promises for it (shrunk to fit the texture limit), and
// the worker's own decoding of it gives the texture loader's pixels.
#include "fuzz/FuzzSupport.h"
#include "render/JpegDecode.h"
#include "weather/CloudJob.h"
#include "weather/CloudPicture.h"
#include "weather/DownloadSupport.h"

#include <cstring>
#include <vector>

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::ScratchPath("clouds.dat");
    fuzz::WriteScratchFile(path, {reinterpret_cast<const char*>(data), size});
    const bool png = size >= 4 && std::memcmp(data, "\x89PNG", 4) == 0;
    const TTyp type = png ? TypPng : TypJpg;

    TPictureSize picture;
    const bool usable = IsUsablePicture(path, type);
    const bool checked = CheckCloudPicture(path, type, &picture);
    FUZZ_CHECK(usable == checked);

    std::vector<std::uint8_t> stream;
    const bool colour = size % 2 == 1;
    const std::uint8_t filter = size > 0 ? data[size - 1] : 0;
    const bool filtered = FilterCloudPicture(path, &stream, type, colour, filter);
    FUZZ_CHECK(filtered == !stream.empty());
    if (!checked) return 0;

    FUZZ_CHECK(picture.Width > 0 && picture.Height > 0);
    FUZZ_CHECK(filtered);
    const auto texture = DecodeJpeg(stream);
    FUZZ_CHECK(texture.has_value());
    const TPictureSize expected =
        CloudOutputSize(picture.Width, picture.Height, MaxCloudTextureSide);
    FUZZ_CHECK(texture->Width == expected.Width && texture->Height == expected.Height);
    FUZZ_CHECK(texture->Width <= MaxCloudTextureSide && texture->Height <= MaxCloudTextureSide);

    // The window's worker decodes the same stream itself: the same pixels, grey as one channel.
    TCloudPixels pixels;
    FUZZ_CHECK(DecodeCloudStream(stream, pixels));
    FUZZ_CHECK(pixels.Width == texture->Width && pixels.Height == texture->Height);
    FUZZ_CHECK(pixels.Channels == (colour ? 4 : 1));
    const std::size_t count = static_cast<std::size_t>(pixels.Width) * pixels.Height;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* rgba = &texture->Pixels[i * 4];
        const std::uint8_t* own = &pixels.Pixels[i * pixels.Channels];
        const bool grey = pixels.Channels == 1;
        FUZZ_CHECK(rgba[0] == own[0] && rgba[1] == own[grey ? 0 : 1] &&
                   rgba[2] == own[grey ? 0 : 2] && rgba[3] == (grey ? 255 : own[3]));
    }
    return 0;
}
