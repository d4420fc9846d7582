// The client against peers that answer badly, slowly or not at all.
#include "Recorder.h"
#include "support/NetHarness.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

using Connection = ScriptedServer::Connection;
using Clock = std::chrono::steady_clock;

// Answers every request with `reply` and then closes.
ScriptedServer::Behaviour Reply(std::string reply) {
    return [reply](Connection& c) {
        c.ReadRequest();
        c.Send(reply);
    };
}

class ScriptedPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Rec.Attach(Cli);
        Cli.Request.Version = THttpVersion::Http11;
        // Short limits so the slow cases end quickly.
        Cli.Request.Timeouts.LowSpeedBytes = 64;
        Cli.Request.Timeouts.LowSpeedSeconds = 1;
        Cli.Request.Timeouts.ConnectMs = 2000;
    }
    void Run(std::vector<ScriptedServer::Behaviour> behaviours, int timeoutMs = 10000) {
        ASSERT_TRUE(Server.Start(std::move(behaviours)));
        Cli.Request.Url = Server.Url("/clouds.png");
        ASSERT_TRUE(Cli.GetAsync());
        ASSERT_TRUE(RunToEnd(Cli, timeoutMs));
    }
    int ElapsedMs(Clock::time_point since) const {
        return int(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
    }

    ScriptedServer Server;
    THttpCli Cli;
    TRecorder Rec;
};

TEST_F(ScriptedPeerTest, RequestCarriesTheFieldsAsHeaderLines) {
    THttpRequest& r = Cli.Request;
    r.Accept = "image/png, image/jpeg";
    r.AcceptLanguage = "en";
    r.Agent = "Nimbora-Test";
    r.Reference = "http://example.invalid/ref";
    r.From = "Nimbora";
    r.Connection = "close";
    r.IfModifiedSince = 44259.21258101852;
    Cli.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("Accept-Encoding: gzip");
    };
    Run({Reply("HTTP/1.1 204 No Content\r\n\r\n")});
    ASSERT_EQ(Server.Requests().size(), 1u);
    const std::string req = Server.Requests()[0];
    for (const char* line :
         {"GET /clouds.png HTTP/1.1\r\n", "\r\nAccept: image/png, image/jpeg\r\n",
          "\r\nAccept-Language: en\r\n", "\r\nUser-Agent: Nimbora-Test\r\n",
          "\r\nReferer: http://example.invalid/ref\r\n", "\r\nFrom: Nimbora\r\n",
          "\r\nConnection: close\r\n", "\r\nIf-Modified-Since: Thu, 04 Mar 2021 05:06:07 GMT\r\n",
          "\r\nAccept-Encoding: gzip\r\n"})
        EXPECT_NE(req.find(line), std::string::npos) << line << "\nin\n" << req;
    EXPECT_EQ(Rec.Status, 204);
}

TEST_F(ScriptedPeerTest, DefaultsSendHttp10AndNoOptionalLines) {
    Cli.Request = {};
    Cli.Request.Timeouts.ConnectMs = 2000;
    Run({Reply("HTTP/1.0 204 No Content\r\n\r\n")});
    ASSERT_EQ(Server.Requests().size(), 1u);
    const std::string req = Server.Requests()[0];
    EXPECT_EQ(req.rfind("GET /clouds.png HTTP/1.0\r\n", 0), 0u) << req;
    for (const char* name :
         {"If-Modified-Since:", "Accept-Encoding:", "Referer:", "From:", "User-Agent:", "Proxy-"})
        EXPECT_EQ(req.find(name), std::string::npos) << name << "\nin\n" << req;
}

TEST_F(ScriptedPeerTest, BodyWithoutLengthEndsWithTheConnection) {
    const std::string body(30000, 'b');
    Run({Reply("HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n" + body)});
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_EQ(Rec.Doc.ContentLength, -1);
    EXPECT_EQ(Rec.Body, body);
    EXPECT_EQ(Rec.Events, FullOrder());
}

TEST_F(ScriptedPeerTest, BodyCutShortIsATransportError) {
    // Announced more than sent, the peer closing early or mid-body.
    struct Case {
        std::size_t announced, sent;
    } cases[] = {{1000, 10}, {100000, 50000}, {10, 0}};
    for (const auto& c : cases) {
        ScriptedServer server;
        THttpCli cli;
        TRecorder rec;
        rec.Attach(cli);
        ASSERT_TRUE(server.Start(
            {Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(c.announced) +
                   "\r\n\r\n" + std::string(c.sent, 'x'))}));
        cli.Request.Url = server.Url("/clouds.png");
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli));
        EXPECT_EQ(rec.Error, 18) << c.announced; // CURLE_PARTIAL_FILE
        EXPECT_EQ(rec.Status, 200);
        EXPECT_EQ(rec.Doc.ContentLength, std::int64_t(c.announced));
        EXPECT_EQ(rec.Body.size(), c.sent);
        // Whatever broke, a begun document still ends before the request is done.
        EXPECT_EQ(rec.Events.back(), "done");
        EXPECT_EQ(rec.Events[rec.Events.size() - 3], "end");
    }
}

TEST_F(ScriptedPeerTest, BodyLongerThanAnnouncedIsCutToTheAnnouncedLength) {
    Run({Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n0123456789")});
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Body, "01234");
}

TEST_F(ScriptedPeerTest, InterimAnswerIsNotReported) {
    Run({Reply("HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
               "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Type: image/jpeg\r\n"
               "X-Folded: a\r\n  b\r\n\r\nabc")});
    EXPECT_EQ(Rec.DocBegins, 1);
    EXPECT_EQ(Rec.Doc.Status, 200);
    EXPECT_EQ(Rec.Doc.HeaderLines,
              (std::vector<std::string>{"Content-Length: 3", "Content-Type: image/jpeg",
                                        "X-Folded: a b"}));
    EXPECT_EQ(Rec.Body, "abc");
}

TEST_F(ScriptedPeerTest, SilentPeerTimesOut) {
    auto start = Clock::now();
    Run({[](Connection& c) {
        c.ReadRequest();
        c.Pause(20000);
    }});
    EXPECT_EQ(Rec.Error, 28); // CURLE_OPERATION_TIMEDOUT
    EXPECT_LT(ElapsedMs(start), 5000);
    // Connected, never answered, closed.
    EXPECT_EQ(Rec.Events, (std::vector<std::string>{"connected", "closed", "done"}));
}

TEST_F(ScriptedPeerTest, TricklingPeerTimesOut) {
    auto start = Clock::now();
    Run({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
        while (c.Send("x") && c.Pause(100)) {
        }
    }});
    EXPECT_EQ(Rec.Error, 28);
    EXPECT_LT(ElapsedMs(start), 5000);
    EXPECT_GT(Rec.Body.size(), 0u);
    EXPECT_EQ(Rec.Events, FullOrder());
}

TEST_F(ScriptedPeerTest, TotalTimeLimitEndsAnEndlessButBriskBody) {
    Cli.Request.Timeouts.TotalSeconds = 1;
    auto start = Clock::now();
    Run({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.0 200 OK\r\n\r\n")) return;
        while (c.Send(std::string(1000, 'x')) && c.Pause(5)) {
        }
    }});
    EXPECT_EQ(Rec.Error, 28);
    EXPECT_LT(ElapsedMs(start), 4000);
}

TEST(ScriptedPeerLimitTest, BodyStopsAtTheLimitWithOrWithoutASink) {
    constexpr std::int64_t Limit = 65536;
    // A body without length of `size` bytes, or an endless one (-1).
    const auto body = [](std::int64_t size) -> ScriptedServer::Behaviour {
        return [size](Connection& c) {
            c.ReadRequest();
            if (!c.Send("HTTP/1.0 200 OK\r\n\r\n")) return;
            if (size >= 0) {
                c.Send(std::string(std::size_t(size), 'x'));
                return;
            }
            while (c.Send(std::string(4096, 'x'))) {
            }
        };
    };
    struct Case {
        const char* name;
        std::int64_t size;
        bool sink; // the limit is the sink's; otherwise the request's, with nothing written
        int error;
    };
    const Case cases[] = {
        {"endless into a sink", -1, true, HttpErrBodyTooLarge},
        {"endless, not written", -1, false, HttpErrBodyTooLarge},
        {"exactly the limit", Limit, false, 0},
        {"one byte more", Limit + 1, false, HttpErrBodyTooLarge},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        THttpCli cli;
        TRecorder rec;
        rec.Attach(cli);
        TempDir tmp;
        const std::string file = tmp.str("body.dat");
        if (c.sink) {
            cli.OnDocBegin = [&cli, &file](const THttpDocInfo&) {
                EXPECT_TRUE(cli.CreateBodyFile(file, Limit));
            };
            cli.OnDocEnd = [&cli] { cli.CloseBodySink(); };
        } else {
            cli.Request.MaxBodyBytes = Limit;
        }
        ASSERT_TRUE(server.Start({body(c.size)}));
        cli.Request.Url = server.Url("/clouds.png");
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli)) << c.name;
        EXPECT_EQ(rec.Error, c.error) << c.name;
        if (c.sink) {
            EXPECT_LE(ReadWholeFile(file).size(), std::size_t(Limit)) << c.name;
        } else {
            EXPECT_LE(rec.LastReceived, Limit) << c.name;
        }
        if (c.error == 0) {
            EXPECT_EQ(rec.LastReceived, Limit) << c.name;
        }
    }
}

TEST_F(ScriptedPeerTest, OversizedHeaderBlockIsRefused) {
    Run({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\n")) return;
        std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
        for (int i = 0; i < 2000 && c.Send(line); ++i) {
        }
    }});
    EXPECT_EQ(Rec.Error, HttpErrBadReply);
    EXPECT_EQ(Rec.DocBegins, 0);
}

TEST_F(ScriptedPeerTest, RedirectToAnotherSchemeIsNotFollowed) {
    Run({Reply("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n")});
    EXPECT_EQ(Rec.Error, 1); // CURLE_UNSUPPORTED_PROTOCOL
    EXPECT_TRUE(Rec.Body.empty());
}

TEST_F(ScriptedPeerTest, AbortWhileDataTricklesEndsAtOnce) {
    ASSERT_TRUE(Server.Start({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
        while (c.Send(std::string(100, 'x')) && c.Pause(20)) {
        }
    }}));
    Cli.Request.Url = Server.Url("/clouds.png");
    ASSERT_TRUE(Cli.GetAsync());
    for (int i = 0; i < 500 && Rec.Body.empty(); ++i)
        Cli.Step(10);
    ASSERT_FALSE(Rec.Body.empty());
    Cli.Abort();
    EXPECT_FALSE(Cli.Busy());
    EXPECT_EQ(Rec.Error, HttpErrAborted);
    EXPECT_EQ(Rec.Events, FullOrder());
    // Nothing more arrives after the abort.
    Cli.Step(50);
    EXPECT_EQ(Rec.Dones, 1);
}

TEST_F(ScriptedPeerTest, ClientDestroyedMidTransferReportsNothingMore) {
    ASSERT_TRUE(Server.Start({[](Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
        while (c.Send(std::string(100, 'x')) && c.Pause(20)) {
        }
    }}));
    TRecorder rec;
    {
        THttpCli cli;
        rec.Attach(cli);
        cli.Request.Url = Server.Url("/clouds.png");
        ASSERT_TRUE(cli.GetAsync());
        for (int i = 0; i < 500 && rec.Body.empty(); ++i)
            cli.Step(10);
        ASSERT_FALSE(rec.Body.empty());
    }
    EXPECT_EQ(rec.Dones, 0);
    EXPECT_EQ(rec.Events.back(), "data");
}

TEST_F(ScriptedPeerTest, RefusedConnectionReportsOnlyTheEnd) {
    Cli.Request.Url = "http://127.0.0.1:" + std::to_string(PickFreePort()) + "/";
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 7);
    EXPECT_EQ(Rec.Status, 0);
    EXPECT_EQ(Rec.Events, (std::vector<std::string>{"closed", "done"}));
}

} // namespace
} // namespace nimbora::test
