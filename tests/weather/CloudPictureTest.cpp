#include "weather/CloudPicture.h"

#include "support/TempDir.h"
#include "weather/TestPictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nimbora {
namespace {

using test::DecodeJpeg;
using test::TempDir;
using test::TestPng;

// Pictures are rows of 16 x 16 blocks of one colour each, so that JPEG coding (also the 2 x 2
// chroma subsampling) keeps the middle of every block close to its true value.
constexpr int Block = 16;

TEST(CloudFilterTest, FilterGreyCutsHazeAndStretchesTheRest) {
    struct Case {
        int f, g, v;
    };
    const Case cases[] = {
        {50, 50, 0},     {50, 51, 1},   {50, 100, 62},   {50, 255, 255},  {50, 0, 0},
        {200, 254, 250}, {200, 200, 0}, {200, 199, 0},   {200, 255, 255}, {255, 255, 0},
        {255, 0, 0},     {1, 2, 1},     {254, 255, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilterGrey(c.g, c.f), c.v) << "f=" << c.f << " g=" << c.g;
    for (int g = 0; g < 256; ++g)
        EXPECT_EQ(FilterGrey(g, 0), g);
}

TEST(CloudFilterTest, CloudColorSamples) {
    struct Case {
        int a;
        TCloudRgb rgb;
    };
    const Case cases[] = {
        {0, {0, 0, 0}},        {1, {0, 3, 6}},       {64, {0, 180, 254}},  {76, {0, 205, 243}},
        {100, {74, 240, 159}}, {127, {149, 254, 3}}, {128, {152, 254, 0}}, {160, {219, 234, 0}},
        {204, {254, 149, 0}},  {205, {255, 147, 0}}, {255, {255, 0, 0}},
    };
    for (const Case& c : cases) {
        const TCloudRgb got = CloudColor(c.a);
        EXPECT_EQ(got, c.rgb) << "a=" << c.a << " got " << int(got.R) << "," << int(got.G) << ","
                              << int(got.B);
    }
}

TEST(CloudFilterTest, FilterLevelFollowsAutomaticSwitch) {
    EXPECT_EQ(CloudFilterLevel(true, 190, 40), 190);
    EXPECT_EQ(CloudFilterLevel(false, 190, 40), 40);
}

// Filters a file and checks the middle pixel of every block against the expected colour.
void ExpectBlocks(const std::string& path, TTyp format, bool colour, int filter,
                  const std::vector<TCloudRgb>& expected, int rows, int tolerance) {
    std::vector<std::uint8_t> stream{1, 2, 3}; // old contents must go
    ASSERT_TRUE(FilterCloudPicture(path, &stream, format, colour, filter));
    const auto out = DecodeJpeg(stream);
    ASSERT_TRUE(out.Ok);
    const int columns = static_cast<int>(expected.size()) / rows;
    ASSERT_EQ(out.Width, columns * Block);
    ASSERT_EQ(out.Height, rows * Block);
    EXPECT_EQ(out.Components, colour ? 3 : 1); // grey is coded as one channel
    for (int i = 0; i < static_cast<int>(expected.size()); ++i) {
        const int x = (i % columns) * Block + Block / 2;
        const int y = (i / columns) * Block + Block / 2;
        const std::uint8_t* px = &out.Rgb[(static_cast<std::size_t>(y) * out.Width + x) * 3];
        const TCloudRgb& e = expected[i];
        EXPECT_NEAR(px[0], e.R, tolerance) << "block " << i;
        EXPECT_NEAR(px[1], e.G, tolerance) << "block " << i;
        EXPECT_NEAR(px[2], e.B, tolerance) << "block " << i;
    }
}

TCloudRgb Grey(int v) {
    const auto b = static_cast<std::uint8_t>(v);
    return {b, b, b};
}

// An RGB picture of one row of blocks with the given colours.
std::vector<std::uint8_t> BlockPixels(const std::vector<TCloudRgb>& colours, int rows = 1) {
    const int columns = static_cast<int>(colours.size()) / rows;
    const int width = columns * Block;
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < rows * Block; ++y) {
        for (int x = 0; x < width; ++x) {
            const TCloudRgb& c = colours[(y / Block) * columns + x / Block];
            pixels.insert(pixels.end(), {c.R, c.G, c.B});
        }
    }
    return pixels;
}

const std::vector<TCloudRgb> SourceColours = {
    {0, 0, 0},       {255, 255, 255}, {255, 0, 0},  {60, 120, 180},
    {100, 100, 100}, {200, 220, 240}, {30, 40, 50}, {150, 150, 150},
};

TEST(CloudPictureTest, JpegColourPictureGreyAndColourVariants) {
    TempDir dir;
    const std::string path = dir.str("clouds.jpg");
    ASSERT_TRUE(test::WriteJpeg(path, 4 * Block, 2 * Block, 3, BlockPixels(SourceColours, 2)));
    // Expected values start from what the input decodes to: the filter stretches its small
    // coding errors (by 255 / 55 at level 200).
    const auto input = DecodeJpeg([&] {
        const std::string bytes = test::ReadWholeFile(path);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }());
    ASSERT_TRUE(input.Ok);
    for (const int f : {0, 50, 200}) {
        std::vector<TCloudRgb> grey, colour;
        for (int i = 0; i < static_cast<int>(SourceColours.size()); ++i) {
            const int x = (i % 4) * Block + Block / 2;
            const int y = (i / 4) * Block + Block / 2;
            const std::uint8_t* px =
                &input.Rgb[(static_cast<std::size_t>(y) * input.Width + x) * 3];
            const auto v = FilterGrey(static_cast<std::uint8_t>((px[0] + px[1] + px[2]) / 3), f);
            grey.push_back(Grey(v));
            colour.push_back(CloudColor(v));
        }
        SCOPED_TRACE(f);
        // The input's own coding noise inside each block is stretched by the filter as well.
        const int noise = 2 * 255 / (255 - f);
        ExpectBlocks(path, TypJpg, false, f, grey, 2, 4 + noise);
        ExpectBlocks(path, TypJpg, true, f, colour, 2, 10 + 2 * noise);
    }
}

TEST(CloudPictureTest, JpegGreyscalePicture) {
    TempDir dir;
    const std::string path = dir.str("clouds.jpg");
    const std::vector<int> levels = {0, 50, 51, 100, 180, 255};
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < Block; ++y)
        for (const int level : levels)
            pixels.insert(pixels.end(), Block, static_cast<std::uint8_t>(level));
    ASSERT_TRUE(test::WriteJpeg(path, Block * 6, Block, 1, pixels));
    std::vector<TCloudRgb> expected;
    for (const int level : levels)
        expected.push_back(Grey(FilterGrey(level, 50)));
    ExpectBlocks(path, TypJpg, false, 50, expected, 1, 3);
}

// A PNG of one row of blocks: samples per block given for every channel.
TestPng BlockPng(int colorType, int bitDepth, const std::vector<std::vector<int>>& blocks,
                 bool interlaced = false) {
    TestPng png;
    png.Width = Block * static_cast<int>(blocks.size());
    png.Height = Block;
    png.ColorType = colorType;
    png.BitDepth = bitDepth;
    png.Interlaced = interlaced;
    for (int y = 0; y < Block; ++y)
        for (const auto& block : blocks)
            for (int x = 0; x < Block; ++x)
                for (const int sample : block)
                    png.Samples.push_back(static_cast<std::uint16_t>(sample));
    return png;
}

TEST(CloudPictureTest, PngVariantsDecodeToTheirColours) {
    struct Case {
        const char* name;
        TestPng png;
        std::vector<int> grey; // expected (R + G + B) / 3 after laying over black
    };
    TestPng palette = BlockPng(PNG_COLOR_TYPE_PALETTE, 8, {{0}, {1}, {2}, {3}});
    palette.Palette = {255, 0, 0, 0, 0, 0, 90, 120, 150, 255, 255, 255};
    TestPng paletteAlpha = palette;
    paletteAlpha.PaletteAlpha = {255, 255, 0, 128}; // entry 2 invisible, entry 3 half

    std::vector<Case> cases = {
        {"palette", palette, {85, 0, 120, 255}},
        {"palette with transparency", paletteAlpha, {85, 0, 0, 128}},
        {"grey 8 bit",
         BlockPng(PNG_COLOR_TYPE_GRAY, 8, {{0}, {77}, {200}, {255}}),
         {0, 77, 200, 255}},
        {"grey 4 bit", BlockPng(PNG_COLOR_TYPE_GRAY, 4, {{0}, {5}, {10}, {15}}), {0, 85, 170, 255}},
        {"grey 16 bit",
         BlockPng(PNG_COLOR_TYPE_GRAY, 16, {{0}, {257 * 77}, {65535}}),
         {0, 77, 255}},
        {"RGB 16 bit",
         BlockPng(PNG_COLOR_TYPE_RGB, 16, {{65535, 0, 0}, {257 * 30, 257 * 60, 257 * 90}}),
         {85, 60}},
        {"RGBA",
         BlockPng(
             PNG_COLOR_TYPE_RGB_ALPHA, 8,
             {{255, 255, 255, 0}, {255, 255, 255, 255}, {200, 100, 0, 128}, {90, 90, 90, 255}}),
         {0, 255, (100 + 50) / 3, 90}},
        {"grey alpha",
         BlockPng(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{255, 0}, {200, 255}, {254, 128}}),
         {0, 200, 127}},
        {"interlaced RGB",
         BlockPng(PNG_COLOR_TYPE_RGB, 8, {{30, 60, 90}, {240, 240, 240}}, true),
         {60, 240}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.str("clouds.png");
        ASSERT_TRUE(test::WritePng(path, c.png));
        std::vector<TCloudRgb> grey, coloured;
        for (const int g : c.grey) {
            grey.push_back(Grey(g));
            coloured.push_back(CloudColor(FilterGrey(g, 50)));
        }
        ExpectBlocks(path, TypPng, false, 0, grey, 1, 3);
        ExpectBlocks(path, TypPng, true, 50, coloured, 1, 10);
        TPictureSize size;
        EXPECT_TRUE(CheckCloudPicture(path, TypPng, &size));
        EXPECT_EQ(size.Width, c.png.Width);
        EXPECT_EQ(size.Height, c.png.Height);
    }
}

TEST(CloudPictureTest, NothingHappensWithoutFileOrStream) {
    TempDir dir;
    std::vector<std::uint8_t> stream{7};
    EXPECT_FALSE(FilterCloudPicture(dir.str("missing.jpg"), &stream, TypJpg, false, 0));
    EXPECT_EQ(stream, std::vector<std::uint8_t>{7});
    const std::string path = dir.str("clouds.png");
    ASSERT_TRUE(test::WritePng(path, BlockPng(PNG_COLOR_TYPE_GRAY, 8, {{10}})));
    EXPECT_FALSE(FilterCloudPicture(path, nullptr, TypPng, false, 0));
    EXPECT_FALSE(FilterCloudPicture(dir.str(), &stream, TypPng, false, 0)); // a folder
}

TEST(CloudPictureTest, HostilePicturesFailCleanly) {
    TempDir dir;
    const std::string goodPng = dir.str("good.png");
    const std::string goodJpg = dir.str("good.jpg");
    ASSERT_TRUE(test::WritePng(
        goodPng, BlockPng(PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}, {40, 50, 60}, {200, 100, 0}})));
    ASSERT_TRUE(test::WriteJpeg(goodJpg, 4 * Block, 2 * Block, 3, BlockPixels(SourceColours, 2)));
    const std::string png = test::ReadWholeFile(goodPng);
    const std::string jpg = test::ReadWholeFile(goodJpg);
    ASSERT_GT(jpg.size(), 400u);

    // The same JPEG claiming another size in its frame header.
    const auto withJpegSize = [&](int width, int height) {
        std::string bytes = jpg;
        const auto sof = bytes.find("\xFF\xC0");
        bytes[sof + 5] = static_cast<char>(height >> 8);
        bytes[sof + 6] = static_cast<char>(height);
        bytes[sof + 7] = static_cast<char>(width >> 8);
        bytes[sof + 8] = static_cast<char>(width);
        return bytes;
    };
    std::string garbageAfterHeader = jpg.substr(0, jpg.size() / 2);
    garbageAfterHeader += std::string(jpg.size(), '\x5A');

    struct Case {
        const char* name;
        std::string bytes;
        TTyp format;
    };
    const Case cases[] = {
        {"empty png", "", TypPng},
        {"empty jpeg", "", TypJpg},
        {"garbage png", std::string(1000, 'x'), TypPng},
        {"garbage jpeg", std::string(1000, 'x'), TypJpg},
        {"png cut in its data", png.substr(0, png.size() - 30), TypPng},
        {"png cut in its header", png.substr(0, 20), TypPng},
        {"jpeg cut in half", jpg.substr(0, jpg.size() / 2), TypJpg},
        {"jpeg without end marker", jpg.substr(0, jpg.size() - 2), TypJpg},
        {"png named as jpeg", png, TypJpg},
        {"jpeg named as png", jpg, TypPng},
        {"unknown type", png, TypUnk},
        {"png of 40000 x 10", test::PngWithHeader(40000, 10), TypPng},
        {"png of 30000 x 30000", test::PngWithHeader(30000, 30000), TypPng},
        {"png of 2^31 x 1", test::PngWithHeader(0x7FFFFFFF, 1), TypPng},
        {"png with too little data", test::PngWithHeader(1000, 1000), TypPng},
        {"jpeg of 65000 x 16", withJpegSize(65000, 16), TypJpg},
        {"jpeg of 20000 x 20000", withJpegSize(20000, 20000), TypJpg},
        {"jpeg of 0 x 32", withJpegSize(0, 32), TypJpg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.str("hostile");
        ASSERT_TRUE(test::WriteWholeFile(path, c.bytes));
        std::vector<std::uint8_t> stream{1, 2, 3};
        EXPECT_FALSE(FilterCloudPicture(path, &stream, c.format, false, 0));
        EXPECT_TRUE(stream.empty());
        EXPECT_FALSE(CheckCloudPicture(path, c.format));
    }
    // Corrupt entropy data after a sound header is decoded as well as it goes, never crashes.
    const std::string path = dir.str("corrupt.jpg");
    ASSERT_TRUE(test::WriteWholeFile(path, garbageAfterHeader));
    std::vector<std::uint8_t> stream;
    FilterCloudPicture(path, &stream, TypJpg, true, 10);
    EXPECT_TRUE(FilterCloudPicture(goodJpg, &stream, TypJpg, false, 0));
    EXPECT_TRUE(CheckCloudPicture(goodJpg, TypJpg));
}

TEST(CloudPictureTest, ProgressiveJpegWithinTheScanLimit) {
    TempDir dir;
    const std::string path = dir.str("clouds.jpg");
    ASSERT_TRUE(
        test::WriteJpeg(path, 4 * Block, 2 * Block, 3, BlockPixels(SourceColours, 2), 100, true));
    const std::string jpg = test::ReadWholeFile(path);
    std::vector<TCloudRgb> grey;
    for (const TCloudRgb& c : SourceColours)
        grey.push_back(Grey((c.R + c.G + c.B) / 3));
    ExpectBlocks(path, TypJpg, false, 0, grey, 2, 6);

    // The first scan (DC only) repeated: decoders accept it, each copy costs a pass.
    const auto first = jpg.find("\xFF\xDA");
    const auto second = jpg.find("\xFF\xDA", first + 2);
    ASSERT_NE(second, std::string::npos);
    const std::string scan = jpg.substr(first, second - first);
    const auto repeated = [&](int copies) {
        std::string bytes = jpg.substr(0, second);
        for (int i = 0; i < copies; ++i)
            bytes += scan;
        return bytes + jpg.substr(second);
    };
    std::vector<std::uint8_t> stream;
    ASSERT_TRUE(test::WriteWholeFile(path, repeated(20)));
    EXPECT_TRUE(FilterCloudPicture(path, &stream, TypJpg, false, 0));
    ASSERT_TRUE(test::WriteWholeFile(path, repeated(MaxJpegScans)));
    EXPECT_FALSE(FilterCloudPicture(path, &stream, TypJpg, false, 0));
    EXPECT_FALSE(CheckCloudPicture(path, TypJpg));
}

TEST(CloudPictureTest, CheckReportsSizeOfASoundJpeg) {
    TempDir dir;
    const std::string path = dir.str("clouds.jpg");
    ASSERT_TRUE(test::WriteJpeg(path, 4 * Block, 2 * Block, 3, BlockPixels(SourceColours, 2)));
    TPictureSize size;
    ASSERT_TRUE(CheckCloudPicture(path, TypJpg, &size));
    EXPECT_EQ(size.Width, 4 * Block);
    EXPECT_EQ(size.Height, 2 * Block);
}

TEST(CloudPictureTest, OutputIsSameForReusedStream) {
    TempDir dir;
    const std::string path = dir.str("clouds.jpg");
    ASSERT_TRUE(test::WriteJpeg(path, 4 * Block, 2 * Block, 3, BlockPixels(SourceColours, 2)));
    std::vector<std::uint8_t> first, second;
    ASSERT_TRUE(FilterCloudPicture(path, &first, TypJpg, true, 30));
    second.assign(1 << 20, 0xAB); // a large stale buffer from an earlier picture
    ASSERT_TRUE(FilterCloudPicture(path, &second, TypJpg, true, 30));
    EXPECT_EQ(first, second);
    ASSERT_GE(first.size(), 4u);
    EXPECT_EQ(first[0], 0xFF);
    EXPECT_EQ(first[1], 0xD8);
    EXPECT_EQ(first[first.size() - 2], 0xFF);
    EXPECT_EQ(first[first.size() - 1], 0xD9);
}

TEST(CloudShrinkTest, SmallestWholeFactorWithinTextureAndCap) {
    struct Case {
        int width, height, maxSide, factor;
        TPictureSize out;
    };
    const Case cases[] = {
        {4096, 2048, 16384, 1, {4096, 2048}},
        {8192, 4096, 16384, 1, {8192, 4096}},
        {8192, 8192, 16384, 2, {4096, 4096}},
        {16384, 8192, 16384, 2, {8192, 4096}},
        {16384, 16384, 16384, 3, {5462, 5462}},
        {8192, 4096, 4096, 2, {4096, 2048}},
        {8192, 4096, 0, 1, {8192, 4096}},
        {32768, 1, 16384, 4, {8192, 1}},
        {101, 41, 50, 3, {34, 14}},
        {1, 1, 1, 1, {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(CloudShrinkFactor(c.width, c.height, c.maxSide), c.factor);
        EXPECT_EQ(CloudOutputSize(c.width, c.height, c.maxSide), c.out);
    }
}

// Blocks of 2 * Block pixels whose columns alternate between two grey levels: shrunk by 2, each
// becomes a Block-sized block of their mean.
TestPng StripedPng(const std::vector<std::pair<int, int>>& blocks, bool interlaced) {
    TestPng png;
    png.Width = 2 * Block * static_cast<int>(blocks.size());
    png.Height = 2 * Block;
    png.ColorType = PNG_COLOR_TYPE_GRAY;
    png.Interlaced = interlaced;
    for (int y = 0; y < png.Height; ++y)
        for (const auto& [a, b] : blocks)
            for (int x = 0; x < 2 * Block; ++x)
                png.Samples.push_back(static_cast<std::uint16_t>(x % 2 ? b : a));
    return png;
}

TEST(CloudPictureTest, PictureLargerThanTheTextureIsShrunkByBlockMeans) {
    TempDir dir;
    const std::vector<std::pair<int, int>> stripes = {{0, 200}, {255, 255}, {40, 60}, {0, 0}};
    for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced png" : "png");
        const std::string path = dir.str("clouds.png");
        ASSERT_TRUE(test::WritePng(path, StripedPng(stripes, interlaced)));
        std::vector<std::uint8_t> stream;
        ASSERT_TRUE(FilterCloudPicture(path, &stream, TypPng, false, 0, 4 * Block));
        const auto out = DecodeJpeg(stream);
        ASSERT_TRUE(out.Ok);
        EXPECT_EQ(out.Width, 4 * Block);
        EXPECT_EQ(out.Height, Block);
        const int means[] = {100, 255, 50, 0};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(out.Rgb[((Block / 2) * out.Width + i * Block + Block / 2) * 3], means[i], 3)
                << "block " << i;
    }
    // A JPEG is shrunk by its decoder.
    const std::string path = dir.str("clouds.jpg");
    // 8 x 4 blocks: the pixels must fill the size the writer is told.
    std::vector<TCloudRgb> colours;
    for (int i = 0; i < 4; ++i)
        colours.insert(colours.end(), SourceColours.begin(), SourceColours.end());
    ASSERT_TRUE(test::WriteJpeg(path, 8 * Block, 4 * Block, 3, BlockPixels(colours, 4)));
    std::vector<TCloudRgb> grey;
    for (const TCloudRgb& c : SourceColours)
        grey.push_back(Grey((c.R + c.G + c.B) / 3));
    std::vector<std::uint8_t> stream;
    ASSERT_TRUE(FilterCloudPicture(path, &stream, TypJpg, false, 0, 4 * Block));
    EXPECT_EQ(DecodeJpeg(stream).Width, 4 * Block);
}

TEST(CloudPictureTest, InterlacedPngGivesTheSamePictureAsAPlainOne) {
    TempDir dir;
    TestPng plain;
    plain.Width = 131;
    plain.Height = 67;
    plain.ColorType = PNG_COLOR_TYPE_RGB_ALPHA;
    for (int y = 0; y < plain.Height; ++y)
        for (int x = 0; x < plain.Width; ++x)
            for (const int v : {x * 7 + y, x * 3 + y * 5, y * 11 + x, 128 + (x ^ y) % 128})
                plain.Samples.push_back(static_cast<std::uint16_t>(v % 256));
    TestPng interlaced = plain;
    interlaced.Interlaced = true;
    ASSERT_TRUE(test::WritePng(dir.str("plain.png"), plain));
    ASSERT_TRUE(test::WritePng(dir.str("interlaced.png"), interlaced));
    for (const int maxSide : {8192, 50, 7}) {
        SCOPED_TRACE(maxSide);
        std::vector<std::uint8_t> a, b;
        ASSERT_TRUE(FilterCloudPicture(dir.str("plain.png"), &a, TypPng, true, 20, maxSide));
        ASSERT_TRUE(FilterCloudPicture(dir.str("interlaced.png"), &b, TypPng, true, 20, maxSide));
        EXPECT_EQ(a, b);
        const auto out = DecodeJpeg(a);
        EXPECT_EQ((TPictureSize{out.Width, out.Height}), CloudOutputSize(131, 67, maxSide));
    }
}

TEST(CloudPictureTest, CmykAndYcckJpegsAreConverted) {
    // Adobe's CMYK: 255 is no ink. Grey is (R + G + B) / 3 of C*K, M*K, Y*K.
    const std::vector<std::array<std::uint8_t, 4>> inks = {
        {255, 255, 255, 255}, {255, 255, 255, 0}, {255, 0, 255, 255}, {200, 150, 100, 255}};
    const std::vector<int> grey = {255, 0, 170, 150};
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < Block; ++y)
        for (const auto& ink : inks)
            for (int x = 0; x < Block; ++x)
                pixels.insert(pixels.end(), ink.begin(), ink.end());
    TempDir dir;
    for (const bool ycck : {false, true}) {
        SCOPED_TRACE(ycck ? "YCCK" : "CMYK");
        const std::string path = dir.str("clouds.jpg");
        ASSERT_TRUE(test::WriteJpeg(path, 4 * Block, Block, 4, pixels, 100, false, ycck));
        EXPECT_TRUE(CheckCloudPicture(path, TypJpg));
        std::vector<TCloudRgb> expected;
        for (const int g : grey)
            expected.push_back(Grey(g));
        ExpectBlocks(path, TypJpg, false, 0, expected, 1, 6);
    }
}

TEST(CloudPictureTest, DamagedPngTailIsJudgedAlikeByCheckAndFilter) {
    TempDir dir;
    const std::string good = dir.str("good.png");
    ASSERT_TRUE(test::WritePng(good, BlockPng(PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}, {90, 80, 70}})));
    const std::string png = test::ReadWholeFile(good);
    const std::string iend = png.substr(png.size() - 12);
    ASSERT_EQ(iend.substr(4, 4), "IEND");
    std::string badCrc = png;
    badCrc[badCrc.size() - 1] ^= 0x55;
    struct Case {
        const char* name;
        std::string bytes;
        bool usable;
    };
    const Case cases[] = {
        {"sound", png, true},
        {"without IEND", png.substr(0, png.size() - 12), false},
        {"cut inside IEND", png.substr(0, png.size() - 5), false},
        {"IEND with a bad CRC", badCrc, false},
        {"critical chunk cut short after the data",
         png.substr(0, png.size() - 12) + std::string("\0\0\0\x10IDAT\x01\x02", 10), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.str("tail.png");
        ASSERT_TRUE(test::WriteWholeFile(path, c.bytes));
        std::vector<std::uint8_t> stream;
        EXPECT_EQ(CheckCloudPicture(path, TypPng), c.usable);
        EXPECT_EQ(FilterCloudPicture(path, &stream, TypPng, false, 0), c.usable);
    }
}

// Kibibytes of a /proc/self/status field.
long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

TEST(CloudPictureTest, AHeaderClaimingAHugeInterlacedPictureAllocatesNothingLarge) {
    TempDir dir;
    const std::string path = dir.str("bomb.png");
    const std::string header = test::PngWithHeader(16384, 8192, PNG_COLOR_TYPE_RGB_ALPHA, true);
    EXPECT_LE(header.size(), 100u);
    ASSERT_TRUE(test::WriteWholeFile(path, header));
    // Measured in a child, so that its peak is not hidden by an earlier one of this process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const long before = StatusKib("VmRSS:");
        std::vector<std::uint8_t> stream;
        const bool filtered = FilterCloudPicture(path, &stream, TypPng, false, 0);
        const bool checked = CheckCloudPicture(path, TypPng);
        const long grown = StatusKib("VmHWM:") - before;
        _exit(filtered || checked ? 2 : grown > 32 * 1024 ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: accepted, 3: peak grew over 32 MiB";
}

} // namespace
} // namespace nimbora
