#include "weather/ThSrvc.h"

#include "support/NetHarness.h"
#include "support/TempDir.h"
#include "weather/WeatherTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

using test::TempDir;

const std::string Identity = "[Service]\nProgram=Nimbora\n[Version]\nCode=033000\n";

TCatalogue ReadText(const TempDir& dir, const std::string& text) {
    const std::string path = dir.str("catalogue.dat");
    EXPECT_TRUE(test::WriteWholeFile(path, text));
    return ReadCatalogue(path);
}

// The documented sample must stay what the reader understands.
TEST(CatalogueTest, ReadsTheDocumentedSample) {
    const TCatalogue c = ReadCatalogue(NIMBORA_SOURCE_DIR "/docs/sample-catalogue.ini");
    ASSERT_TRUE(c.IdentityOk);
    EXPECT_TRUE(c.HasOffer);
    EXPECT_EQ(c.UpdateUrl, "https://example.org/nimbora/download");
    EXPECT_NE(c.OfferText.find("3.3.1"), std::string::npos);
    EXPECT_NE(c.OfferText.find("033100"), std::string::npos);
    EXPECT_EQ(c.HomeUrl, "https://example.org/nimbora/");
    EXPECT_EQ(c.HomeContact, "mailto:support@example.org");
    EXPECT_EQ(c.ProdUrl, "https://example.org/");
    EXPECT_EQ(c.PopMsg, "The catalogue service moves to a new address next month.");
    EXPECT_EQ(c.PopUrl, "https://example.org/nimbora/news");
    ASSERT_EQ(c.Servers.size(), 3u);
    EXPECT_EQ(c.Servers[0].Url, "https://clouds.matteason.co.uk/images/2048x1024/clouds.jpg");
    EXPECT_EQ(c.Servers[0].Filter, 190);
    EXPECT_EQ(c.Servers[0].Credit, "Contains modified EUMETSAT data");
    EXPECT_EQ(c.Servers[1].Filter, 0x28);
    EXPECT_EQ(c.Servers[2].Credit, "Example M\xE9t\xE9o"); // 8-bit text
    ASSERT_EQ(c.Links.size(), 2u);
    EXPECT_EQ(c.Links[0].Caption, "Weather radar");
    EXPECT_EQ(c.Links[0].Url, "https://example.org/radar");
    EXPECT_EQ(c.Links[0].Icon, 0);
    EXPECT_EQ(c.Links[1].Section, "But2");
    EXPECT_EQ(c.Links[1].Icon, 1);
}

TEST(CatalogueTest, IdentityDecidesWhetherAnythingIsRead) {
    TempDir dir;
    const std::string servers = "[MapDef]\nCount=1\n[Map1]\nUrl=http://a/c.jpg\n";
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"matching", Identity + servers, true},
        {"section names in other case", "[SERVICE]\nprogram=Nimbora\n" + servers, true},
        {"value in other case", "[Service]\nProgram=nimbora\n" + servers, false},
        {"other program", "[Service]\nProgram=Other\n" + servers, false},
        {"no service section", servers, false},
        {"empty file", "", false},
        {"not an ini file", std::string("\x89PNG\r\n\x1a\n\0\0garbage", 18), false},
    };
    for (const Case& c : cases) {
        const TCatalogue catalogue = ReadText(dir, c.text);
        EXPECT_EQ(catalogue.IdentityOk, c.ok) << c.name;
        EXPECT_EQ(catalogue.Servers.size(), c.ok ? 1u : 0u) << c.name;
    }
    EXPECT_FALSE(ReadCatalogue(dir.str("missing.dat")).IdentityOk);
}

std::string Utf16Le(const std::string& ascii8) {
    // Latin-1 text widened: each byte is its own code point.
    std::string out = "\xFF\xFE";
    for (char c : ascii8) {
        out += c;
        out += '\0';
    }
    return out;
}

// Catalogues written by other tools: a byte-order mark, UTF-16, or the old code page.
TEST(CatalogueTest, ReadsEveryEncodingACatalogueMayCome) {
    TempDir dir;
    const std::string body = "[Service]\r\nProgram=Nimbora\r\n[MapDef]\r\nCount=1\r\n[Map1]\r\n"
                             "Url=http://a/c.jpg\r\nCredit=M\xE9t\xE9o France\r\n[ButDef]\r\n"
                             "Count=1\r\n[But1]\r\nCaption=Pr\xE9visions\r\nUrl=http://a/\r\n";
    std::string utf8 = body;
    for (std::size_t at; (at = utf8.find('\xE9')) != std::string::npos;)
        utf8.replace(at, 1, "\xC3\xA9");
    const std::string utf16be = [&] {
        std::string out = "\xFE\xFF";
        for (char c : body) {
            out += '\0';
            out += c;
        }
        return out;
    }();
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"UTF-8", utf8},       {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + utf8},
        {"Latin-1", body},     {"UTF-16LE", Utf16Le(body)},
        {"UTF-16BE", utf16be},
    };
    for (const Case& c : cases) {
        const TCatalogue catalogue = ReadText(dir, c.text);
        ASSERT_TRUE(catalogue.IdentityOk) << c.name;
        ASSERT_EQ(catalogue.Servers.size(), 1u) << c.name;
        EXPECT_EQ(catalogue.Servers[0].Url, "http://a/c.jpg") << c.name;
        EXPECT_EQ(catalogue.Servers[0].Credit, "M\xE9t\xE9o France") << c.name; // 8-bit text
        ASSERT_EQ(catalogue.Links.size(), 1u) << c.name;
        EXPECT_EQ(catalogue.Links[0].Caption, "Pr\xC3\xA9visions") << c.name; // UTF-8
    }
}

TEST(CatalogueTest, ServerListRules) {
    TempDir dir;
    // Missing sections close up; the filter keeps its low 8 bits.
    TCatalogue c = ReadText(dir, Identity + "[MapDef]\nCount=3\n[Map1]\nUrl=u1\nFilter=300\n"
                                            "[Map3]\nUrl=u3\nFilter=0x10\nCredit=c3\n");
    EXPECT_FALSE(c.HasOffer);
    EXPECT_EQ(c.ServerCount, 3);
    ASSERT_EQ(c.Servers.size(), 2u);
    EXPECT_EQ(c.Servers[0].Url, "u1");
    EXPECT_EQ(c.Servers[0].Filter, 44);
    EXPECT_EQ(c.Servers[1].Url, "u3");
    EXPECT_EQ(c.Servers[1].Filter, 16);
    EXPECT_EQ(c.Servers[1].Credit, "c3");

    std::string twelve = Identity + "[MapDef]\nCount=12\n";
    for (int i = 1; i <= 12; ++i)
        twelve += "[Map" + std::to_string(i) + "]\nUrl=u" + std::to_string(i) + "\n";
    c = ReadText(dir, twelve);
    ASSERT_EQ(c.Servers.size(), 12u);
    EXPECT_EQ(c.Servers[11].Url, "u12");

    for (const char* count : {"0", "-4", "many", ""}) {
        c = ReadText(dir, Identity + "[MapDef]\nCount=" + count + "\n[Map1]\nUrl=u1\n");
        EXPECT_TRUE(c.Servers.empty()) << count;
        EXPECT_LE(c.ServerCount, 0) << count;
    }
    // A huge count only costs the sections that are looked at.
    c = ReadText(dir, Identity + "[MapDef]\nCount=2147483647\n[Map2]\nUrl=u2\n");
    ASSERT_EQ(c.Servers.size(), 1u);
    EXPECT_EQ(c.Servers[0].Url, "u2");
}

TEST(CatalogueTest, VersionOfferAndLinkItems) {
    TempDir dir;
    // No version code at all is an offer too, with empty texts.
    TCatalogue c = ReadText(dir, "[Service]\nProgram=Nimbora\n[ButDef]\nCount=3\n"
                                 "[But1]\nCaption=One\nUrl=http://one\nIcon=2\n"
                                 "[But3]\nCaption=Three\n");
    EXPECT_TRUE(c.HasOffer);
    EXPECT_EQ(c.UpdateUrl, "");
    ASSERT_EQ(c.Links.size(), 2u);
    EXPECT_EQ(c.Links[0].Section, "But1");
    EXPECT_EQ(c.Links[0].Icon, 2);
    EXPECT_EQ(c.Links[1].Section, "But3");
    EXPECT_EQ(c.Links[1].Url, "");

    // Empty links keep the program's own; notices are taken as they are.
    c = ReadText(dir, Identity + "[Info]\nLink=\nContact=mailto:x@y\nNotice=\n");
    TService service{"home", "contact", "maker", "old notice", "old link", "", ""};
    ApplyServiceLinks(c, service);
    EXPECT_EQ(service.HomeUrl, "home");
    EXPECT_EQ(service.HomeContact, "mailto:x@y");
    EXPECT_EQ(service.ProdUrl, "maker");
    EXPECT_EQ(service.PopMsg, "");
    EXPECT_EQ(service.PopUrl, "");
}

TEST(CatalogueTest, HostileTextCannotHangOrMislead) {
    TempDir dir;
    // Very long lines, binary junk and NUL bytes around the sections that matter.
    std::string text =
        Identity + "[" + std::string(200000, 'M') + "]\n" + "Junk=" + std::string(300000, '\x01') +
        "\n" + std::string("\0\0\xff\xfe[Map1\n=\n\x89PNG\r\n", 18) +
        "[MapDef]\nCount=0x7FFFFFFF\n" + "[Map1]\nUrl=" + std::string(100000, 'u') +
        "\nFilter=99999999999999999999\n" + "[Map2]\nUrl=u2\nCredit=\xe2\x98\x81 cloud\n" +
        "[ButDef]\nCount=1000000000\n[But7]\nCaption=Seven\nIcon=-5\n";
    QElapsedTimer clock;
    clock.start();
    const TCatalogue c = ReadText(dir, text);
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_TRUE(c.IdentityOk);
    ASSERT_EQ(c.Servers.size(), 2u);
    EXPECT_EQ(c.Servers[0].Url, std::string(2047, 'u')); // values are cut, not refused
    EXPECT_EQ(c.Servers[1].Url, "u2");
    EXPECT_EQ(c.Servers[1].Credit, "? cloud"); // no 8-bit code for the cloud sign
    ASSERT_EQ(c.Links.size(), 1u);
    EXPECT_EQ(c.Links[0].Section, "But7");
    EXPECT_EQ(c.Links[0].Icon, -5); // outside the icon list: the item gets no icon
}

// The notice day: once per day, and a new day shows them again.
TEST(CatalogueTest, NoticesOncePerDay) {
    TService service;
    EXPECT_TRUE(TakeNoticeDay(service, "08/12/2026"));
    EXPECT_EQ(service.DateShown, "08/12/2026");
    EXPECT_FALSE(TakeNoticeDay(service, "08/12/2026"));
    EXPECT_TRUE(TakeNoticeDay(service, "09/12/2026"));
}

// The day kept in the data folder holds across starts; a folder that cannot take it costs
// only a repeat.
TEST(CatalogueTest, NoticeDayIsRememberedInTheDataFolder) {
    TempDir dir;
    const std::string folder = dir.str() + "/";
    TService first, second, third;
    EXPECT_TRUE(TakeNoticeDay(first, folder, "08/12/2026"));
    EXPECT_FALSE(TakeNoticeDay(second, folder, "08/12/2026"));
    EXPECT_TRUE(TakeNoticeDay(third, folder, "09/12/2026"));
    const std::string missing = folder + "gone/";
    TService elsewhere;
    EXPECT_TRUE(TakeNoticeDay(elsewhere, missing, "08/12/2026"));
    EXPECT_TRUE(TakeNoticeDay(elsewhere, missing, "08/12/2026"));
}

TEST(CatalogueTest, RequestAddressCarriesTheQuery) {
    EXPECT_EQ(CatalogueRequestUrl("http://h/c.ini"),
              "http://h/c.ini?prog=Nimbora&ver=033000&lang=en");
    EXPECT_EQ(CatalogueRequestUrl("http://h/c?k=1"),
              "http://h/c?k=1&prog=Nimbora&ver=033000&lang=en");
    EXPECT_EQ(CatalogueRequestUrl(""), "");
}

// ---- the catalogue thread against real servers ----

class CatalogueThreadTest : public test::NginxSuite<CatalogueThreadTest> {
public:
    static std::string ServeFiles(const std::string& r) {
        test::WriteWholeFile(r + "/catalogue.ini",
                             test::ReadWholeFile(NIMBORA_SOURCE_DIR "/docs/sample-catalogue.ini"));
        test::WriteWholeFile(r + "/empty.ini", "");
        test::WriteWholeFile(r + "/huge.ini", Identity + std::string(2 << 20, ';'));
        return "location = /moved { return 300 \"look elsewhere\"; }\n"
               "location = /fail { return 500; }\n";
    }
};

TEST_F(CatalogueThreadTest, FetchEndsWithTheCatalogueMessage) {
    struct Case {
        const char* name;
        const char* path;
        int error;
    };
    const Case cases[] = {
        {"catalogue", "/catalogue.ini", ErrNone},
        {"not found", "/missing.ini", ErrStatus},
        {"server error", "/fail", ErrStatus},
        {"empty body", "/empty.ini", ErrNoBody},
        {"redirect not followed", "/moved", ErrNoBody},
        {"larger than any catalogue", "/huge.ini", ErrTransport},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        const std::string file = MakeTempFileName(tmp.str() + "/");
        test::TCatalogueRun run(CatalogueRequestUrl(Nginx().Url(c.path)), file);
        run.Start();
        ASSERT_TRUE(run.WaitForEnd()) << c.name;
        EXPECT_EQ(run.Thread().ThError(), c.error) << c.name;
        EXPECT_EQ(run.CatalogueWParam(), c.error == ErrNone ? WpCatalogueOk : WpCatalogueFailed)
            << c.name;
        if (c.error == ErrNone) {
            // Kept for the window to read.
            EXPECT_EQ(test::FilesIn(tmp.str()).size(), 1u) << c.name;
            EXPECT_EQ(ReadCatalogue(file).Servers.size(), 3u) << c.name;
        } else {
            EXPECT_TRUE(test::FilesIn(tmp.str()).empty()) << c.name;
        }
    }
    const std::string log = Nginx().AccessLog();
    EXPECT_NE(log.find("GET /catalogue.ini?prog=Nimbora&ver=033000&lang=en HTTP/1.0"),
              std::string::npos)
        << log;
}

TEST_F(CatalogueThreadTest, EmptyAddressEndsAtOnceWithoutTraffic) {
    const std::string before = Nginx().AccessLog();
    TempDir tmp;
    const std::string file = MakeTempFileName(tmp.str() + "/");
    test::TCatalogueRun run(CatalogueRequestUrl(""), file);
    QElapsedTimer clock;
    clock.start();
    run.Start();
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(run.Thread().ThError(), ErrNoBody);
    EXPECT_EQ(run.CatalogueWParam(), 0);
    EXPECT_TRUE(test::FilesIn(tmp.str()).empty());
    EXPECT_EQ(Nginx().AccessLog(), before);
}

TEST(CatalogueThreadScriptedTest, SlowCatalogueIsStoppedAtOnce) {
    test::ScriptedServer server;
    ASSERT_TRUE(server.Start({[](test::ScriptedServer::Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n[Service]\n")) return;
        while (c.Send(";\n") && c.Pause(20)) {
        }
    }}));
    TempDir tmp;
    const std::string file = MakeTempFileName(tmp.str() + "/");
    test::TCatalogueRun run(server.Url("/catalogue.ini"), file);
    run.Start();
    // Wait until the body is arriving.
    QElapsedTimer clock;
    clock.start();
    while (test::ReadWholeFile(file).empty() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_FALSE(test::ReadWholeFile(file).empty());
    EXPECT_LT(run.Cancel(), 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(run.Thread().ThError(), ErrCancelled);
    EXPECT_EQ(run.CatalogueWParam(), 0);
    EXPECT_TRUE(test::FilesIn(tmp.str()).empty());
}

} // namespace
} // namespace nimbora
