// Saving the view without a window: the proposed name, the extension rules, the picture formats
// and the final write.
#include "ui/SaveView.h"
#include "support/TempDir.h"

#include <QDir>
#include <QImage>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// A small picture whose every pixel differs: red by column, green by row.
TFrameImage TestPicture(int width, int height) {
    TFrameImage image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Rgb.insert(image.Rgb.end(), {static_cast<std::uint8_t>(x * 20),
                                               static_cast<std::uint8_t>(y * 30), 77});
    return image;
}

int FileCount(const TempDir& dir) {
    return static_cast<int>(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size());
}

TEST(SaveViewName, ProposalCarriesTheMapTime) {
    EXPECT_EQ(DefaultFrameName(0), "Weather");
    // 8 December 2020 14:30:05 as a day count.
    const double day = 44173 + (14 * 3600 + 30 * 60 + 5) / 86400.0;
    EXPECT_EQ(DefaultFrameName(day), "Weather 201208 143005");
    EXPECT_EQ(DefaultFrameName(44173), "Weather 201208 000000");
    EXPECT_EQ(DefaultFrameName(1e300), "Weather"); // nonsense is no time
}

TEST(SaveViewName, ExtensionRules) {
    const struct {
        const char* typed;
        int filter;
        const char* name;
        int newFilter;
    } cases[] = {
        {"view.PNG", SaveFilterJpeg, "view.PNG", SaveFilterPng},
        {"view.png", SaveFilterBmp, "view.png", SaveFilterPng},
        {"view.Jpg", SaveFilterPng, "view.Jpg", SaveFilterJpeg},
        {"view.bmp", SaveFilterJpeg, "view.bmp", SaveFilterBmp},
        {"view", SaveFilterBmp, "view.bmp", SaveFilterBmp},
        {"view", SaveFilterPng, "view.png", SaveFilterPng},
        {"view.gif", SaveFilterJpeg, "view.gif.jpg", SaveFilterJpeg},
        {"/a.b/view", SaveFilterJpeg, "/a.b/view.jpg", SaveFilterJpeg},
        {"view.jpeg", SaveFilterJpeg, "view.jpeg", SaveFilterJpeg},
        {"view.JPEG", SaveFilterPng, "view.JPEG", SaveFilterJpeg},
        {"view.jpe", SaveFilterJpeg, "view.jpe.jpg", SaveFilterJpeg},
        {"view", 7, "view", 7},
    };
    for (const auto& c : cases) {
        const TSaveChoice choice = ApplySaveExtension(c.typed, c.filter);
        EXPECT_EQ(choice.FileName, c.name) << c.typed;
        EXPECT_EQ(choice.FilterIndex, c.newFilter) << c.typed;
    }
}

TEST(SaveViewFormats, BmpIsAStandardBottomUpFile) {
    const TFrameImage image = TestPicture(5, 3); // rows of 15 bytes, padded to 16
    const std::vector<std::uint8_t> bmp = EncodeBmp24(image);
    ASSERT_EQ(bmp.size(), 54u + 16 * 3);
    const QImage read = QImage::fromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
    ASSERT_EQ(read.size(), QSize(5, 3));
    EXPECT_EQ(read.pixel(0, 0), qRgb(0, 0, 77)); // top row first in the picture
    EXPECT_EQ(read.pixel(4, 2), qRgb(80, 60, 77));
    TFrameImage back;
    ASSERT_TRUE(DecodeBmp24(bmp, back));
    EXPECT_EQ(back.Rgb, image.Rgb);
    // Short, odd or oversized files are refused.
    for (std::size_t cut : {std::size_t{0}, std::size_t{20}, bmp.size() - 1})
        EXPECT_FALSE(DecodeBmp24(std::span(bmp).first(cut), back)) << cut;
    EXPECT_FALSE(DecodeBmp24(bmp, back, 14));
}

TEST(SaveViewFormats, ReadBackIsTurnedTopDown) {
    // GL gives the bottom row first.
    const TFrameImage image =
        FrameFromBottomUp(2, 3, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6});
    EXPECT_EQ(image.Rgb,
              (std::vector<std::uint8_t>{5, 5, 5, 6, 6, 6, 3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(FrameFromBottomUp(0, 3, {}).Width, 0);
    EXPECT_EQ(FrameFromBottomUp(4, 4, {1, 2, 3}).Width, 0); // too short a buffer
}

class StoreCaptureTest : public testing::Test {
protected:
    std::string Capture(const TFrameImage& image) {
        std::string error;
        const std::string path = WriteCaptureFile(temp_.str(), image, error);
        EXPECT_EQ(error, "");
        return path;
    }
    TempDir temp_, out_;
};

TEST_F(StoreCaptureTest, CaptureFileIsPrivateAndNamedAtRandom) {
    const std::string path = Capture(TestPicture(4, 4));
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(name.size(), 12u);
    EXPECT_EQ(name.substr(8), ".dat");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(Capture(TestPicture(4, 4)), path);
    // Nothing to capture writes nothing and reports nothing.
    std::string error;
    EXPECT_EQ(WriteCaptureFile(temp_.str(), TFrameImage{}, error), "");
    EXPECT_EQ(error, "");
    EXPECT_EQ(FileCount(temp_), 2);
}

TEST_F(StoreCaptureTest, EachFormatHoldsThePicture) {
    const TFrameImage image = TestPicture(9, 7);
    for (const char* name : {"v.jpg", "v.png", "v.bmp", "v.jpeg"}) {
        const std::string target = out_.str(name);
        EXPECT_EQ(StoreCapture(Capture(image), target), "") << name;
        const QImage read(QString::fromStdString(target));
        ASSERT_EQ(read.size(), QSize(9, 7)) << name;
        const QRgb corner = read.pixel(8, 6);
        // JPEG at quality 100 is near, the others exact.
        EXPECT_NEAR(qRed(corner), 160, 6) << name;
        EXPECT_NEAR(qGreen(corner), 180, 6) << name;
        EXPECT_EQ(FileCount(temp_), 0) << name; // the capture file is gone
    }
    EXPECT_EQ(QImage(out_.file("v.png")).pixel(3, 2), qRgb(60, 60, 77));
    for (const char* jpeg : {"v.jpg", "v.jpeg"})
        EXPECT_EQ(ReadWholeFile(out_.str(jpeg)).substr(0, 2), "\xFF\xD8") << jpeg;
}

TEST_F(StoreCaptureTest, ReplacesAnExistingFileWhole) {
    const std::string target = out_.str("old.bmp");
    ASSERT_TRUE(WriteWholeFile(target, std::string(100000, 'x')));
    ::chmod(target.c_str(), 0640);
    EXPECT_EQ(StoreCapture(Capture(TestPicture(3, 3)), target), "");
    EXPECT_EQ(ReadWholeFile(target).substr(0, 2), "BM");
    EXPECT_EQ(ReadWholeFile(target).size(), 54u + 12 * 3);
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the user's file keeps its permissions
    EXPECT_EQ(FileCount(out_), 1);
}

TEST_F(StoreCaptureTest, FailureIsReportedAndLeavesNoFiles) {
    for (const std::string& target :
         {out_.str("gone/view.png"), std::string("/proc/nimbora-view.jpg"), out_.str("")}) {
        const std::string error = StoreCapture(Capture(TestPicture(3, 3)), target);
        EXPECT_NE(error, "") << target;
        EXPECT_NE(error.find(target), std::string::npos) << error;
        EXPECT_EQ(FileCount(temp_), 0) << target;
        EXPECT_EQ(FileCount(out_), 0) << target;
    }
    // No capture, nothing to do.
    EXPECT_EQ(StoreCapture("", out_.str("x.jpg")), "");
    EXPECT_EQ(FileCount(out_), 0);
}

} // namespace
} // namespace nimbora
