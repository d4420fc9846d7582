#include "weather/ThSrvc.h"

#include "support/TempDir.h"

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

} // namespace
} // namespace nimbora
