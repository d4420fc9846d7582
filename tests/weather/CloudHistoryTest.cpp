// The kept cloud pictures: their names, the nearest to a time, the bounds, and a folder that
// holds things we did not put there.
#include "weather/CloudCache.h"
#include "weather/CloudHistory.h"

#include "core/Iso8601.h"
#include "platform/Files.h"
#include "platform/FilesTestSeam.h"
#include "support/TempDir.h"

#include <QDir>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

double Utc(int year, int month, int day, int hour, int minute = 0) {
    return DaysFromCivil(year, month, day) + UnixEpochDay + (hour * 60 + minute) / 1440.0;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(folder))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                           QDir::Name))
        names.push_back(n.toStdString());
    return names;
}

TEST(CloudHistoryTest, NamesSayTheUtcMinuteAndOnlyOurPatternReadsBack) {
    struct {
        const char* Name;
        bool Ours;
        double Utc;
    } const cases[] = {
        {"clouds-20261209T1800Z.jpg", true, Utc(2026, 12, 9, 18)},
        {"clouds-20240229T2359Z.png", true, Utc(2024, 2, 29, 23, 59)},
        {"clouds-19000101T0000Z.jpg", true, Utc(1900, 1, 1, 0)},
        {"clouds-20230229T1200Z.jpg", false, 0}, // no such day
        {"clouds-20261209T2400Z.jpg", false, 0},
        {"clouds-20261209T1860Z.jpg", false, 0},
        {"clouds-20261309T1800Z.jpg", false, 0},
        {"clouds-20261209T1800Z.gif", false, 0},
        {"clouds-20261209T1800Z.jpg~", false, 0},
        {"clouds-2026120 T1800Z.jpg", false, 0},
        {"clouds-+0261209T1800Z.jpg", false, 0},
        {".clouds-20261209T1800Z.jpg.a1B2c3", false, 0}, // a copy cut short
        {"holiday.jpg", false, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseHistoryFileName(c.Name);
        ASSERT_EQ(parsed.has_value(), c.Ours) << c.Name;
        if (!c.Ours) continue;
        EXPECT_EQ(parsed->Utc, c.Utc) << c.Name;
        EXPECT_EQ(HistoryFileName(parsed->Utc, parsed->Type), c.Name);
    }
    // Seconds are cut, a time read back a hair short is still its minute; no name for nonsense.
    EXPECT_EQ(HistoryFileName(Utc(2026, 12, 9, 18, 5) + 59.9 / 86400, TypJpg),
              "clouds-20261209T1805Z.jpg");
    EXPECT_EQ(HistoryFileName(Utc(2026, 12, 9, 18) - 1e-9, TypJpg), "clouds-20261209T1800Z.jpg");
    EXPECT_EQ(HistoryFileName(Utc(2026, 12, 9, 18), TypUnk), "");
    EXPECT_EQ(HistoryFileName(-5, TypJpg), "");
    EXPECT_EQ(HistoryFileName(1e300, TypJpg), "");
}

TEST(CloudHistoryTest, NearestWithinTheRangeOnly) {
    const std::vector<THistoryPicture> pictures = {
        {"a", Utc(2026, 12, 8, 6)}, {"b", Utc(2026, 12, 8, 9)}, {"c", Utc(2026, 12, 8, 18)}};
    struct {
        double At;
        const char* Expected; // "" for none
    } const cases[] = {
        {Utc(2026, 12, 8, 6), "a"},        {Utc(2026, 12, 8, 7, 29), "a"},
        {Utc(2026, 12, 8, 7, 30), "a"}, // a tie takes the earlier
        {Utc(2026, 12, 8, 7, 31), "b"},    {Utc(2026, 12, 8, 18), "c"},
        {Utc(2026, 12, 8, 5, 59), ""},     {Utc(2026, 12, 8, 18, 1), ""},
    };
    for (const auto& c : cases) {
        const auto found = NearestHistoryPicture(pictures, c.At);
        EXPECT_EQ(found ? found->Path : std::string(), c.Expected) << c.At;
    }
    EXPECT_FALSE(NearestHistoryPicture({}, Utc(2026, 12, 8, 6)));
}

TEST(CloudHistoryTest, KeepsCopiesWithinTheBoundsOldestFirstAndLeavesForeignFilesAlone) {
    TempDir data;
    const std::string folder = data.str() + "/";
    const std::string history = CloudHistoryFolder(folder);
    const std::string picture = folder + "clouds.jpg";
    ASSERT_TRUE(WriteWholeFile(picture, std::string(300 << 10, 'p'))); // 300 KB
    const THistoryBounds roomy{7, 300};

    // Pictures every day, then one whose date lies before them all (a clock set back).
    for (int day = 1; day <= 9; ++day)
        ASSERT_EQ(KeepInCloudHistory(picture, TypJpg, Utc(2026, 12, day, 12), folder, roomy), "");
    EXPECT_EQ(ReadWholeFile(picture), std::string(300 << 10, 'p')); // the picture in hand stays
    ASSERT_TRUE(WriteWholeFile(history + "notes.txt", "mine"));
    ASSERT_TRUE(WriteWholeFile(history + "clouds-20261110T1200Z.jpg", "")); // ours, damaged
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(history + "clouds-20261111T1200Z.jpg")));
    ASSERT_EQ(KeepInCloudHistory(picture, TypJpg, Utc(2026, 11, 30, 12), folder, roomy), "");
    // Seven days before the newest (Dec 9): Dec 2 stays, Dec 1 and the late Nov 30 go; so does
    // the empty file of ours, which no bound keeps. The folder and the notes stay.
    std::vector<std::string> expected = {"clouds-20261111T1200Z.jpg"};
    for (int day = 2; day <= 9; ++day)
        expected.push_back("clouds-202612" + std::string(day < 10 ? "0" : "") +
                           std::to_string(day) + "T1200Z.jpg");
    expected.push_back("notes.txt");
    std::vector<std::string> names = Names(history);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ReadWholeFile(history + "notes.txt"), "mine");
    const auto listed = ListCloudHistory(folder);
    ASSERT_EQ(listed.size(), 8u);
    EXPECT_EQ(listed.front().Utc, Utc(2026, 12, 2, 12));
    EXPECT_EQ(ReadWholeFile(listed.back().Path), ReadWholeFile(picture));

    // 1 MB holds three of 300 KB: the newest three stay. 0 keeps nothing new.
    PruneCloudHistory(folder, {7, 1});
    ASSERT_EQ(ListCloudHistory(folder).size(), 3u);
    EXPECT_EQ(ListCloudHistory(folder).front().Utc, Utc(2026, 12, 7, 12));
    EXPECT_EQ(KeepInCloudHistory(picture, TypJpg, Utc(2026, 12, 10, 12), folder, {0, 300}), "");
    EXPECT_EQ(ListCloudHistory(folder).size(), 3u);
}

TEST(CloudHistoryTest, AFullDiskLeavesThePictureInHandAndSaysSo) {
    TempDir data;
    const std::string folder = data.str() + "/";
    const std::string down = data.str("down.dat");
    ASSERT_TRUE(WriteWholeFile(down, "picture"));
    SetFileWriteFault([](TFileWriteStep step) { return step == TFileWriteStep::Write; });
    const TCloudFacts facts{{Utc(2026, 12, 9, 18), 0, true}, 5, "Credit"};
    const TInstallResult result = InstallCloudPicture(down, folder, TypJpg, facts);
    SetFileWriteFault({});
    EXPECT_TRUE(result.Installed);
    EXPECT_EQ(ReadWholeFile(folder + "clouds.jpg"), "picture");
    EXPECT_NE(result.HistoryText.find("No space left on device"), std::string::npos)
        << result.HistoryText;
    EXPECT_EQ(Names(CloudHistoryFolder(folder)), std::vector<std::string>{}); // no copy cut short
    // The next picture is kept again.
    ASSERT_TRUE(WriteWholeFile(down, "picture2"));
    EXPECT_EQ(InstallCloudPicture(down, folder, TypJpg, facts).HistoryText, "");
    EXPECT_EQ(ReadWholeFile(CloudHistoryFolder(folder) + "clouds-20261209T1800Z.jpg"), "picture2");
}

} // namespace
} // namespace nimbora
