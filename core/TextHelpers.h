#pragma once

// Small ASCII text helpers. Case rules here are ASCII only: the texts they serve (header names,
// INI keys, file endings, date words) are ASCII, and the result must not change with the locale.

#include <string>
#include <string_view>

namespace nimbora {

// Character sets for Trim: which blanks a caller's text may carry around a value.
inline constexpr std::string_view Blanks = " \t";
inline constexpr std::string_view LineBlanks = " \t\r";   // lines that may end in "\r\n"
inline constexpr std::string_view WhiteSpace = " \t\r\n"; // the blanks of a whole text

// `text` without the characters of `chars` at both ends.
std::string Trim(std::string_view text, std::string_view chars = Blanks);
// `text` without spaces and control characters (bytes up to ' ') at both ends.
std::string TrimControls(std::string_view text);

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAscii(std::string text);

bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view tail);

} // namespace nimbora
