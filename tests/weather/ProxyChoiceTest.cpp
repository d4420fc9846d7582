#include "net/Proxy.h"
#include "net/HttpCli.h"
#include "weather/WorkerThread.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

// The proxy record is read once; each transfer's address decides which proxy it goes through.
TEST(ProxyChoice, TheAddressOfEachTransferDecides) {
    TSystemProxy system;
    system.Http = {"hproxy", "80", false};
    system.Https = {"sproxy", "443", true};
    system.NoProxy = ".lan";

    TProxy detected; // as the settings reader leaves it with Autodetect on
    detected.Enabled = true;
    detected.Address = "hproxy";
    detected.Port = "80";
    detected.System = system;

    TProxy byHand;
    byHand.Autodetect = false;
    byHand.Enabled = true;
    byHand.Address = "own";
    byHand.Port = "8080";
    byHand.Authenticate = true;
    byHand.Username = "u";
    byHand.Password = "p";

    struct Case {
        const char* Name;
        const TProxy& Proxy;
        const char* Url;
        const char* Host;
        const char* Port;
        const char* User;
    };
    const Case cases[] = {
        {"http", detected, "http://example.org/c.jpg", "hproxy", "80", ""},
        {"https", detected, "https://example.org/c.jpg", "https://sproxy", "443", ""},
        {"no_proxy", detected, "https://clouds.lan/c.jpg", "", "", ""},
        {"by hand, https", byHand, "https://example.org/", "own", "8080", "u"},
        {"by hand, no_proxy host", byHand, "http://clouds.lan/", "own", "8080", "u"},
    };
    for (const Case& c : cases) {
        const THttpProxy p = HttpProxyOf(c.Proxy, c.Url);
        EXPECT_EQ(p.Host, c.Host) << c.Name;
        EXPECT_EQ(p.Port, c.Port) << c.Name;
        EXPECT_EQ(p.Username, c.User) << c.Name;
    }
    byHand.Enabled = false;
    EXPECT_EQ(HttpProxyOf(byHand, "http://example.org/").Host, "");
}

} // namespace
} // namespace nimbora
