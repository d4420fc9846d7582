#include "core/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace nimbora {
namespace {

// Each caller trims its own set: header values keep a "\r", desktop files drop it, whole texts
// drop line ends too, launcher commands drop every control character.
TEST(TextHelpers, TrimKeepsWhatTheSetDoesNotName) {
    struct Case {
        std::string Text;
        std::string_view Chars;
        std::string Expected;
    };
    const Case cases[] = {
        {" \tvalue \t", Blanks, "value"},
        {" value\r", Blanks, "value\r"},
        {" value\r", LineBlanks, "value"},
        {"\r\n value \r\n", LineBlanks, "\n value \r\n"},
        {"\r\n value \r\n", WhiteSpace, "value"},
        {"a b", Blanks, "a b"},
        {" \t ", Blanks, ""},
        {"", WhiteSpace, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Trim(c.Text, c.Chars), c.Expected) << '"' << c.Text << '"';
    EXPECT_EQ(TrimControls(std::string("\x01\x1f \tcmd arg\r\n\0", 14)), "cmd arg");
    EXPECT_EQ(TrimControls("\xa0x\xa0"), "\xa0x\xa0");
}

// Only ASCII letters change case, so texts in other code pages stay as they are.
TEST(TextHelpers, CaseRulesAreAsciiOnly) {
    EXPECT_EQ(LowerAscii("Content-TYPE: \xc9\xe9"), "content-type: \xc9\xe9");
    EXPECT_TRUE(EqualNoCase("Last-Modified", "last-MODIFIED"));
    EXPECT_FALSE(EqualNoCase("\xc9", "\xe9"));
    EXPECT_FALSE(EqualNoCase("\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89")); // UTF-8 accents too
    EXPECT_TRUE(EqualNoCase("", ""));
    EXPECT_FALSE(EqualNoCase("jan", "jan "));
    EXPECT_TRUE(StartsWithNoCase("HTTP/1.1 200", "http/"));
    EXPECT_FALSE(StartsWithNoCase("HTT", "http/"));
    EXPECT_TRUE(EndsWith("setup.exe", ".exe"));
    EXPECT_FALSE(EndsWith("exe", ".exe"));
}

} // namespace
} // namespace nimbora
