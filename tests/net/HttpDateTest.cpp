#include "net/HttpCli.h"

#include <cmath>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(FormatHttpDate, WritesRfc1123InEnglishWhateverTheLocale) {
    struct Case {
        double dateTime;
        const char* text;
    } cases[] = {
        {34644.367789351854, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {36585.99998842592, "Tue, 29 Feb 2000 23:59:59 GMT"},
        {44259.21258101852, "Thu, 04 Mar 2021 05:06:07 GMT"},
        {25569, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {2, "Mon, 01 Jan 1900 00:00:00 GMT"},
        {2958465.999988426, "Fri, 31 Dec 9999 23:59:59 GMT"},
        // Half a second rounds to the nearer whole second.
        {25569 + 0.5 / 86400 + 1e-9, "Thu, 01 Jan 1970 00:00:01 GMT"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatHttpDate(c.dateTime), c.text) << c.dateTime;
}

TEST(FormatHttpDate, RefusesValuesThatAreNoDate) {
    for (double v : {0.0, -1.0, 1.0, 2958466.0, 1e300, std::nan(""), HUGE_VAL})
        EXPECT_EQ(FormatHttpDate(v), "") << v;
}

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
