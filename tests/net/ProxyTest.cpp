// The client through a real proxy, with and without Basic authentication.
#include "Recorder.h"
#include "support/NetHarness.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveNginx() || !HaveTinyproxy()) GTEST_SKIP() << "nginx or tinyproxy is not installed";
        ASSERT_TRUE(WriteWholeFile(root_.str("clouds.jpg"), body_));
        ASSERT_TRUE(nginx_.Start(root_.str())) << nginx_.ErrorLog();
        rec_.Attach(cli_);
        cli_.Request.Url = nginx_.Url("/clouds.jpg");
        cli_.Request.Proxy.Host = "127.0.0.1";
    }
    void StartProxy(const std::string& user = {}, const std::string& password = {}) {
        ASSERT_TRUE(proxy_.Start(user, password)) << proxy_.Log();
        cli_.Request.Proxy.Port = std::to_string(proxy_.Port());
    }
    bool ProxyForwarded() const {
        return proxy_.Log().find("GET " + nginx_.Url("/clouds.jpg")) != std::string::npos;
    }

    TempDir root_;
    std::string body_ = std::string(50000, 'c') + "\xff\xd9";
    NginxServer nginx_;
    TinyProxyServer proxy_;
    THttpCli cli_;
    TRecorder rec_;
};

TEST_F(ProxyTest, TransferGoesThroughTheProxy) {
    StartProxy();
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 0);
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_TRUE(rec_.Body == body_);
    EXPECT_TRUE(ProxyForwarded()) << proxy_.Log();
    EXPECT_EQ(rec_.Events, FullOrder());
}

TEST_F(ProxyTest, NoProxyListInTheEnvironmentDoesNotBypassTheProxy) {
    StartProxy();
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ASSERT_TRUE(cli_.GetAsync());
    bool finished = RunToEnd(cli_);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    ASSERT_TRUE(finished);
    EXPECT_EQ(rec_.Status, 200);
    EXPECT_TRUE(ProxyForwarded()) << proxy_.Log();
}

TEST_F(ProxyTest, BasicAuthenticationAtTheProxy) {
    StartProxy("cloud", "s3cret");
    // tinyproxy 1.11 answers 401 rather than 407 to credentials it does not know.
    struct Case {
        const char* user;
        const char* password;
        std::vector<int> statuses;
    } cases[] = {
        {"cloud", "s3cret", {200}},
        {"cloud", "wrong", {407, 401}},
        {"", "", {407}},
    };
    for (const auto& c : cases) {
        THttpCli cli;
        TRecorder rec;
        rec.Attach(cli);
        cli.Request = cli_.Request;
        cli.Request.Proxy.Username = c.user;
        cli.Request.Proxy.Password = c.password;
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli));
        // A refusal by the proxy is an answer, not a broken connection.
        EXPECT_EQ(rec.Error, 0) << c.password;
        EXPECT_THAT(c.statuses, ::testing::Contains(rec.Status)) << c.password;
        EXPECT_EQ(rec.Doc.Status, rec.Status) << c.password;
        EXPECT_EQ(rec.Body == body_, rec.Status == 200) << c.password;
        EXPECT_EQ(rec.Events, FullOrder()) << c.password;
    }
}

TEST_F(ProxyTest, UnreachableProxyIsATransportError) {
    cli_.Request.Proxy.Port = std::to_string(PickFreePort());
    ASSERT_TRUE(cli_.GetAsync());
    ASSERT_TRUE(RunToEnd(cli_));
    EXPECT_EQ(rec_.Error, 7); // CURLE_COULDNT_CONNECT
    EXPECT_EQ(rec_.Events, (std::vector<std::string>{"closed", "done"}));
}

} // namespace
} // namespace nimbora::test
