#include "core/Cp1252.h"

#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(Cp1252, FromUtf8) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string cp1252;
    };
    const Case cases[] = {
        {"ascii", "Hello, 1.5", "Hello, 1.5"},
        {"latin-1 range", "\xC3\x85land \xC3\xA9\xC3\xBF\xC2\xA0", "\xC5land \xE9\xFF\xA0"},
        {"euro, dash, quotes", "\xE2\x82\xAC\xE2\x80\x94\xE2\x80\x9C", "\x80\x97\x93"},
        {"no code: Greek and emoji", "\xCE\xA9x\xF0\x9F\x98\x80y", "?x?y"},
        {"stray continuation",
         "a\x80"
         "b",
         "a?b"},
        {"lead without continuation", "a\xC3", "a?"},
        {"lead followed by ascii",
         "\xC3"
         "A",
         "?A"},
        {"cut 3-byte sequence",
         "\xE2\x82"
         "A",
         "?A"},
        {"overlong two-byte", "\xC0\xAF", "??"},
        {"overlong three-byte", "\xE0\x80\xAF", "?"},
        {"surrogate", "\xED\xA0\x80", "?"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "?"},
        {"invalid lead bytes", "\xF8\xFF\xFE", "???"},
        {"embedded nul", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
    }
}

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    EXPECT_EQ(Cp1252ToUtf8("\xC5\x80\x99"), "\xC3\x85\xE2\x82\xAC\xE2\x84\xA2");
}

} // namespace
} // namespace nimbora
