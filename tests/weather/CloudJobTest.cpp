#include "weather/CloudJob.h"

#include "core/Messages.h"
#include "support/TempDir.h"
#include "weather/TestPictures.h"
#include "weather/WeatherTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <png.h>

#include <random>

namespace nimbora {
namespace {

using test::TempDir;

std::vector<std::uint8_t> Bytes(const std::string& path) {
    const std::string bytes = test::ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

// Grey levels with edges, gradients and noise: what JPEG coding treats least kindly.
std::vector<std::uint8_t> Greys(int width, int height) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = (x * 255 / width + ((y / 5) % 2) * 90 + int(random() % 40)) % 256;
            out.push_back(static_cast<std::uint8_t>(v));
        }
    return out;
}

TCloudJobInfo JobInfo(const std::string& path, bool colour, std::uint8_t filter) {
    TCloudJobInfo info;
    info.Path = path;
    info.Type = TypPng;
    info.Colour = colour;
    info.Filter = filter;
    return info;
}

bool WriteGreyPng(const std::string& path, int width, int height) {
    test::TestPng png;
    png.Width = width;
    png.Height = height;
    png.ColorType = PNG_COLOR_TYPE_GRAY;
    const auto greys = Greys(width, height);
    png.Samples.assign(greys.begin(), greys.end());
    return test::WritePng(path, png);
}

TEST(CloudJobTest, GreyPictureDecodesToThePixelsOfItsColourCoding) {
    // A grey picture was coded as 24-bit colour with R = G = B; coded as one grey channel it
    // must give the texture exactly the same pixels, whatever its size.
    for (const auto& [width, height] :
         {std::pair{64, 32}, std::pair{100, 37}, std::pair{17, 250}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        TempDir dir;
        const std::string source = dir.str("clouds.png");
        ASSERT_TRUE(WriteGreyPng(source, width, height));
        std::vector<std::uint8_t> rgb;
        for (std::uint8_t g : Greys(width, height))
            rgb.insert(rgb.end(), {g, g, g});
        const std::string colourCoded = dir.str("rgb.jpg");
        ASSERT_TRUE(test::WriteJpeg(colourCoded, width, height, 3, rgb, CloudJpegQuality));
        const test::DecodedJpeg before = test::DecodeJpeg(Bytes(colourCoded));
        ASSERT_TRUE(before.Ok);

        const TCloudJobInfo info = JobInfo(source, false, 0); // level 0 keeps every grey
        TCloudPixels after;
        std::vector<std::uint8_t> stream;
        ASSERT_TRUE(PrepareCloudPixels(info, after, stream));
        ASSERT_EQ(after.Channels, 1);
        ASSERT_EQ(after.Width, width);
        ASSERT_EQ(after.Height, height);
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* old = &before.Rgb[(std::size_t(y) * width + x) * 3];
                const std::uint8_t now = after.Pixels[std::size_t(height - 1 - y) * width + x];
                differing += old[0] != now || old[1] != now || old[2] != now;
            }
        EXPECT_EQ(differing, 0);
    }
}

TEST(CloudJobTest, DamagedOrCancelledWorkLeavesNothing) {
    TempDir dir;
    const std::string source = dir.str("clouds.png");
    ASSERT_TRUE(WriteGreyPng(source, 64, 64));
    std::vector<std::uint8_t> stream;
    ASSERT_TRUE(FilterCloudPicture(source, &stream, TypPng, false, 0));
    const std::vector<std::uint8_t> good = stream;

    TCloudPixels out;
    ASSERT_TRUE(DecodeCloudStream(good, out));
    for (const auto& bad : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xFF, 0xD8},
                            std::vector<std::uint8_t>(good.begin(), good.end() - 60)}) {
        EXPECT_FALSE(DecodeCloudStream(bad, out));
        EXPECT_TRUE(out.Pixels.empty());
        EXPECT_EQ(out.Width, 0);
    }

    // Cancelled in the middle of the filter and of the decoding.
    int asked = 0;
    const TCancelCheck third = [&asked] { return ++asked >= 3; };
    EXPECT_FALSE(FilterCloudPicture(source, &stream, TypPng, false, 0, MaxCloudTextureSide, third));
    EXPECT_TRUE(stream.empty());
    EXPECT_GE(asked, 3);
    asked = 0;
    EXPECT_FALSE(DecodeCloudStream(good, out, third));
    EXPECT_TRUE(out.Pixels.empty());
    EXPECT_GE(asked, 3);
}

// Stands in for the window: runs the preparer's posted calls.
class TCallReceiver : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() != TCallEvent::EventType) return QObject::event(e);
        static_cast<TCallEvent*>(e)->Call();
        return true;
    }
};

struct TDelivery {
    TCloudJobInfo Info;
    bool Ok = false;
    int Channels = 0;
};

class CloudPreparerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        // Large enough that a preparation is still running when the next request comes.
        ASSERT_TRUE(WriteGreyPng(Path, 2048, 1024));
    }

    TCloudJobInfo Info(bool colour, std::uint8_t filter = 0) const {
        return JobInfo(Path, colour, filter);
    }

    bool RunUntilIdle(int ms = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (Preparer.Busy() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // The released jobs and anything late.
        QCoreApplication::processEvents();
        return !Preparer.Busy();
    }

    TempDir Dir;
    std::string Path = Dir.str("clouds.png");
    TCallReceiver Window;
    std::vector<TDelivery> Delivered;
    TCloudPreparer Preparer{
        &Window, [this](TCloudJob& job) {
            Delivered.push_back({job.Info, job.Succeeded(), job.Pixels().Channels});
        }};
};

TEST_F(CloudPreparerTest, QuickRequestsEndInOneResultForTheLastOne) {
    for (int i = 0; i < 5; ++i)
        Preparer.Request(Info(i % 2 == 0, static_cast<std::uint8_t>(i)));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_TRUE(Delivered[0].Ok);
    EXPECT_TRUE(Delivered[0].Info.Colour);
    EXPECT_EQ(Delivered[0].Info.Filter, 4);
    EXPECT_EQ(Delivered[0].Channels, 4);

    // Asking again for what is being prepared keeps that preparation.
    Delivered.clear();
    Preparer.Request(Info(false));
    Preparer.Request(Info(false));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_EQ(Delivered[0].Channels, 1);
}

TEST_F(CloudPreparerTest, DroppedWorkIsNotDeliveredAndFailuresAre) {
    Preparer.Request(Info(true));
    Preparer.Drop();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(Delivered.empty());

    // After a drop the picture may be asked for again, and a broken one reports its failure.
    ASSERT_TRUE(test::WriteWholeFile(Path, "not a picture"));
    Preparer.Request(Info(false));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_FALSE(Delivered[0].Ok);
}

TEST_F(CloudPreparerTest, FinishDeliversBeforeReturningAndOnlyOnce) {
    Preparer.Request(Info(false));
    Preparer.Request(Info(true)); // the first is cancelled, this one runs after it
    Preparer.Finish();
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_TRUE(Delivered[0].Ok);
    EXPECT_TRUE(Delivered[0].Info.Colour);
    EXPECT_FALSE(Preparer.Busy());
    QCoreApplication::processEvents(); // the job's own end call finds nothing to do
    EXPECT_EQ(Delivered.size(), 1u);
}

TEST_F(CloudPreparerTest, StopEndsTheWorkerAtOnceAndDeliversNothingMore) {
    Preparer.Request(Info(true));
    Preparer.Request(Info(false));
    QElapsedTimer clock;
    clock.start();
    Preparer.Stop();
    // A whole 2048 x 1024 preparation would take far longer on this machine than a
    // cancelled one; the bound is loose for a busy machine.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(Preparer.Busy());
    Preparer.Request(Info(true)); // the window is closing: nothing starts
    EXPECT_FALSE(Preparer.Busy());
    QCoreApplication::processEvents();
    EXPECT_TRUE(Delivered.empty());
}

} // namespace
} // namespace nimbora
