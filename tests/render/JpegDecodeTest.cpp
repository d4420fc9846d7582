#include "render/JpegDecode.h"
#include "render/JpegMaker.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace nimbora {
namespace {

using test::MakeJpeg;
using test::TBytes;

std::array<int, 4> PixelAt(const TRgbaPicture& p, int x, int row) {
    const std::uint8_t* q = p.Pixels.data() + (static_cast<std::size_t>(row) * p.Width + x) * 4;
    return {q[0], q[1], q[2], q[3]};
}

void ExpectNear(const std::array<int, 4>& got, std::array<int, 4> want, const char* what) {
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(got[i], want[i], 12) << what << " component " << i;
}

// Top half one colour, bottom half another: decoding must put the bottom row first.
TEST(DecodeJpeg, ColourGreyAndCmykPicturesBottomRowFirst) {
    struct TCase {
        const char* Name;
        int Components;
        std::array<std::uint8_t, 4> Top, Bottom;
        std::array<int, 4> TopRgba, BottomRgba;
    };
    const TCase cases[] = {
        {"rgb", 3, {255, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"grey", 1, {200, 0, 0, 0}, {40, 0, 0, 0}, {200, 200, 200, 255}, {40, 40, 40, 255}},
        // Adobe CMYK, inverted: red = no cyan, full magenta and yellow, no black.
        {"cmyk", 4, {255, 0, 0, 255}, {255, 255, 255, 128}, {255, 0, 0, 255}, {128, 128, 128, 255}},
    };
    for (const TCase& c : cases) {
        const TBytes jpeg = MakeJpeg(32, 32, c.Components, [&](int, int y, std::uint8_t* out) {
            const auto& v = y < 16 ? c.Top : c.Bottom;
            for (int i = 0; i < c.Components; ++i)
                out[i] = v[static_cast<std::size_t>(i)];
        });
        const auto picture = DecodeJpeg(jpeg);
        ASSERT_TRUE(picture) << c.Name;
        EXPECT_EQ(picture->Width, 32);
        EXPECT_EQ(picture->Height, 32);
        ASSERT_EQ(picture->Pixels.size(), 32u * 32 * 4);
        ExpectNear(PixelAt(*picture, 5, 0), c.BottomRgba, c.Name);
        ExpectNear(PixelAt(*picture, 5, 31), c.TopRgba, c.Name);
    }
}

TEST(DecodeJpeg, ProgressivePictureDecodes) {
    const TBytes jpeg = MakeJpeg(
        40, 24, 3,
        [](int x, int, std::uint8_t* out) { out[0] = out[1] = out[2] = x < 20 ? 0 : 255; }, true);
    const auto picture = DecodeJpeg(jpeg);
    ASSERT_TRUE(picture);
    ExpectNear(PixelAt(*picture, 35, 10), {255, 255, 255, 255}, "right half");
}

TEST(DecodeJpeg, DamagedDataFailsWithoutCrashing) {
    const TBytes good = MakeJpeg(64, 64, 3, [](int x, int y, std::uint8_t* out) {
        out[0] = static_cast<std::uint8_t>(x * 4);
        out[1] = static_cast<std::uint8_t>(y * 4);
        out[2] = 90;
    });
    ASSERT_TRUE(DecodeJpeg(good));

    std::vector<TBytes> bad;
    bad.push_back({});
    bad.push_back({0xFF, 0xD8});
    bad.push_back(TBytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)));
    bad.push_back(TBytes(good.begin(), good.end() - 2)); // end marker missing
    TBytes cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    cut.insert(cut.end(), {0xFF, 0xD9}); // data cut short, then an end marker
    bad.push_back(cut);
    std::mt19937 random(7);
    TBytes garbage(5000);
    for (auto& b : garbage)
        b = static_cast<std::uint8_t>(random());
    bad.push_back(garbage);
    garbage[0] = 0xFF; // garbage behind a valid start marker
    garbage[1] = 0xD8;
    bad.push_back(garbage);
    TBytes huge = good;
    test::PatchJpegSize(huge, 60000, 60000);
    bad.push_back(huge);
    TBytes zero = good;
    test::PatchJpegSize(zero, 0, 64);
    bad.push_back(zero);
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_FALSE(DecodeJpeg(bad[i])) << "case " << i;

    // Scrambling the entropy-coded data must never crash; the result may go either way.
    for (int round = 0; round < 50; ++round) {
        TBytes scrambled = good;
        for (int k = 0; k < 20; ++k)
            scrambled[200 + random() % (scrambled.size() - 200)] =
                static_cast<std::uint8_t>(random());
        const auto picture = DecodeJpeg(scrambled);
        if (picture) {
            EXPECT_EQ(picture->Pixels.size(), 64u * 64 * 4);
        }
    }
}

TEST(DecodeJpeg, RefusesPicturesBeyondTheSizeLimit) {
    TBytes big = MakeJpeg(16, 16, 1, [](int, int, std::uint8_t* out) { out[0] = 1; });
    test::PatchJpegSize(big, MaxJpegSide + 1, 8);
    EXPECT_FALSE(DecodeJpeg(big));
}

} // namespace
} // namespace nimbora
