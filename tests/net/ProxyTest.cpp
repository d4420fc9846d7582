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
        ASSERT_TRUE(WriteWholeFile(Root.str("clouds.jpg"), Body));
        ASSERT_TRUE(Nginx.Start(Root.str())) << Nginx.ErrorLog();
        Rec.Attach(Cli);
        Cli.Request.Url = Nginx.Url("/clouds.jpg");
        Cli.Request.Proxy.Host = "127.0.0.1";
    }
    void StartProxy(const std::string& user = {}, const std::string& password = {}) {
        ASSERT_TRUE(Proxy.Start(user, password)) << Proxy.Log();
        Cli.Request.Proxy.Port = std::to_string(Proxy.Port());
    }
    bool ProxyForwarded() const {
        return Proxy.Log().find("GET " + Nginx.Url("/clouds.jpg")) != std::string::npos;
    }

    TempDir Root;
    std::string Body = std::string(50000, 'c') + "\xff\xd9";
    NginxServer Nginx;
    TinyProxyServer Proxy;
    THttpCli Cli;
    TRecorder Rec;
};

TEST_F(ProxyTest, TransferGoesThroughTheProxy) {
    StartProxy();
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 0);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_TRUE(Rec.Body == Body);
    EXPECT_TRUE(ProxyForwarded()) << Proxy.Log();
    EXPECT_EQ(Rec.Events, FullOrder());
}

TEST_F(ProxyTest, NoProxyListInTheEnvironmentDoesNotBypassTheProxy) {
    StartProxy();
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ASSERT_TRUE(Cli.GetAsync());
    bool finished = RunToEnd(Cli);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    ASSERT_TRUE(finished);
    EXPECT_EQ(Rec.Status, 200);
    EXPECT_TRUE(ProxyForwarded()) << Proxy.Log();
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
        cli.Request = Cli.Request;
        cli.Request.Proxy.Username = c.user;
        cli.Request.Proxy.Password = c.password;
        ASSERT_TRUE(cli.GetAsync());
        ASSERT_TRUE(RunToEnd(cli));
        // A refusal by the proxy is an answer, not a broken connection.
        EXPECT_EQ(rec.Error, 0) << c.password;
        EXPECT_THAT(c.statuses, ::testing::Contains(rec.Status)) << c.password;
        EXPECT_EQ(rec.Doc.Status, rec.Status) << c.password;
        EXPECT_EQ(rec.Body == Body, rec.Status == 200) << c.password;
        EXPECT_EQ(rec.Events, FullOrder()) << c.password;
    }
}

TEST_F(ProxyTest, UnreachableProxyIsATransportError) {
    Cli.Request.Proxy.Port = std::to_string(PickFreePort());
    ASSERT_TRUE(Cli.GetAsync());
    ASSERT_TRUE(RunToEnd(Cli));
    EXPECT_EQ(Rec.Error, 7); // CURLE_COULDNT_CONNECT
    EXPECT_EQ(Rec.Events, (std::vector<std::string>{"closed", "done"}));
}

} // namespace
} // namespace nimbora::test
