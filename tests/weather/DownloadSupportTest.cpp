#include "weather/DownloadSupport.h"

#include "support/TempDir.h"
#include "weather/DownloadSupportTestSeam.h"
#include "weather/TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <png.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace nimbora {
namespace {

using test::TempDir;

TEST(IsCompleteJpegTest, OnlyAJpegCutShortIsIncomplete) {
    struct Case {
        const char* name;
        std::string bytes;
        bool complete;
    };
    const Case cases[] = {
        {"whole jpeg", std::string("\xFF\xD8\x01\x02\x03\xFF\xD9", 7), true},
        {"jpeg cut short", std::string("\xFF\xD8\x01\x02\x03\xFF", 6), false},
        {"jpeg with bytes after its end", std::string("\xFF\xD8\xFF\xD9\x00", 5), false},
        {"start marker only", std::string("\xFF\xD8", 2), false},
        {"smallest whole jpeg", std::string("\xFF\xD8\xFF\xD9", 4), true},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8), true},
        {"empty file", "", true},
        {"one byte", std::string("\xFF", 1), true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.str("picture");
        ASSERT_TRUE(test::WriteWholeFile(path, c.bytes));
        EXPECT_EQ(IsCompleteJpeg(path), c.complete) << c.name;
    }
    EXPECT_FALSE(IsCompleteJpeg(dir.str("missing.jpg")));
    EXPECT_FALSE(IsCompleteJpeg(dir.str()));
    const std::string pipe = dir.str("clouds.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(IsCompleteJpeg(pipe)); // and returns at once instead of waiting for a writer
}

TEST(Rfc1123Test, LastModifiedComesFromTheFirstMatchingLine) {
    const double fallback = 44000.25;
    EXPECT_EQ(LastModifiedFromHeaders({}, fallback), fallback);
    EXPECT_EQ(LastModifiedFromHeaders({"HTTP/1.1 200 OK", "Content-Type: image/png"}, fallback),
              fallback);
    EXPECT_EQ(LastModifiedFromHeaders(
                  {"Content-Type: image/png", "last-modified:   Thu, 01 Jan 1970 00:00:00 GMT  \r"},
                  fallback),
              25569);
    // Only the first such line counts, even when it cannot be read.
    EXPECT_EQ(LastModifiedFromHeaders({"Last-Modified: never", "Last-Modified: Thu, 01 Jan 1970 "
                                                               "00:00:00 GMT"},
                                      fallback),
              fallback);
    EXPECT_EQ(LastModifiedFromHeaders({"X-Last-Modified: Thu, 01 Jan 1970 00:00:00 GMT"}, 0), 0);
    EXPECT_EQ(LastModifiedFromHeaders({"Last-Modified:"}, fallback), fallback);
}

TEST(ProgressTest, PercentRoundsHalvesToEven) {
    struct Case {
        std::uint32_t received;
        std::int32_t length;
        std::int64_t percent;
    };
    const Case cases[] = {
        {1, 8, 12},  {3, 8, 38},    {5, 8, 62},
        {7, 8, 88},  {0, 8, 0},     {8, 8, 100},
        {1, 3, 33},  {2, 3, 67},    {1, 200, 0},
        {3, 200, 2}, {16, 10, 160}, {4294967295u, 2147483647, 200},
        {1, 40, 2},  {3, 40, 8},    {1000000, 2000000, 50},
    };
    for (const Case& c : cases) {
        const auto percent = ProgressPercent(c.received, c.length);
        ASSERT_TRUE(percent.has_value()) << c.received << "/" << c.length;
        EXPECT_EQ(*percent, c.percent) << c.received << "/" << c.length;
    }
    EXPECT_FALSE(ProgressPercent(5, 0).has_value());
    EXPECT_FALSE(ProgressPercent(5, -1).has_value());
    EXPECT_EQ(ProgressStatusText(1, 8).value_or(""), "Downloading 12%...");
    EXPECT_FALSE(ProgressStatusText(1, 0).has_value());
    // Without a known length the line still moves: whole KiB, from 10 MiB on whole MiB.
    const std::pair<std::uint32_t, const char*> unknown[] = {
        {0, "Downloading 0 KB..."},           {1023, "Downloading 0 KB..."},
        {1024, "Downloading 1 KB..."},        {(10u << 20) - 1, "Downloading 10239 KB..."},
        {10u << 20, "Downloading 10 MB..."},  {(257u << 20) - 1, "Downloading 256 MB..."},
        {4294967295u, "Downloading 4095 MB..."},
    };
    for (const auto& [received, text] : unknown)
        EXPECT_EQ(ProgressStatusText(received, -1).value_or("none"), text) << received;
}

TEST(ServerChoiceTest, FixedServerAndLimits) {
    const TRandomBelow never = [](std::size_t) -> std::size_t {
        ADD_FAILURE() << "a fixed server needs no random draw";
        return 0;
    };
    EXPECT_EQ(ChooseServer(2, 3, never), 1u);
    EXPECT_EQ(ChooseServer(1, 1, never), 0u);
    EXPECT_EQ(ChooseServer(10, 12, never), 9u);
    EXPECT_FALSE(ChooseServer(4, 3, never).has_value());
    EXPECT_FALSE(ChooseServer(0, 0).has_value());
    EXPECT_FALSE(ChooseServer(3, 0, never).has_value());
    // A source that misbehaves cannot pick beyond the list.
    EXPECT_FALSE(ChooseServer(0, 3, [](std::size_t) { return std::size_t{3}; }).has_value());
    // Any number outside 1 .. 10 means the random server.
    EXPECT_EQ(ChooseServer(11, 5, [](std::size_t) { return std::size_t{4}; }), 4u);
}

// Draws many times and checks the counts with a chi-square test (fixed seed, so it is stable).
void ExpectUniform(std::size_t servers, const TRandomBelow& source) {
    const int draws = 12000;
    std::vector<int> counts(servers, 0);
    for (int i = 0; i < draws; ++i) {
        const auto index = ChooseServer(0, servers, source);
        ASSERT_TRUE(index.has_value());
        ASSERT_LT(*index, servers);
        ++counts[*index];
    }
    const double expected = static_cast<double>(draws) / servers;
    double chi2 = 0;
    for (const int count : counts)
        chi2 += (count - expected) * (count - expected) / expected;
    // 99.9 % quantiles of chi-square for 2 and 11 degrees of freedom.
    EXPECT_LT(chi2, servers == 3 ? 13.8 : 31.3);
    for (const int count : counts)
        EXPECT_GT(count, 0);
}

TEST(ServerChoiceTest, RandomServerIsUniform) {
    std::mt19937 engine(12345);
    const TRandomBelow seeded = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
    };
    ExpectUniform(3, seeded);
    ExpectUniform(12, seeded); // servers beyond the tenth are reached by random choice
    SeedRandom(777);
    ExpectUniform(3, RandomBelow);
    ExpectUniform(12, RandomBelow);
}

TEST(RandomTextTest, LengthAndAlphabet) {
    EXPECT_EQ(RandomText(0), "");
    const std::string text = RandomText(2000);
    ASSERT_EQ(text.size(), 2000u);
    for (const char c : text)
        EXPECT_NE(std::strchr(RandomTextAlphabet, c), nullptr) << c;
    // Every character of the alphabet turns up in a long text.
    for (const char* c = RandomTextAlphabet; *c; ++c)
        EXPECT_NE(text.find(*c), std::string::npos) << *c;
    SeedRandom(5);
    const std::string first = RandomText(8);
    SeedRandom(5);
    EXPECT_EQ(RandomText(8), first);
}

TEST(TempFileTest, MakesAnOwnerOnlyFileWithARandomName) {
    TempDir dir;
    for (const std::string& folder : {dir.str(), dir.str() + "/"}) {
        const std::string path = MakeTempFileName(folder);
        ASSERT_FALSE(path.empty());
        const std::string name = path.substr(path.rfind('/') + 1);
        EXPECT_EQ(path, dir.str() + "/" + name);
        ASSERT_EQ(name.size(), 12u);
        EXPECT_EQ(name.substr(8), ".dat");
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
    }
    EXPECT_NE(MakeTempFileName(dir.str()), MakeTempFileName(dir.str()));
    EXPECT_EQ(MakeTempFileName(dir.str("no such folder")), "");
}

TEST(TempFileTest, NeverFollowsAPlantedLink) {
    TempDir dir;
    const std::string target = dir.str("precious.txt");
    ASSERT_TRUE(test::WriteWholeFile(target, "keep me"));
    // With a known seed the next name is known, so a link can wait under it.
    SeedRandom(99);
    const std::string planted = dir.str() + "/" + RandomText(8) + ".dat";
    ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
    SeedRandom(99);
    const std::string path = MakeTempFileName(dir.str());
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path, planted);
    EXPECT_EQ(test::ReadWholeFile(target), "keep me");

    EXPECT_FALSE(OpenTempFileForWriting(planted).IsOpen());
    EXPECT_EQ(test::ReadWholeFile(target), "keep me");
    TFile file = OpenTempFileForWriting(path);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.WriteAll("abc", 3));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(test::ReadWholeFile(path), "abc");
}

TEST(UsablePictureTest, TypeMustMatchContent) {
    TempDir dir;
    test::TestPng png;
    png.Width = 4;
    png.Height = 2;
    png.ColorType = PNG_COLOR_TYPE_GRAY;
    png.Samples.assign(8, 100);
    const std::string pngPath = dir.str("body.dat");
    ASSERT_TRUE(test::WritePng(pngPath, png));
    EXPECT_TRUE(IsUsablePicture(pngPath, TypPng));
    EXPECT_FALSE(IsUsablePicture(pngPath, TypJpg));
    EXPECT_FALSE(IsUsablePicture(pngPath, TypUnk));
    EXPECT_FALSE(IsUsablePicture(pngPath, TypTxt));
    const std::string jpgPath = dir.str("other.dat");
    ASSERT_TRUE(test::WriteJpeg(jpgPath, 16, 8, 1, std::vector<std::uint8_t>(128, 50)));
    EXPECT_TRUE(IsUsablePicture(jpgPath, TypJpg));
    EXPECT_FALSE(IsUsablePicture(jpgPath, TypPng));
    EXPECT_FALSE(IsUsablePicture(dir.str("missing.dat"), TypJpg));
}

} // namespace
} // namespace nimbora
