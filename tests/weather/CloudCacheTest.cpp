// The files of the picture in hand: where they are, the start-up check, installing a download,
// and deciding whether a download without a usable server date is a new picture.
#include "weather/CloudCache.h"

#include "platform/Paths.h"
#include "support/TempDir.h"
#include "weather/ThDown.h"

#include <QDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

const std::string Jpeg = std::string("\xFF\xD8", 2) + "picture" + std::string("\xFF\xD9", 2);
const std::string CutJpeg = std::string("\xFF\xD8", 2) + "picture";

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    for (const QString& n : QDir(QString::fromStdString(folder))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        names.push_back(n.toStdString());
    return names;
}

// Runs the test body with the working directory set to a scratch folder.
class WorkingDirectory {
public:
    WorkingDirectory() : Old(QDir::currentPath()) { QDir::setCurrent(Dir.path()); }
    ~WorkingDirectory() { QDir::setCurrent(Old); }
    std::string str(const QString& name) const { return Dir.str(name); }

private:
    TempDir Dir;
    QString Old;
};

TEST(CloudCacheTest, OneRuleForTheFilesAlsoInTheWorkingDirectory) {
    EXPECT_EQ(CloudCachePath("/data/", TypPng), "/data/clouds.png");
    EXPECT_EQ(CloudCachePath("/data/", TypJpg), "/data/clouds.jpg");
    EXPECT_EQ(CloudCachePath("", TypJpg), "clouds.jpg");

    WorkingDirectory cwd;
    EXPECT_EQ(FindCachedClouds("").Type, TypUnk);
    EXPECT_TRUE(FindCachedClouds("").Path.empty());
    ASSERT_TRUE(WriteWholeFile(cwd.str("clouds.png"), "png"));
    EXPECT_EQ(FindCachedClouds("").Type, TypPng);
    EXPECT_EQ(FindCachedClouds("").Path, "clouds.png");
    ASSERT_TRUE(WriteWholeFile(cwd.str("clouds.jpg"), Jpeg));
    EXPECT_EQ(FindCachedClouds("").Type, TypJpg); // the JPEG is preferred
}

TEST(CloudCacheTest, OnlyAJpegReadAndFoundCutShortIsDroppedAtStart) {
    struct Case {
        const char* name;
        std::string contents; // "fifo": a named pipe, which cannot be judged
        TJpegEnd end;
        bool dropped;
    };
    const Case cases[] = {
        {"complete", Jpeg, TJpegEnd::Complete, false},
        {"cut short", CutJpeg, TJpegEnd::CutShort, true},
        {"not a jpeg", "plain text", TJpegEnd::Complete, false},
        {"empty", "", TJpegEnd::Complete, false},
        {"unreadable", "fifo", TJpegEnd::Unreadable, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.str() + "/";
        const std::string path = folder + "clouds.jpg";
        if (c.contents == "fifo") {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            ASSERT_TRUE(WriteWholeFile(path, c.contents));
        }
        EXPECT_EQ(ReadJpegEnd(path), c.end);
        EXPECT_EQ(DropCutShortCachedJpeg(folder), c.dropped);
        EXPECT_EQ(access(path.c_str(), F_OK) == 0, !c.dropped);
    }
    EXPECT_EQ(ReadJpegEnd("/nonexistent/clouds.jpg"), TJpegEnd::Unreadable);
}

TEST(CloudCacheTest, InstallReplacesThePictureInHandOnlyWhenTheNewOneIsInPlace) {
    // /dev/shm is another file system here, which makes the install copy.
    struct stat shm {
    }, tmp{};
    const bool otherFs = stat("/dev/shm", &shm) == 0 &&
                         stat(QDir::tempPath().toUtf8(), &tmp) == 0 && shm.st_dev != tmp.st_dev &&
                         access("/dev/shm", W_OK) == 0;
    struct Case {
        const char* name;
        bool otherFileSystem;
        bool targetBlocked; // a folder sits where the new file must go
        bool installed;
    };
    const Case cases[] = {
        {"same file system", false, false, true},
        {"other file system", true, false, true},
        {"target cannot be replaced", false, true, false},
        {"other file system, target cannot be replaced", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.otherFileSystem && !otherFs) continue;
        TempDir data, down;
        const QString shmDir = "/dev/shm/clouds-test-" + QString::number(getpid());
        if (c.otherFileSystem) QDir().mkpath(shmDir);
        const std::string folder = data.str() + "/";
        const std::string downFile =
            (c.otherFileSystem ? shmDir.toStdString() : down.str()) + "/abcdefgh.dat";
        ASSERT_TRUE(WriteWholeFile(downFile, Jpeg));
        ASSERT_TRUE(WriteWholeFile(folder + "clouds.png", "old picture"));
        if (c.targetBlocked) {
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder + "clouds.jpg/x")));
        }

        const TCloudFacts facts{TDateTimeZ{44259.2125810185, 0, true}, 42, "Caf\xE9 clouds"};
        const TInstallResult result = InstallCloudPicture(downFile, folder, TypJpg, facts);
        EXPECT_EQ(result.Installed, c.installed);
        EXPECT_NE(access(downFile.c_str(), F_OK), 0); // never left behind
        if (c.installed) {
            EXPECT_EQ(ReadWholeFile(folder + "clouds.jpg"), Jpeg);
            EXPECT_EQ(Files(folder),
                      (std::vector<std::string>{"clouds.ini", "clouds.jpg", "history"}));
            EXPECT_EQ(ReadWholeFile(folder + "history/clouds-20210304T0506Z.jpg"), Jpeg);
            const auto read = ReadCloudFacts(folder, 45000);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->Filter, 42);
            EXPECT_EQ(read->Credit, facts.Credit);
        } else {
            // The picture arrived: the words say where it could not be stored, not that the
            // download failed.
            EXPECT_EQ(result.ErrorText,
                      "Error: Cannot save the cloud picture in " + HomeRelative(data.str()));
            EXPECT_EQ(ReadWholeFile(folder + "clouds.png"), "old picture");
            EXPECT_EQ(Files(folder), (std::vector<std::string>{"clouds.jpg", "clouds.png"}));
        }
        if (c.otherFileSystem) QDir(shmDir).removeRecursively();
    }
}

TEST(CloudFactsTest, DamagedOrForeignFactsAreNotBelieved) {
    const double now = 45000.5;                              // 2023-03-15 12:00 UTC
    const double march2021 = 25569.0 + 1614834367 / 86400.0; // 2021-03-04 05:06:07 UTC
    const std::string head = "[Clouds]\nPicture=clouds.jpg\nSize=11\n";
    struct Case {
        const char* name;
        std::string text;
        std::optional<TCloudFacts> facts; // none: not believed
    };
    const std::string date = "LastDate=2021-03-04T05:06:07Z\n";
    const Case cases[] = {
        {"as written", head + date + "Filter=190\nCredit=EUMETSAT\n",
         TCloudFacts{{march2021, 0, true}, 190, "EUMETSAT"}},
        {"BOM, CRLF, an offset and UTF-8",
         "\xEF\xBB\xBF[Clouds]\r\nPicture=clouds.jpg\r\nSize=11\r\n"
         "LastDate=2021-03-04T07:06:07+02:00\r\nFilter=255\r\nCredit=Caf\xC3\xA9\r\n",
         TCloudFacts{{march2021 + 2 / 24.0, 120, true}, 255, "Caf\xE9"}},
        {"a day ahead at most", head + "LastDate=2023-03-16T12:00:00Z\nFilter=0\nCredit=\n",
         TCloudFacts{{45001.5, 0, true}, 0, ""}},
        {"a date in 2099", head + "LastDate=2099-01-01T00:00:00Z\nFilter=1\nCredit=x\n", {}},
        {"no date", head + "LastDate=soon\nFilter=1\nCredit=x\n", {}},
        {"a filter of 300", head + date + "Filter=300\nCredit=x\n", {}},
        {"a negative filter", head + date + "Filter=-1\nCredit=x\n", {}},
        {"no credit", head + date + "Filter=1\n", {}},
        {"another picture's size",
         "[Clouds]\nPicture=clouds.jpg\nSize=12\n" + date + "Filter=1\nCredit=x\n",
         {}},
        {"another picture",
         "[Clouds]\nPicture=clouds.png\nSize=11\n" + date + "Filter=1\nCredit=x\n",
         {}},
        {"garbage", std::string("\x00\xFF[[Clouds\n=\n\x01", 14), {}},
        {"empty", "", {}},
    };
    TempDir dir;
    const std::string folder = dir.str() + "/";
    ASSERT_TRUE(WriteWholeFile(folder + "clouds.jpg", Jpeg)); // 11 bytes
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(folder + "clouds.ini", c.text));
        const auto facts = ReadCloudFacts(folder, now);
        ASSERT_EQ(facts.has_value(), c.facts.has_value());
        if (!facts) continue;
        EXPECT_NEAR(facts->LastMap.DateTime, c.facts->LastMap.DateTime, 1e-9);
        EXPECT_EQ(facts->LastMap.TimeZone, c.facts->LastMap.TimeZone);
        EXPECT_EQ(facts->Filter, c.facts->Filter);
        EXPECT_EQ(facts->Credit, c.facts->Credit);
    }
    // Without the picture the facts speak for nothing.
    ASSERT_TRUE(WriteWholeFile(folder + "clouds.ini", cases[0].text));
    ASSERT_TRUE(ReadCloudFacts(folder, now));
    ASSERT_EQ(unlink((folder + "clouds.jpg").c_str()), 0);
    EXPECT_FALSE(ReadCloudFacts(folder, now));
}

TEST(CloudFactsTest, AServerDateIsWrittenAndReadBackExactly) {
    TempDir dir;
    const std::string folder = dir.str() + "/";
    ASSERT_TRUE(WriteWholeFile(folder + "clouds.png", "png"));
    for (const char* header : {"Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT",
                               "Last-Modified: Sat, 31 Dec 2022 23:59:59 GMT"}) {
        SCOPED_TRACE(header);
        const double date = PictureDateFromHeaders({header}, 45000.5).DateTime;
        ASSERT_TRUE(WriteCloudFacts(folder, {TDateTimeZ{date, 0, true}, 7, "c"}));
        const auto facts = ReadCloudFacts(folder, 45000.5);
        ASSERT_TRUE(facts);
        // Bit for bit: the next request's If-Modified-Since and the comparison with the
        // server's answer use it.
        EXPECT_EQ(facts->LastMap.DateTime, date);
    }
}

TEST(PictureDateTest, UnusableServerDatesBecomeTheTimeOfReceipt) {
    const double now = 45000.5; // 2023-03-15 12:00 UTC
    struct Case {
        const char* name;
        std::vector<std::string> headers;
        double date;
        bool fromServer;
    };
    const double march14 = 45000.0 - 1 + (5 * 3600 + 6 * 60 + 7) / 86400.0;
    const Case cases[] = {
        {"a date in the past", {"Last-Modified: Tue, 14 Mar 2023 05:06:07 GMT"}, march14, true},
        {"half a day ahead", {"Last-Modified: Thu, 16 Mar 2023 00:00:00 GMT"}, 45001.0, true},
        {"no Last-Modified", {"Content-Type: image/jpeg"}, now, false},
        {"unreadable", {"Last-Modified: yesterday"}, now, false},
        {"far in the future", {"Last-Modified: Fri, 01 May 2099 00:00:00 GMT"}, now, false},
        {"two days ahead", {"Last-Modified: Fri, 17 Mar 2023 13:00:00 GMT"}, now, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TPictureDate date = PictureDateFromHeaders(c.headers, now);
        EXPECT_NEAR(date.DateTime, c.date, 1e-6);
        EXPECT_EQ(date.FromServer, c.fromServer);
    }
    EXPECT_NEAR(UtcNowDateTime(), 25569.0 + time(nullptr) / 86400.0, 2 / 86400.0);
}

TEST(DownResultsTest, PictureWithoutServerDateIsNewUnlessItIsTheOneInHand) {
    TempDir dir;
    const std::string inHand = dir.str("clouds.jpg");
    const std::string body = dir.str("body.dat");
    ASSERT_TRUE(WriteWholeFile(inHand, Jpeg));
    struct Case {
        const char* name;
        std::string body;
        std::string inHand;
        bool isNew;
    };
    const Case cases[] = {
        {"the same bytes", Jpeg, inHand, false},
        {"other bytes", Jpeg + "x", inHand, true},
        {"no picture in hand", Jpeg, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(body, c.body));
        TDownInfo info;
        info.Act = ActGetMap;
        info.FileName = body;
        info.ContentType = TypJpg;
        info.LastMap = 45000.25; // the time of receipt
        info.DateFromServer = false;
        TDownThread thread(info, nullptr, {});
        TMapInfo map;
        map.LastMap = TDateTimeZ{44000.0, 0, true};
        map.AutoFilterVal = 190;
        map.Credit = "In hand";
        map.DownFilter = 7;
        map.DownCredit = "Chosen";
        const TDownOutcome outcome = DownResults(thread, ActGetMap, map, c.inHand);
        EXPECT_EQ(outcome.NewPicture, c.isNew);
        EXPECT_EQ(map.LastMap.DateTime, c.isNew ? 45000.25 : 44000.0);
        EXPECT_EQ(outcome.PreviousDate.DateTime, c.isNew ? 44000.0 : 0.0);
        // Until the new picture is installed its server's labels wait in DownFilter/DownCredit;
        // without one they are the picture in hand's again.
        EXPECT_EQ(map.DownCredit, c.isNew ? "Chosen" : "In hand");
        EXPECT_EQ(map.DownFilter, c.isNew ? 7 : 190);
        EXPECT_EQ(map.Credit, "In hand");
    }
}

TEST(CloudCacheTest, LabelsFollowThePictureInHand) {
    TMapInfo map;
    map.AutoFilterVal = 190;
    map.Credit = "In hand";
    map.DownFilter = 7;
    map.DownCredit = "Chosen";
    TMapInfo forgotten = map;
    ForgetDownloadLabels(forgotten);
    EXPECT_EQ(forgotten.DownFilter, 190);
    EXPECT_EQ(forgotten.DownCredit, "In hand");
    AdoptDownloadLabels(map);
    EXPECT_EQ(map.AutoFilterVal, 7);
    EXPECT_EQ(map.Credit, "Chosen");
}

} // namespace
} // namespace nimbora
