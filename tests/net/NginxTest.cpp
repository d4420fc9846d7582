// The client against a real static server.
#include "Recorder.h"
#include "support/NetHarness.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/time.h>

namespace nimbora::test {
namespace {

// Last-Modified of the served picture: Thu, 04 Mar 2021 05:06:07 GMT.
constexpr time_t PictureTime = 1614834367;
constexpr double PictureDateTime = 44259.21258101852;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = char(gen() & 0xff);
    return s;
}

std::uint32_t Crc32(const std::string& data) {
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A gzip member holding `data` in one stored deflate block (data under 64 KiB).
std::string Gzip(const std::string& data) {
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    auto le16 = [&out](unsigned v) {
        out += char(v & 0xff);
        out += char((v >> 8) & 0xff);
    };
    out += '\x01';
    le16(unsigned(data.size()));
    le16(~unsigned(data.size()) & 0xffff);
    out += data;
    std::uint32_t crc = Crc32(data), size = std::uint32_t(data.size());
    le16(crc & 0xffff);
    le16(crc >> 16);
    le16(size & 0xffff);
    le16(size >> 16);
    return out;
}

class NginxTest : public NginxSuite<NginxTest> {
public:
    static std::string ServeFiles(const std::string& r) {
        Picture = RandomBytes(300000, 1);
        WriteWholeFile(r + "/clouds.png", Picture);
        timeval times[2] = {{PictureTime, 0}, {PictureTime, 0}};
        utimes((r + "/clouds.png").c_str(), times);
        WriteWholeFile(r + "/pic.gif", "GIF89a-not-really");
        std::filesystem::create_directories(r + "/gz");
        std::filesystem::create_directories(r + "/chunk");
        Gzipped = Gzip(RandomBytes(20000, 2));
        WriteWholeFile(r + "/gz/clouds.png", Gzipped);
        std::string text;
        for (int i = 0; i < 2000; ++i)
            text += "line " + std::to_string(i) + " of clouds\n";
        WriteWholeFile(r + "/chunk/text.txt", text);

        std::string config = "absolute_redirect off;\n"
                             "location /gz/ { add_header Content-Encoding gzip; }\n"
                             "location /chunk/ { gzip on; gzip_types text/plain; "
                             "gzip_min_length 1; }\n"
                             "location = /fail { return 500; }\n";
        // /r0 -> /r1 -> ... -> /r5 -> /clouds.png: five changes from /r1, six from /r0.
        for (int i = 0; i <= 5; ++i) {
            std::string next = i == 5 ? "/clouds.png" : "/r" + std::to_string(i + 1);
            config += "location = /r" + std::to_string(i) + " { add_header X-Hop " +
                      std::to_string(i) + "; return 302 " + next + "; }\n";
        }
        return config;
    }

protected:
    void SetUp() override {
        NginxSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Cli.Request.Url = Nginx().Url("/clouds.png");
        Cli.Request.Version = THttpVersion::Http11;
        Rec.Attach(Cli);
    }
    // Body straight into a file, as the download thread does it.
    void SinkInto(const std::string& path, std::int64_t limit = HttpDefaultBodyLimit) {
        auto begin = Cli.OnDocBegin;
        Cli.OnDocBegin = [this, begin, path, limit](const THttpDocInfo& doc) {
            begin(doc);
            EXPECT_TRUE(Cli.CreateBodyFile(path, limit));
        };
        auto end = Cli.OnDocEnd;
        Cli.OnDocEnd = [this, end] {
            end();
            EXPECT_TRUE(Cli.CloseBodySink());
        };
    }

    inline static std::string Picture;
    inline static std::string Gzipped;

    THttpCli Cli;
    TRecorder Rec;
    TempDir Tmp;
};

TEST_F(NginxTest, FileArrivesInTheSinkWithCallbacksInOrder) {
    const std::string file = Tmp.str("body.dat");
    ASSERT_TRUE(WriteWholeFile(file, std::string(400000, 'x'))); // longer: must be truncated
    SinkInto(file);
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));

    EXPECT_EQ(Rec.Events, FullOrder());
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_EQ(Rec.Doc.Status, 200);
    EXPECT_EQ(Rec.Doc.ContentLength, std::int64_t(Picture.size()));
    EXPECT_EQ(Rec.Doc.ContentType, "image/png");
    EXPECT_EQ(Rec.Doc.TransferEncoding, "");
    EXPECT_EQ(Rec.Header("Last-Modified:"), "Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_TRUE(Rec.CountsConsistent);
    EXPECT_EQ(Rec.LastReceived, std::int64_t(Picture.size()));
    EXPECT_TRUE(ReadWholeFile(file) == Picture);
    EXPECT_FALSE(Cli.HasBodySink());
}

TEST_F(NginxTest, IfModifiedSinceGivesNotModifiedOnlyForTheSameDate) {
    struct Case {
        double since;
        int status;
        bool body;
    } cases[] = {
        {PictureDateTime, 304, false},
        {PictureDateTime - 1, 200, true},
        {0, 200, true}, // 0: not sent
    };
    for (const auto& c : cases) {
        THttpCli cli;
        TRecorder rec;
        rec.Attach(cli);
        cli.Request.Url = Nginx().Url("/clouds.png");
        cli.Request.IfModifiedSince = c.since;
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli));
        EXPECT_EQ(rec.Error, 0) << c.since;
        EXPECT_EQ(rec.Status, c.status) << c.since;
        EXPECT_EQ(rec.Doc.Status, c.status) << c.since;
        EXPECT_EQ(rec.Body.size(), c.body ? Picture.size() : 0u) << c.since;
        if (!c.body) {
            EXPECT_EQ(rec.Events,
                      (std::vector<std::string>{"connected", "begin", "end", "closed", "done"}));
        }
    }
}

TEST_F(NginxTest, GzipCodedBodyArrivesUninflated) {
    Cli.Request.Url = Nginx().Url("/gz/clouds.png");
    Cli.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("Accept-Encoding: gzip");
    };
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Header("Content-Encoding:"), "Content-Encoding: gzip");
    EXPECT_EQ(Rec.Doc.ContentLength, std::int64_t(Gzipped.size()));
    EXPECT_TRUE(Rec.Body == Gzipped);
}

TEST_F(NginxTest, ChunkedAnswerIsDecodedAndReportedAsSuch) {
    Cli.Request.Url = Nginx().Url("/chunk/text.txt");
    Cli.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("Accept-Encoding: gzip");
    };
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_EQ(Rec.Doc.TransferEncoding, "chunked");
    EXPECT_EQ(Rec.Doc.ContentLength, -1);
    ASSERT_GE(Rec.Body.size(), 2u);
    // Chunk framing removed: the body is the bare gzip member.
    EXPECT_EQ(Rec.Body.substr(0, 2), "\x1f\x8b");
    EXPECT_TRUE(Rec.CountsConsistent);
    EXPECT_EQ(Rec.Events, FullOrder());
}

TEST_F(NginxTest, ContentTypeIsReportedAsServed) {
    Cli.Request.Url = Nginx().Url("/pic.gif");
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_EQ(Rec.Doc.ContentType, "image/gif");
}

TEST_F(NginxTest, FiveRedirectsAreFollowedAndOnlyTheFinalAnswerIsReported) {
    Cli.Request.Url = Nginx().Url("/r1");
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_EQ(Rec.DocBegins, 1);
    EXPECT_EQ(Rec.Doc.Status, 200);
    EXPECT_EQ(Rec.Header("X-Hop"), "");
    EXPECT_EQ(Rec.Header("Location"), "");
    EXPECT_EQ(Rec.Header("Last-Modified:"), "Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_TRUE(Rec.Body == Picture);
    EXPECT_EQ(Rec.Events, FullOrder());
}

TEST_F(NginxTest, SixthRedirectIsATransportError) {
    Cli.Request.Url = Nginx().Url("/r0");
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 47); // CURLE_TOO_MANY_REDIRECTS
    EXPECT_EQ(Rec.Dones, 1);
    EXPECT_TRUE(Rec.Body.empty());
}

TEST_F(NginxTest, RedirectIsReportedWhenNotFollowed) {
    Cli.Request.Url = Nginx().Url("/r5");
    Cli.Request.FollowRelocation = false;
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 302);
    EXPECT_EQ(Rec.Header("Location:"), "Location: /clouds.png");
    EXPECT_EQ(Rec.Header("X-Hop:"), "X-Hop: 5");
}

TEST_F(NginxTest, ErrorStatusesAreAnswersNotTransportErrors) {
    for (auto [path, status] : {std::pair{"/missing.png", 404}, std::pair{"/fail", 500}}) {
        THttpCli cli;
        TRecorder rec;
        rec.Attach(cli);
        cli.Request.Url = Nginx().Url(path);
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli));
        EXPECT_EQ(rec.Error, 0) << path;
        EXPECT_EQ(rec.Status, status) << path;
        EXPECT_EQ(rec.Doc.Status, status) << path;
        EXPECT_EQ(rec.Events, FullOrder()) << path;
    }
}

TEST_F(NginxTest, SinkLimitEndsTheTransferWithItsOwnCode) {
    const std::string file = Tmp.str("body.dat");
    SinkInto(file, 1000);
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, HttpErrBodyTooLarge);
    EXPECT_LE(ReadWholeFile(file).size(), 1000u);
    EXPECT_EQ(Rec.Events.back(), "done");
}

TEST_F(NginxTest, AbortFromADataCallbackEndsTheRequestOnce) {
    Cli.OnDocData = [this, data = Cli.OnDocData](const char* d, std::size_t n, std::int64_t r) {
        data(d, n, r);
        Cli.Abort();
    };
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, HttpErrAborted);
    EXPECT_EQ(Rec.Dones, 1);
    EXPECT_EQ(Rec.Events, FullOrder());
    EXPECT_LT(Rec.Body.size(), Picture.size());
}

TEST_F(NginxTest, NextRequestCanStartFromRequestDone) {
    std::vector<int> statuses;
    Cli.Request.Url = Nginx().Url("/missing.png");
    Cli.OnRequestDone = [this, &statuses](int error, int status) {
        EXPECT_EQ(error, 0);
        statuses.push_back(status);
        if (statuses.size() == 1) {
            Cli.Request.Url = Nginx().Url("/clouds.png");
            EXPECT_TRUE(Cli.GetAsync());
        }
    };
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(statuses, (std::vector<int>{404, 200}));
    // The second document carries nothing over from the first.
    EXPECT_EQ(Rec.Doc.Status, 200);
    EXPECT_EQ(Rec.DocBegins, 2);
    EXPECT_EQ(Rec.Doc.ContentType, "image/png");
    EXPECT_EQ(Rec.LastReceived, std::int64_t(Picture.size()));
}

TEST_F(NginxTest, ProxyFromTheEnvironmentIsIgnored) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(PickFreePort());
    setenv("http_proxy", dead.c_str(), 1);
    setenv("ALL_PROXY", dead.c_str(), 1);
    ASSERT_TRUE(Cli.GetAsync());
    bool finished = RunToEnd(Cli);
    unsetenv("http_proxy");
    unsetenv("ALL_PROXY");
    ASSERT_TRUE(finished);
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
}

} // namespace
} // namespace nimbora::test
