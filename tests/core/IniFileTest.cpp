#include "core/IniFile.h"
#include "core/support.h"

#include "core/SupportTestSeam.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
    static TIniFile Make(const std::string& content) { return TIniFile::Parse(content); }
};

TEST_F(IniFileTest, ReadsTextValues) {
    const std::string longValue(3000, 'v');
    const TIniFile ini = Make("orphan=1\n"
                              "[Map]\n"
                              "LastX = 12.5 \n"
                              "Url= http://a/b?c=d \n"
                              "Empty=\n"
                              "Twice=first\n"
                              "Twice=second\n"
                              "no equals sign here\n"
                              "  [ Other ]  \n"
                              "Long=" +
                              longValue +
                              "\n"
                              "After=ok\n"
                              "[MAP]\n"
                              "OnlyLater=x\n"
                              "LastX=99\n");
    struct Case {
        const char* Section;
        const char* Key;
        std::string Expected; // "<default>" when missing
    };
    const Case cases[] = {
        {"Map", "LastX", "12.5"},
        {"map", "lastx", "12.5"}, // names match without regard to case
        {"Map", "Url", "http://a/b?c=d"},
        {"Map", "Empty", ""},
        {"Map", "Twice", "first"},
        {"Map", "Missing", "<default>"},
        {"Map", "OnlyLater", "<default>"}, // a repeated section is not looked at
        {"", "orphan", "<default>"},
        {"Other", "Long", longValue.substr(0, 2047)},
        {"Other", "After", "ok"},
        {"Nowhere", "LastX", "<default>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<default>"), c.Expected)
            << c.Section << "/" << c.Key;
    EXPECT_TRUE(ini.ValueExists("MAP", "empty"));
    EXPECT_FALSE(ini.ValueExists("Map", "OnlyLater"));
    EXPECT_TRUE(ini.SectionExists("other"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Map", "Other"}));
    EXPECT_EQ(ini.ReadSectionKeys("map"),
              (std::vector<std::string>{"LastX", "Url", "Empty", "Twice"}));
}

TEST_F(IniFileTest, CutsLongValuesOnCharacters) {
    // 2046 ASCII characters and then two-byte characters: the cut keeps whole characters.
    const std::string value = std::string(2046, 'a') + "\xC3\xA9\xC3\xA9";
    const TIniFile ini = Make("[S]\nK=" + value + "\n");
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2046, 'a') + "\xC3\xA9");
}

TEST_F(IniFileTest, ReadsCrLfFiles) {
    const TIniFile ini = Make("[Proxy]\r\nAddress=host\r\nPort=3128\r\n[Features]\r\nDayNight=1");
    EXPECT_EQ(ini.ReadString("Proxy", "Address", ""), "host");
    EXPECT_EQ(ini.ReadString("Proxy", "Port", ""), "3128");
    EXPECT_TRUE(ini.ReadBool("Features", "DayNight", false));
}

TEST_F(IniFileTest, EmptyTextReadsDefaults) {
    const TIniFile ini = Make("");
    EXPECT_EQ(ini.ReadString("A", "B", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("A", "B", 7), 7);
    EXPECT_FALSE(ini.SectionExists("A"));
}

TEST_F(IniFileTest, TypedReads) {
    struct Case {
        const char* Text;
        int Integer; // default 7
        bool Bool;   // default true
        int Byte;    // default 9
    };
    const Case cases[] = {
        {"12", 12, true, 12},
        {"-5", -5, true, 251},
        {"+3", 3, true, 3},
        {"0", 0, false, 0},
        {"300", 300, true, 44},
        {"0x1F", 31, true, 31},
        {"0XfF", 255, true, 255},
        {"0x1FF", 511, true, 255},
        {"0xFFFFFFFF", -1, true, 255},
        {"0x100000000", 7, true, 9},
        {"abc", 7, true, 9},
        {"", 7, true, 9},
        {"12abc", 7, true, 9},
        {"1.5", 7, true, 9},
        {"0x", 7, true, 9},
        {"2147483647", 2147483647, true, 255},
        {"-2147483648", -2147483647 - 1, true, 0},
        {"2147483648", 7, true, 9},
        {"99999999999999999999", 7, true, 9},
    };
    for (const Case& c : cases) {
        const TIniFile ini = Make(std::string("[S]\nK=") + c.Text + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", 7), c.Integer) << c.Text;
        EXPECT_EQ(ini.ReadBool("S", "K", true), c.Bool) << c.Text;
        EXPECT_EQ(ini.ReadByte("S", "K", 9), c.Byte) << c.Text;
    }
}

std::string Utf16(const std::u16string& text, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
}

TEST_F(IniFileTest, ReadsEveryEncodingAFileMayCome) {
    struct Case {
        const char* Name;
        std::string Content;
        std::string Value; // of [A] k, as UTF-8
    };
    const std::string meteo = "M\xC3\xA9t\xC3\xA9o France";
    const Case cases[] = {
        {"UTF-8", "[A]\nk=" + meteo + "\n", meteo},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[A]\nk=" + meteo + "\n", meteo},
        {"byte-order mark before blanks", "\xEF\xBB\xBF  [A]\r\nk=v\r\n", "v"},
        {"Latin-1", "[A]\nk=M\xE9t\xE9o France\n", meteo},
        {"Windows-1252", "[A]\nk=\x80 5 \x96 \x93x\x94\n",
         "\xE2\x82\xAC 5 \xE2\x80\x93 \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"one line of each", "[A]\nj=\xC3\xA9\nk=\xE9\n", "\xC3\xA9"},
        {"UTF-16LE", Utf16(u"[A]\r\nk=M\u00e9t\u00e9o France\r\n", true), meteo},
        {"UTF-16BE", Utf16(u"[A]\nk=M\u00e9t\u00e9o France", false), meteo},
        {"UTF-16 beyond the BMP", Utf16(u"[A]\nk=\U0001F600", true), "\xF0\x9F\x98\x80"},
        {"UTF-16 broken surrogate, odd end", Utf16(u"[A]\nk=\xD800x", true) + "\x01",
         "\xEF\xBF\xBDx\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        const TIniFile ini = Make(c.Content);
        EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"A"}) << c.Name;
        EXPECT_EQ(ini.ReadString("A", "k", "?"), c.Value) << c.Name;
    }
}

// Writes into UTF-16 text leave one UTF-8 text, in which the old and the new values both read.
TEST_F(IniFileTest, WritesIntoUtf16TextGiveUtf8) {
    for (const bool littleEndian : {true, false}) {
        TIniBatch batch;
        batch.WriteString("B", "n", "new");
        const std::string written =
            batch.Apply(Utf16(u"[A]\r\nk=M\u00e9t\u00e9o\r\n", littleEndian));
        EXPECT_EQ(written.rfind("[A]", 0), 0u) << littleEndian;
        const TIniFile ini = Make(written);
        EXPECT_EQ(ini.ReadString("A", "k", "?"), "M\xC3\xA9t\xC3\xA9o") << littleEndian;
        EXPECT_EQ(ini.ReadString("B", "n", "?"), "new") << littleEndian;
    }
}

} // namespace
} // namespace nimbora
