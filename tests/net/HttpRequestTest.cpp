#include "net/HttpCli.h"

#include <cmath>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(HttpCli, RefusesToStartUnsafeOrUnusableRequests) {
    struct Case {
        const char* what;
        void (*change)(THttpRequest&);
    } cases[] = {
        {"empty address", [](THttpRequest& r) { r.Url = ""; }},
        {"file scheme", [](THttpRequest& r) { r.Url = "file:///etc/passwd"; }},
        {"ftp scheme", [](THttpRequest& r) { r.Url = "ftp://127.0.0.1/x"; }},
        {"not an address", [](THttpRequest& r) { r.Url = "clouds jpg"; }},
        {"line break in address", [](THttpRequest& r) { r.Url = "http://127.0.0.1/\r\nX: y"; }},
        {"line break in a field", [](THttpRequest& r) { r.Agent = "a\r\nX-Evil: 1"; }},
        {"bare LF in a field", [](THttpRequest& r) { r.Reference = "a\nX-Evil: 1"; }},
        {"proxy port not a number",
         [](THttpRequest& r) {
             r.Proxy.Host = "127.0.0.1";
             r.Proxy.Port = "80x";
         }},
        {"proxy port out of range",
         [](THttpRequest& r) {
             r.Proxy.Host = "127.0.0.1";
             r.Proxy.Port = "70000";
         }},
        {"line break in proxy password",
         [](THttpRequest& r) {
             r.Proxy.Host = "127.0.0.1";
             r.Proxy.Port = "8080";
             r.Proxy.Username = "u";
             r.Proxy.Password = "p\r\nX: y";
         }},
    };
    for (const auto& c : cases) {
        THttpCli cli;
        cli.Request.Url = "http://127.0.0.1:9/";
        c.change(cli.Request);
        bool called = false;
        cli.OnRequestDone = [&](int, int) { called = true; };
        EXPECT_FALSE(cli.GetAsync()) << c.what;
        EXPECT_FALSE(cli.Busy()) << c.what;
        EXPECT_FALSE(cli.Step(0));
        EXPECT_FALSE(called) << c.what;
    }
}

TEST(HttpCli, RefusesAnAddedHeaderLineWithALineBreak) {
    THttpCli cli;
    cli.Request.Url = "http://127.0.0.1:9/";
    cli.OnBeforeHeaderSend = [](std::vector<std::string>& lines) {
        lines.push_back("X-A: 1\r\nX-B: 2");
    };
    EXPECT_FALSE(cli.GetAsync());
}

TEST(HttpCli, NoSinkWhenTheBodyFileCannotBeCreated) {
    THttpCli cli;
    EXPECT_FALSE(cli.HasBodySink());
    EXPECT_FALSE(cli.CloseBodySink());
    EXPECT_FALSE(cli.CreateBodyFile("/nonexistent-folder/x.dat"));
    EXPECT_FALSE(cli.HasBodySink());
}

} // namespace
} // namespace nimbora
