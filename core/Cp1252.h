#pragma once
// Conversion between UTF-8 (files, network, dialogs) and Windows-1252, the 8-bit text that the
// bitmap font draws.
#include <string>
#include <string_view>

namespace nimbora {

// UTF-8 to Windows-1252. A character without a Windows-1252 code becomes "?", and so does each
// malformed piece of UTF-8 (stray or missing continuation bytes, overlong forms, surrogates,
// values above U+10FFFF).
std::string Utf8ToCp1252(std::string_view utf8);

// Windows-1252 to UTF-8. The five unassigned codes (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the
// control characters of the same number, so they survive a round trip.
std::string Cp1252ToUtf8(std::string_view text);

// Whether the text is well-formed UTF-8 (no stray or missing continuation bytes, overlong
// forms, surrogates or values above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Text starting with a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) as UTF-8
// without the mark; unpaired surrogates and an odd last byte become U+FFFD. Text without
// such a mark comes back as it is.
std::string Utf16ToUtf8IfMarked(std::string_view text);

} // namespace nimbora
