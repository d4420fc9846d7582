// The INI reader, and a write into any text: the value written reads back as written and every
// other key keeps its value. Input: file bytes, NUL, section, NUL, key, NUL, value.
#include "core/Cp1252.h"
#include "core/IniFile.h"
#include "fuzz/FuzzSupport.h"

#include <map>
#include <utility>

using namespace nimbora;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool HasLineEnd(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

bool Trimmed(const std::string& s) {
    return !s.empty() && !IsBlank(s.front()) && !IsBlank(s.back());
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Names and values that a file can hold as they are: UTF-8 text without NUL (other bytes are read
// as Windows-1252), one line, no blanks at the ends, a section without "]", a key without "=" that
// does not look like a section header.
bool Storable(const std::string& section, const std::string& key, const std::string& value) {
    for (const std::string* text : {&section, &key, &value})
        if (!IsValidUtf8(*text) || text->find('\0') != std::string::npos) return false;
    if (!Trimmed(section) || HasLineEnd(section) || section.find(']') != std::string::npos)
        return false;
    if (!Trimmed(key) || HasLineEnd(key) || key.find('=') != std::string::npos || key[0] == '[')
        return false;
    if (HasLineEnd(value) || value.size() > MaxIniValueLength) return false;
    return value.empty() || Trimmed(value);
}

using TValues = std::map<std::pair<std::string, std::string>, std::string>;

TValues AllValues(const TIniFile& ini) {
    TValues values;
    for (const std::string& section : ini.ReadSections())
        for (const std::string& key : ini.ReadSectionKeys(section))
            values[{section, key}] = ini.ReadString(section, key, "\x01missing");
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::TParts in = fuzz::SplitInput(data, size, 4);
    const std::string& content = in.Part[0];
    const std::string section = in.Part[1].empty() ? "Fuzz" : in.Part[1];
    const std::string key = in.Part[2].empty() ? "Key" : in.Part[2];
    const std::string& value = in.Part[3];

    const TIniFile before = TIniFile::Parse(content);
    const TValues old = AllValues(before);
    for (const auto& [name, text] : old) {
        (void)text;
        before.ReadInteger(name.first, name.second, 7);
        before.ReadFloat(name.first, name.second, 0.5);
        before.ReadBool(name.first, name.second, false);
        before.ReadByte(name.first, name.second, 3);
    }

    TIniBatch batch;
    batch.WriteString(section, key, value);
    const std::string written = batch.Apply(content);
    if (!Storable(section, key, value)) return 0;

    const TIniFile after = TIniFile::Parse(written);
    FUZZ_CHECK(after.ReadString(section, key, "\x01missing") == value);
    const TValues now = AllValues(after);
    for (const auto& [name, text] : old) {
        if (SameName(name.first, section) && SameName(name.second, key)) continue;
        FUZZ_CHECK(after.ReadString(name.first, name.second, "\x01missing") == text);
    }
    return 0;
}
