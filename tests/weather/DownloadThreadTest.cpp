// The download thread against real servers on this machine: nginx, tinyproxy and a scripted
// server that misbehaves.
#include "weather/WeatherTestSupport.h"

#include "support/NetHarness.h"
#include "support/TempDir.h"
#include "weather/TestPictures.h"
#include "weather/WeatherTexts.h"
#include "weather/WorkerTestSeam.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

using Connection = ScriptedServer::Connection;

// Last-Modified of the served pictures: Thu, 04 Mar 2021 05:06:07 GMT, and an hour later for
// the gzip-coded copy.
constexpr long long PictureTime = 1614834367;
constexpr long long GzipTime = PictureTime + 3600;
// The picture in hand before each download.
constexpr long long InHandTime = 1600000000;

const std::string& Jpeg() {
    static const std::string bytes = JpegBytes(64, 32, 200);
    return bytes;
}
const std::string& Png() {
    static const std::string bytes = PngBytes(64, 32, 180);
    return bytes;
}

TMapInfo MapInHand(long long unixTime = InHandTime) {
    TMapInfo info;
    info.LastMap = TDateTimeZ{DateTimeOfUnix(unixTime), 0, true};
    info.AutoFilterVal = 190;
    info.Credit = "Picture in hand";
    // The server chosen for this download; its labels are the picture's only if it succeeds.
    info.DownFilter = 42;
    info.DownCredit = "Chosen server";
    return info;
}

std::string BaseName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Checks what every failed download must leave: the code, its text, the hint lines, no file
// and the picture in hand unchanged.
void ExpectFailure(const TDownloadRun& run, const std::string& tempFolder, int code,
                   const std::string& name) {
    static const char* const texts[] = {"", "Error: Cannot download data",
                                        "Error: Service unavailable", "Error: Connection failed"};
    ASSERT_TRUE(run.ResultsRan) << name;
    EXPECT_EQ(run.Error, code) << name;
    if (code >= ErrNoBody && code <= ErrTransport) {
        EXPECT_EQ(run.Outcome.StatusText, texts[code]) << name;
    }
    EXPECT_TRUE(run.Outcome.ShowHints) << name;
    // Only a connection failure points at the proxy setting.
    const auto hints = ErrorHintLines(run.Outcome.ConnectionFailed, "/home/u/.local/nimbora.ini");
    EXPECT_EQ(hints.first, "Try again later, or choose another server") << name;
    EXPECT_EQ(hints.second, code == ErrTransport
                                ? "in the options menu (top right). Proxy: [Proxy] in nimbora.ini"
                                : "in the options menu (top right).")
        << name;
    EXPECT_FALSE(run.Outcome.NewPicture) << name;
    EXPECT_TRUE(FilesIn(tempFolder).empty()) << name;
    EXPECT_EQ(run.MapInfo.LastMap.DateTime, DateTimeOfUnix(InHandTime)) << name;
    EXPECT_EQ(run.MapInfo.DownFilter, 190) << name;
    EXPECT_EQ(run.MapInfo.DownCredit, "Picture in hand") << name;
}

class DownloadThreadTest : public NginxSuite<DownloadThreadTest> {
public:
    static std::string ServeFiles(const std::string& r) {
        namespace fs = std::filesystem;
        for (const char* folder : {"gz", "chunk", "bomb"})
            fs::create_directories(r + "/" + folder);
        WriteWholeFile(r + "/clouds.jpg", Jpeg());
        WriteWholeFile(r + "/clouds.png", Png());
        WriteWholeFile(r + "/chunk/clouds.jpg", Jpeg());
        WriteWholeFile(r + "/gz/clouds.png", GzipBytes(Png()));
        WriteWholeFile(r + "/bomb/clouds.png", GzipBytes(std::string(8 << 20, '\0')));
        WriteWholeFile(r + "/pic.gif", Jpeg());
        WriteWholeFile(r + "/cut.jpg", Jpeg().substr(0, Jpeg().size() - 40));
        WriteWholeFile(r + "/huge.png", PngWithHeader(100000, 100000));
        WriteWholeFile(r + "/empty.jpg", "");
        for (const char* name : {"clouds.jpg", "clouds.png", "chunk/clouds.jpg", "bomb/clouds.png",
                                 "pic.gif", "cut.jpg", "huge.png", "empty.jpg"})
            SetFileTime(r + "/" + name, PictureTime);
        SetFileTime(r + "/gz/clouds.png", GzipTime);

        std::string config = "absolute_redirect off;\n"
                             "location /gz/ { add_header Content-Encoding gzip; }\n"
                             "location /bomb/ { add_header Content-Encoding gzip; }\n"
                             "location /chunk/ { gzip on; gzip_types image/jpeg; "
                             "gzip_min_length 1; }\n"
                             "location = /fail { return 500; }\n"
                             "location = /moved { return 300 \"look elsewhere\"; }\n";
        // /r0 -> /r1 -> ... -> /r5 -> /clouds.jpg: five changes from /r1, six from /r0.
        for (int i = 0; i <= 5; ++i) {
            const std::string next = i == 5 ? "/clouds.jpg" : "/r" + std::to_string(i + 1);
            config += "location = /r" + std::to_string(i) + " { return 302 " + next + "; }\n";
        }
        return config;
    }

protected:
    void SetUp() override {
        NginxSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(Jpeg().empty());
        ASSERT_FALSE(Png().empty());
    }
};

TEST_F(DownloadThreadTest, PicturesArriveAndAreCompared) {
    const double pictureTime = DateTimeOfUnix(PictureTime);
    struct Case {
        const char* name;
        const char* path;
        double ifModifiedSince;
        long long inHand;
        std::string body; // file left for the window; empty: none
        TTyp type;
        double lastMap; // MapInfo.LastMap afterwards
    };
    const Case cases[] = {
        {"jpeg", "/clouds.jpg", 0, InHandTime, Jpeg(), TypJpg, pictureTime},
        {"png", "/clouds.png", 0, InHandTime, Png(), TypPng, pictureTime},
        {"gzip coded, inflated; its own header time", "/gz/clouds.png", 0, InHandTime, Png(),
         TypPng, DateTimeOfUnix(GzipTime)},
        {"five redirects", "/r1", 0, InHandTime, Jpeg(), TypJpg, pictureTime},
        {"not modified", "/clouds.jpg", pictureTime, PictureTime, "", TypUnk, pictureTime},
        {"same time as in hand", "/clouds.jpg", 0, PictureTime, Jpeg(), TypUnk, pictureTime},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        TDownloadRun run(Nginx().Url(c.path), tmp.str(), c.ifModifiedSince, MapInHand(c.inHand));
        run.Start();
        ASSERT_TRUE(run.WaitForEnd()) << c.name;
        ASSERT_TRUE(run.ResultsRan) << c.name;
        EXPECT_EQ(run.Error, ErrNone) << c.name;
        EXPECT_FALSE(run.Outcome.ShowHints) << c.name;
        EXPECT_FALSE(run.Result.Compressed) << c.name;
        const bool newer = c.type != TypUnk;
        EXPECT_EQ(run.Outcome.NewPicture, newer) << c.name;
        EXPECT_EQ(run.Outcome.StatusText,
                  newer ? texts::DownloadCompleteText : texts::NoNewerPictureText)
            << c.name;
        if (newer) {
            EXPECT_EQ(run.Outcome.Type, c.type) << c.name;
        }
        EXPECT_DOUBLE_EQ(run.MapInfo.LastMap.DateTime, c.lastMap) << c.name;
        const auto files = FilesIn(tmp.str());
        if (c.body.empty()) {
            EXPECT_TRUE(files.empty()) << c.name;
        } else {
            ASSERT_EQ(files, std::vector<std::string>{BaseName(run.Result.FileName)}) << c.name;
            EXPECT_TRUE(ReadWholeFile(run.Result.FileName) == c.body) << c.name;
        }
    }
    // The conditional request really was answered "not modified".
    EXPECT_NE(Nginx().AccessLog().find("\"GET /clouds.jpg HTTP/1.1\" 304"), std::string::npos);
}

TEST_F(DownloadThreadTest, ProgressTellsLengthAndBytes) {
    TempDir tmp;
    TDownloadRun run(Nginx().Url("/clouds.jpg"), tmp.str(), 0, MapInHand());
    run.Start();
    ASSERT_TRUE(run.WaitForEnd());
    const auto& messages = run.Receiver.Messages;
    ASSERT_GE(messages.size(), 2u);
    const auto size = static_cast<std::intptr_t>(Jpeg().size());
    EXPECT_EQ(messages.front().Message, UM_PROGRESS);
    EXPECT_EQ(messages.front().LParam, LpProgressLength);
    EXPECT_EQ(messages.front().WParam, size);
    EXPECT_EQ(messages.back().LParam, LpProgressReceived);
    EXPECT_EQ(messages.back().WParam, size);
}

TEST_F(DownloadThreadTest, AnswersThatBringNoPictureFail) {
    struct Case {
        const char* name;
        const char* path;
        int code;
    };
    const Case cases[] = {
        {"chunked answer is never written", "/chunk/clouds.jpg", ErrNoBody},
        {"gif", "/pic.gif", ErrNoBody},
        {"jpeg cut short", "/cut.jpg", ErrNoBody},
        {"empty body", "/empty.jpg", ErrNoBody},
        {"png claiming 100000 x 100000", "/huge.png", ErrNoBody},
        {"gzip inflating past the limit", "/bomb/clouds.png", ErrNoBody},
        {"redirect not followed", "/moved", ErrNoBody},
        {"six redirects", "/r0", ErrTransport},
        {"not found", "/missing.jpg", ErrStatus},
        {"server error", "/fail", ErrStatus},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        TDownloadRun run(Nginx().Url(c.path), tmp.str(), 0, MapInHand());
        TWorkerTestSeam::SetInflateLimit(run.Thread(), 1 << 20);
        run.Start();
        ASSERT_TRUE(run.WaitForEnd()) << c.name;
        ExpectFailure(run, tmp.str(), c.code, c.name);
    }
}

TEST_F(DownloadThreadTest, PictureIsNotTakenWhenTheWindowStoppedWaiting) {
    // Shutdown may stop the thread just after its transfer succeeded: the time in hand must
    // not name a picture that is about to be deleted.
    TempDir tmp;
    TDownloadRun run(Nginx().Url("/clouds.jpg"), tmp.str(), 0, MapInHand());
    run.Act = ActNone;
    run.Start();
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(run.Error, ErrNone);
    EXPECT_FALSE(run.Outcome.NewPicture);
    EXPECT_EQ(run.Outcome.StatusText, "");
    EXPECT_EQ(run.MapInfo.LastMap.DateTime, DateTimeOfUnix(InHandTime));
}

TEST_F(DownloadThreadTest, TransferGoesThroughTheProxy) {
    if (!HaveTinyproxy()) GTEST_SKIP() << "tinyproxy is not installed";
    struct Case {
        const char* name;
        const char* demandUser; // the proxy's account; empty: open proxy
        bool authenticate;
        const char* password;
        int code;
    };
    const Case cases[] = {
        {"open proxy", "", false, "", ErrNone},
        {"right password", "cloud", true, "s3cret", ErrNone},
        {"wrong password", "cloud", true, "wrong", ErrStatus},
        {"credentials switched off", "cloud", false, "s3cret", ErrStatus},
    };
    for (const Case& c : cases) {
        TinyProxyServer proxy;
        ASSERT_TRUE(proxy.Start(c.demandUser, c.demandUser[0] ? "s3cret" : "")) << proxy.Log();
        TempDir tmp;
        TDownloadRun run(Nginx().Url("/clouds.jpg"), tmp.str(), 0, MapInHand());
        TProxy& p = run.Thread().DownInfo.ProxyInfo;
        p.Enabled = true;
        p.Address = "127.0.0.1";
        p.Port = std::to_string(proxy.Port());
        p.Authenticate = c.authenticate;
        p.Username = "cloud";
        p.Password = c.password;
        run.Start();
        ASSERT_TRUE(run.WaitForEnd()) << c.name;
        if (c.code == 0) {
            EXPECT_EQ(run.Error, ErrNone) << c.name;
            EXPECT_TRUE(run.Outcome.NewPicture) << c.name;
            EXPECT_TRUE(ReadWholeFile(run.Result.FileName) == Jpeg()) << c.name;
            EXPECT_NE(proxy.Log().find("GET " + Nginx().Url("/clouds.jpg")), std::string::npos)
                << c.name << proxy.Log();
        } else {
            ExpectFailure(run, tmp.str(), c.code, c.name);
        }
    }
}

// ---- misbehaving servers ----

std::string Head(const std::string& fields) {
    return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n" + fields + "\r\n";
}

ScriptedServer::Behaviour Reply(std::string reply) {
    return [reply](Connection& c) {
        c.ReadRequest();
        c.Send(reply);
    };
}

// The served JPEG, its frame header claiming 65000 x 65000 pixels.
std::string JpegClaimingHugeSize() {
    std::string bytes = Jpeg();
    const auto sof = bytes.find("\xFF\xC0");
    if (sof == std::string::npos) return {};
    for (std::size_t at : {sof + 5, sof + 7}) {
        bytes[at] = char(0xFD);
        bytes[at + 1] = char(0xE8);
    }
    return bytes;
}

TEST(DownloadThreadScriptedTest, BrokenAnswersFailCleanly) {
    const std::string jpeg = Jpeg();
    const std::string size = std::to_string(jpeg.size());
    ASSERT_FALSE(JpegClaimingHugeSize().empty());
    struct Case {
        const char* name;
        ScriptedServer::Behaviour behaviour;
        int code;
    };
    const Case cases[] = {
        {"no content length", Reply(Head("Connection: close\r\n") + jpeg), ErrNoBody},
        {"longer length than sent",
         Reply(Head("Content-Length: " + std::to_string(jpeg.size() + 1000) + "\r\n") + jpeg),
         ErrTransport},
        {"shorter length than sent",
         Reply(Head("Content-Length: " + std::to_string(jpeg.size() - 100) + "\r\n") + jpeg),
         ErrNoBody},
        {"connection dropped mid-body",
         Reply(Head("Content-Length: " + size + "\r\n") + jpeg.substr(0, jpeg.size() / 2)),
         ErrTransport},
        {"empty 2xx body", Reply(Head("Content-Length: 0\r\n")), ErrNoBody},
        {"jpeg claiming 65000 x 65000",
         Reply(Head("Content-Length: " + size + "\r\n") + JpegClaimingHugeSize()), ErrNoBody},
        {"silent server",
         [](Connection& c) {
             c.ReadRequest();
             c.Pause(10000);
         },
         3},
        {"nothing listens", nullptr, ErrTransport},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        std::string url = "http://127.0.0.1:" + std::to_string(PickFreePort()) + "/clouds.jpg";
        if (c.behaviour) {
            ASSERT_TRUE(server.Start({c.behaviour}));
            url = server.Url("/clouds.jpg");
        }
        TempDir tmp;
        TDownloadRun run(url, tmp.str(), 0, MapInHand());
        TWorkerTestSeam::SetTimeouts(run.Thread(), 1000, 1);
        run.Start();
        ASSERT_TRUE(run.WaitForEnd(10000)) << c.name;
        ExpectFailure(run, tmp.str(), c.code, c.name);
    }
}

TEST(DownloadThreadScriptedTest, FastAndEndlessBodiesEndWithFewProgressMessages) {
    constexpr std::int64_t Limit = 8 << 20;
    const std::string chunk(64 << 10, 'x');
    // A known length, sent as fast as the link goes; and no length with a body that never ends.
    const auto send = [chunk](std::string head, int chunks) {
        return [head, chunks, chunk](Connection& c) {
            c.ReadRequest();
            if (!c.Send(head)) return;
            for (int i = 0; (chunks < 0 || i < chunks) && c.Send(chunk); ++i) {
            }
        };
    };
    struct Case {
        const char* name;
        ScriptedServer::Behaviour behaviour;
        std::int64_t lastCount; // -1: at most the limit
    };
    const Case cases[] = {
        {"known length", send(Head("Content-Length: " + std::to_string(Limit) + "\r\n"), 128),
         Limit},
        {"endless body of unknown length", send(Head("Connection: close\r\n"), -1), -1},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        ASSERT_TRUE(server.Start({c.behaviour}));
        TempDir tmp;
        TDownloadRun run(server.Url("/clouds.jpg"), tmp.str(), 0, MapInHand());
        TWorkerTestSeam::SetBodyLimit(run.Thread(), Limit);
        const auto start = std::chrono::steady_clock::now();
        run.Start();
        ASSERT_TRUE(run.WaitForEnd(10000)) << c.name;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        // Neither is a picture: the endless one ends at the limit, as a body too large.
        ExpectFailure(run, tmp.str(), ErrNoBody, c.name);
        std::vector<std::intptr_t> counts;
        for (const TPostedMessage& m : run.Receiver.Messages)
            if (m.Message == UM_PROGRESS && m.LParam == LpProgressReceived)
                counts.push_back(m.WParam);
        ASSERT_FALSE(counts.empty()) << c.name;
        EXPECT_LE(counts.size(), std::size_t(ms / ProgressIntervalMs + 2)) << c.name << ms;
        if (c.lastCount >= 0) {
            EXPECT_EQ(counts.back(), c.lastCount) << c.name;
        } else {
            EXPECT_LE(counts.back(), Limit) << c.name;
            EXPECT_GT(counts.back(), Limit / 2) << c.name;
        }
    }
}

TEST(DownloadThreadScriptedTest, RequestCarriesTheProgramsFields) {
    ScriptedServer server;
    ASSERT_TRUE(server.Start({Reply("HTTP/1.1 304 Not Modified\r\n\r\n")}));
    TempDir tmp;
    // Sun, 06 Nov 1994 08:49:37 GMT
    TDownloadRun run(server.Url("/clouds.jpg"), tmp.str(), 34644.367789351854, MapInHand());
    run.Start();
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(run.Error, ErrNone);
    EXPECT_EQ(run.Outcome.StatusText, texts::NoNewerPictureText);
    EXPECT_TRUE(FilesIn(tmp.str()).empty());
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    for (const std::string& line : std::vector<std::string>{
             "GET /clouds.jpg HTTP/1.1\r\n", "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n",
             "Accept-Encoding: gzip\r\n",
             "User-Agent: " + std::string(texts::DownloadAgent) + "\r\n",
             "Referer: " + server.Url("/clouds.jpg") + "\r\n"})
        EXPECT_NE(request.find(line), std::string::npos) << line << request;
}

TEST(DownloadThreadScriptedTest, SlowDownloadIsStoppedAtOnce) {
    ScriptedServer server;
    ASSERT_TRUE(server.Start({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send(Head("Content-Length: 10000000\r\n") + "\xFF\xD8")) return;
        while (c.Send(std::string(100, 'x')) && c.Pause(20)) {
        }
    }}));
    TempDir tmp;
    TDownloadRun run(server.Url("/clouds.jpg"), tmp.str(), 0, MapInHand());
    run.Start();
    ASSERT_TRUE(run.WaitForData());
    EXPECT_FALSE(FilesIn(tmp.str()).empty()); // the body is on its way to disk
    EXPECT_LT(run.Cancel(), 1000);
    EXPECT_TRUE(run.ResultsRan);
    EXPECT_EQ(run.Error, ErrNoBody);
    // A late result after the window stopped waiting changes no status line.
    EXPECT_EQ(run.Outcome.StatusText, "");
    EXPECT_FALSE(run.Outcome.NewPicture);
    EXPECT_TRUE(FilesIn(tmp.str()).empty());
    EXPECT_EQ(run.MapInfo.LastMap.DateTime, DateTimeOfUnix(InHandTime));
}

} // namespace
} // namespace nimbora::test
