// The conductor of a cloud update against real servers on this machine: one result for each
// start, and nothing reported or left behind when it is stopped or destroyed half-way.
#include "weather/CloudUpdate.h"

#include "support/NetHarness.h"
#include "support/TempDir.h"
#include "weather/CloudCache.h"
#include "weather/WeatherTestSupport.h"
#include "weather/WeatherTexts.h"

#include <QElapsedTimer>
#include <filesystem>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

constexpr long long PictureTime = 1614834367;

const std::string& Jpeg() {
    static const std::string bytes = JpegBytes(64, 32, 200);
    return bytes;
}

// One conductor over scratch folders, with a picture in hand, keeping what it reports.
struct TUpdateRun {
    TempDir Data, Temp;
    const std::string InHand = JpegBytes(32, 16, 90);
    TMapInfo MapInfo;
    std::unique_ptr<TCloudUpdate> Update;
    std::vector<TCloudUpdateResult> Results;
    std::vector<bool> Catalogues; // whether each report brought a catalogue

    explicit TUpdateRun(const std::vector<std::string>& urls, bool pictureInHand = true) {
        App();
        for (const std::string& url : urls)
            MapInfo.Map.push_back(TMap{url, 42, "Chosen server"});
        // Without a picture the settings may still remember the server's date.
        const long long lastMap = pictureInHand ? PictureTime - 86400 : PictureTime;
        MapInfo.LastMap = TDateTimeZ{DateTimeOfUnix(lastMap), 0, true};
        MapInfo.AutoFilterVal = MapInfo.DownFilter = 190;
        MapInfo.Credit = MapInfo.DownCredit = "Picture in hand";
        if (pictureInHand) WriteWholeFile(Data.str("clouds.jpg"), InHand);
        Update = std::make_unique<TCloudUpdate>(MapInfo, Data.str() + "/", Temp.str() + "/");
        Update->OnFinished = [this](const TCloudUpdateResult& r) { Results.push_back(r); };
        Update->OnCatalogue = [this](const TCatalogue* c) { Catalogues.push_back(c != nullptr); };
    }
    template <class Pred> bool RunUntil(Pred pred, int ms = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!pred() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return pred();
    }
    void Linger() { RunUntil([] { return false; }, 300); }
};

class CloudUpdateTest : public NginxSuite<CloudUpdateTest> {
public:
    static std::string ServeFiles(const std::string& r) {
        std::filesystem::create_directories(r + "/gz");
        WriteWholeFile(r + "/clouds.jpg", Jpeg());
        WriteWholeFile(r + "/gz/clouds.jpg", GzipBytes(Jpeg()));
        for (const char* name : {"clouds.jpg", "gz/clouds.jpg"})
            SetFileTime(r + "/" + name, PictureTime);
        return "location /gz/ { add_header Content-Encoding gzip; }\n";
    }
};

TEST_F(CloudUpdateTest, EachStartEndsInExactlyOneResult) {
    struct Case {
        const char* name;
        std::vector<std::string> servers;
        std::string first, second; // status texts of two updates in a row
        bool installed, hints, connectionFailed;
        bool inHand = true;
    };
    const std::string refused = "http://127.0.0.1:" + std::to_string(PickFreePort()) + "/x.jpg";
    const Case cases[] = {
        {"newer picture", {Nginx().Url("/clouds.jpg")}, texts::DownloadCompleteText,
         texts::NoNewerPictureText, true, false, false},
        {"gzip-coded newer picture", {Nginx().Url("/gz/clouds.jpg")}, texts::DownloadCompleteText,
         texts::NoNewerPictureText, true, false, false},
        {"nothing in hand, the server's date remembered", {Nginx().Url("/clouds.jpg")},
         texts::DownloadCompleteText, texts::NoNewerPictureText, true, false, false, false},
        {"not found", {Nginx().Url("/missing.jpg")}, "Error: Service unavailable",
         "Error: Service unavailable", false, true, false},
        {"nothing listens", {refused}, "Error: Connection failed", "Error: Connection failed",
         false, true, true},
        {"no server at all", {}, "Error: Cannot download data", "Error: Cannot download data",
         false, true, false},
    };
    for (const Case& c : cases) {
        TUpdateRun run(c.servers, c.inHand);
        for (const std::string& text : {c.first, c.second}) {
            const std::size_t before = run.Results.size();
            ASSERT_TRUE(run.Update->Start(0, TProxy{})) << c.name;
            EXPECT_FALSE(run.Update->Start(0, TProxy{})) << c.name; // busy: no second result
            ASSERT_TRUE(run.RunUntil([&] { return run.Results.size() > before; })) << c.name;
            run.Linger();
            ASSERT_EQ(run.Results.size(), before + 1) << c.name;
            EXPECT_FALSE(run.Update->Busy()) << c.name;
            EXPECT_EQ(run.Results.back().StatusText, text) << c.name;
            EXPECT_TRUE(FilesIn(run.Temp.str()).empty()) << c.name;
        }
        const TCloudUpdateResult& first = run.Results.front();
        EXPECT_EQ(first.Installed, c.installed) << c.name;
        EXPECT_FALSE(run.Results.back().Installed) << c.name;
        EXPECT_EQ(first.ShowHints, c.hints) << c.name;
        EXPECT_EQ(first.ConnectionFailed, c.connectionFailed) << c.name;
        const std::string inHand = ReadWholeFile(run.Data.str("clouds.jpg"));
        EXPECT_TRUE(inHand == (c.installed ? Jpeg() : run.InHand)) << c.name;
        EXPECT_EQ(run.MapInfo.AutoFilterVal, c.installed ? 42 : 190) << c.name;
        EXPECT_EQ(run.MapInfo.DownCredit, c.installed ? "Chosen server" : "Picture in hand");
        const auto facts = ReadCloudFacts(run.Data.str() + "/", UtcNowDateTime());
        ASSERT_EQ(facts.has_value(), c.installed) << c.name;
        if (facts) {
            EXPECT_EQ(facts->LastMap.DateTime, DateTimeOfUnix(PictureTime)) << c.name;
        }
    }

}

TEST(CloudUpdateStopTest, StoppedHalfWayReportsNothingAndLeavesThePictureInHand) {
    // Answers that begin and never end.
    ScriptedServer slow;
    ASSERT_TRUE(slow.Start({[](ScriptedServer::Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                    "Content-Length: 10000000\r\n\r\n\xFF\xD8"))
            return;
        while (c.Send(std::string(200, 'x')) && c.Pause(20)) {
        }
    }}));
    for (const bool catalogue : {false, true}) {
        for (const bool destroy : {false, true}) {
            const std::string name = std::string(destroy ? "destroyed" : "cancelled") +
                                     (catalogue ? " during the catalogue" : " during the download");
            TUpdateRun run({slow.Url("/clouds.jpg")});
            std::string progress;
            run.Update->OnProgress = [&](const std::string& text) { progress = text; };
            ASSERT_TRUE(catalogue ? run.Update->FetchCatalogue(slow.Url("/c.ini"), TProxy{})
                                  : run.Update->Start(0, TProxy{}));
            // The body is on its way.
            ASSERT_TRUE(run.RunUntil([&] {
                return !FilesIn(run.Temp.str()).empty() &&
                       (catalogue || progress.rfind("Downloading ", 0) == 0);
            })) << name;
            QElapsedTimer clock;
            clock.start();
            if (destroy) {
                run.Update.reset();
            } else {
                run.Update->Cancel();
                EXPECT_FALSE(run.Update->Busy() || run.Update->FetchingCatalogue()) << name;
            }
            EXPECT_LT(clock.elapsed(), 1000) << name;
            run.Linger();
            EXPECT_TRUE(run.Results.empty() && run.Catalogues.empty()) << name;
            EXPECT_TRUE(FilesIn(run.Temp.str()).empty()) << name;
            EXPECT_TRUE(ReadWholeFile(run.Data.str("clouds.jpg")) == run.InHand) << name;
            EXPECT_EQ(run.MapInfo.LastMap.DateTime, DateTimeOfUnix(PictureTime - 86400)) << name;
            EXPECT_EQ(run.MapInfo.DownFilter, 190) << name;
        }
    }
}

} // namespace
} // namespace nimbora::test
