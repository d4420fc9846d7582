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
        picture_ = RandomBytes(300000, 1);
        WriteWholeFile(r + "/clouds.png", picture_);
        timeval times[2] = {{PictureTime, 0}, {PictureTime, 0}};
        utimes((r + "/clouds.png").c_str(), times);
        WriteWholeFile(r + "/pic.gif", "GIF89a-not-really");
        std::filesystem::create_directories(r + "/gz");
        std::filesystem::create_directories(r + "/chunk");
        gzipped_ = Gzip(RandomBytes(20000, 2));
        WriteWholeFile(r + "/gz/clouds.png", gzipped_);
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
        cli_.Request.Url = Nginx().Url("/clouds.png");
        cli_.Request.Version = THttpVersion::Http11;
        rec_.Attach(cli_);
    }
    // Body straight into a file, as the download thread does it.
    void SinkInto(const std::string& path, std::int64_t limit = HttpDefaultBodyLimit) {
        auto begin = cli_.OnDocBegin;
        cli_.OnDocBegin = [this, begin, path, limit](const THttpDocInfo& doc) {
            begin(doc);
            EXPECT_TRUE(cli_.CreateBodyFile(path, limit));
        };
        auto end = cli_.OnDocEnd;
        cli_.OnDocEnd = [this, end] {
            end();
            EXPECT_TRUE(cli_.CloseBodySink());
        };
    }

    inline static std::string picture_;
    inline static std::string gzipped_;

    THttpCli cli_;
    TRecorder rec_;
    TempDir tmp_;
};

TEST_F(NginxTest, FileArrivesInTheSinkWithCallbacksInOrder) {
    const std::string file = tmp_.str("body.dat");
    ASSERT_TRUE(WriteWholeFile(file, std::string(400000, 'x'))); // longer: must be truncated
    SinkInto(file);
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));

    EXPECT_EQ(rec_.Events, FullOrder());
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_EQ(rec_.Doc.Status, 200);
    EXPECT_EQ(rec_.Doc.ContentLength, std::int64_t(picture_.size()));
    EXPECT_EQ(rec_.Doc.ContentType, "image/png");
    EXPECT_EQ(rec_.Doc.TransferEncoding, "");
    EXPECT_EQ(rec_.Header("Last-Modified:"), "Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_TRUE(rec_.CountsConsistent);
    EXPECT_EQ(rec_.LastReceived, std::int64_t(picture_.size()));
    EXPECT_TRUE(ReadWholeFile(file) == picture_);
    EXPECT_FALSE(cli_.HasBodySink());
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
        EXPECT_EQ(rec.Body.size(), c.body ? picture_.size() : 0u) << c.since;
        if (!c.body) {
            EXPECT_EQ(rec.Events,
                      (std::vector<std::string>{"connected", "begin", "end", "closed", "done"}));
        }
    }
}

TEST_F(NginxTest, GzipCodedBodyArrivesUninflated) {
    cli_.Request.Url = Nginx().Url("/gz/clouds.png");
    cli_.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("Accept-Encoding: gzip");
    };
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Header("Content-Encoding:"), "Content-Encoding: gzip");
    EXPECT_EQ(rec_.Doc.ContentLength, std::int64_t(gzipped_.size()));
    EXPECT_TRUE(rec_.Body == gzipped_);
}

TEST_F(NginxTest, ChunkedAnswerIsDecodedAndReportedAsSuch) {
    cli_.Request.Url = Nginx().Url("/chunk/text.txt");
    cli_.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("Accept-Encoding: gzip");
    };
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_EQ(rec_.Doc.TransferEncoding, "chunked");
    EXPECT_EQ(rec_.Doc.ContentLength, -1);
    ASSERT_GE(rec_.Body.size(), 2u);
    // Chunk framing removed: the body is the bare gzip member.
    EXPECT_EQ(rec_.Body.substr(0, 2), "\x1f\x8b");
    EXPECT_TRUE(rec_.CountsConsistent);
    EXPECT_EQ(rec_.Events, FullOrder());
}

TEST_F(NginxTest, ContentTypeIsReportedAsServed) {
    cli_.Request.Url = Nginx().Url("/pic.gif");
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_EQ(rec_.Doc.ContentType, "image/gif");
}

TEST_F(NginxTest, FiveRedirectsAreFollowedAndOnlyTheFinalAnswerIsReported) {
    cli_.Request.Url = Nginx().Url("/r1");
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_EQ(rec_.DocBegins, 1);
    EXPECT_EQ(rec_.Doc.Status, 200);
    EXPECT_EQ(rec_.Header("X-Hop"), "");
    EXPECT_EQ(rec_.Header("Location"), "");
    EXPECT_EQ(rec_.Header("Last-Modified:"), "Last-Modified: Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_TRUE(rec_.Body == picture_);
    EXPECT_EQ(rec_.Events, FullOrder());
}

TEST_F(NginxTest, SixthRedirectIsATransportError) {
    cli_.Request.Url = Nginx().Url("/r0");
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 47); // CURLE_TOO_MANY_REDIRECTS
    EXPECT_EQ(rec_.Dones, 1);
    EXPECT_TRUE(rec_.Body.empty());
}

TEST_F(NginxTest, RedirectIsReportedWhenNotFollowed) {
    cli_.Request.Url = Nginx().Url("/r5");
    cli_.Request.FollowRelocation = false;
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 302);
    EXPECT_EQ(rec_.Header("Location:"), "Location: /clouds.png");
    EXPECT_EQ(rec_.Header("X-Hop:"), "X-Hop: 5");
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
    const std::string file = tmp_.str("body.dat");
    SinkInto(file, 1000);
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, HttpErrBodyTooLarge);
    EXPECT_LE(ReadWholeFile(file).size(), 1000u);
    EXPECT_EQ(rec_.Events.back(), "done");
}

TEST_F(NginxTest, AbortFromADataCallbackEndsTheRequestOnce) {
    cli_.OnDocData = [this, data = cli_.OnDocData](const char* d, std::size_t n, std::int64_t r) {
        data(d, n, r);
        cli_.Abort();
    };
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, HttpErrAborted);
    EXPECT_EQ(rec_.Dones, 1);
    EXPECT_EQ(rec_.Events, FullOrder());
    EXPECT_LT(rec_.Body.size(), picture_.size());
}

TEST_F(NginxTest, NextRequestCanStartFromRequestDone) {
    std::vector<int> statuses;
    cli_.Request.Url = Nginx().Url("/missing.png");
    cli_.OnRequestDone = [this, &statuses](int error, int status) {
        EXPECT_EQ(error, 0);
        statuses.push_back(status);
        if (statuses.size() == 1) {
            cli_.Request.Url = Nginx().Url("/clouds.png");
            EXPECT_TRUE(cli_.GetAsync());
        }
    };
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(statuses, (std::vector<int>{404, 200}));
    // The second document carries nothing over from the first.
    EXPECT_EQ(rec_.Doc.Status, 200);
    EXPECT_EQ(rec_.DocBegins, 2);
    EXPECT_EQ(rec_.Doc.ContentType, "image/png");
    EXPECT_EQ(rec_.LastReceived, std::int64_t(picture_.size()));
}

TEST_F(NginxTest, ProxyFromTheEnvironmentIsIgnored) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(PickFreePort());
    setenv("http_proxy", dead.c_str(), 1);
    setenv("ALL_PROXY", dead.c_str(), 1);
    ASSERT_TRUE(cli_.GetAsync());
    bool finished = RunToEnd(cli_);
    unsetenv("http_proxy");
    unsetenv("ALL_PROXY");
    ASSERT_TRUE(finished);
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 200);
}

} // namespace
} // namespace nimbora::test
