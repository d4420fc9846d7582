// HTTPS: a certificate the system does not trust ends the transfer as a transport error.
#include "Recorder.h"
#include "support/NetHarness.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

TEST(Https, SelfSignedCertificateIsATransportError) {
    if (FindProgram("/usr/sbin/nginx").empty() && FindProgram("nginx").empty())
        GTEST_SKIP() << "nginx is not installed";
    TempDir dir;
    std::string cert, key;
    if (!MakeSelfSignedCert(dir.str(), &cert, &key))
        GTEST_SKIP() << "openssl cannot make a certificate here";
    ASSERT_TRUE(WriteWholeFile(dir.str("clouds.png"), "png"));
    NginxServer nginx;
    ASSERT_TRUE(nginx.Start(dir.str(), {}, cert, key)) << nginx.ErrorLog();

    THttpCli cli;
    TRecorder rec;
    rec.Attach(cli);
    cli.Request.Url = nginx.Url("/clouds.png");
    cli.Request.Timeouts.ConnectMs = 5000;
    ASSERT_TRUE(cli.GetAsync());
    ASSERT_TRUE(RunToEnd(cli));
    // The TLS handshake ran and the certificate was refused.
    EXPECT_EQ(rec.Error, 60); // CURLE_PEER_FAILED_VERIFICATION
    EXPECT_EQ(rec.DocBegins, 0);
    EXPECT_TRUE(rec.Body.empty());
    EXPECT_EQ(rec.Events.back(), "done");
    // The handshake failed before any request reached the server.
    EXPECT_EQ(nginx.AccessLog().find("GET /clouds.png"), std::string::npos) << nginx.AccessLog();
}

} // namespace
} // namespace nimbora::test
