#include "core/IniFile.h"

#include "core/Cp1252.h"
#include "core/TextHelpers.h"
#include "core/support.h"

#include <climits>
#include <utility>

namespace nimbora {

namespace {

struct TLine {
    std::string Text;   // without its line end
    std::string Ending; // "\n", "\r\n", or "" for a last line without one
};

enum class TLineKind { Other, Section, Key };

struct TLineInfo {
    TLineKind Kind = TLineKind::Other;
    std::string Name;  // section or key name, trimmed
    std::string Value; // key lines: the value, trimmed
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

TLineInfo Classify(const std::string& text) {
    TLineInfo info;
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    if (start < text.size() && text[start] == '[') {
        const std::size_t close = text.find(']', start + 1);
        info.Kind = TLineKind::Section;
        info.Name = Trim(std::string_view(text).substr(start + 1, close - (start + 1)));
        return info;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) return info;
    info.Name = Trim(std::string_view(text).substr(0, equals));
    if (info.Name.empty()) return info;
    info.Kind = TLineKind::Key;
    info.Value = Trim(std::string_view(text).substr(equals + 1));
    return info;
}

// Lines end at "\n", "\r\n" or a lone "\r" (files from old editors): a reader that missed
// one would glue the next line onto the value before it.
std::vector<TLine> SplitLines(const std::string& content) {
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t end = content.find_first_of("\r\n", pos);
        TLine line;
        if (end == std::string::npos) {
            line.Text = content.substr(pos);
            pos = content.size();
        } else {
            line.Text = content.substr(pos, end - pos);
            if (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n')
                line.Ending = "\r\n";
            else
                line.Ending = content[end];
            pos = end + line.Ending.size();
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

// The byte-order mark some editors put first; it is kept but is not part of the first line.
std::string TakeUtf8Bom(std::string& content) {
    if (content.compare(0, 3, Utf8Bom) != 0) return {};
    content.erase(0, 3);
    return Utf8Bom;
}

std::string JoinLines(const std::vector<TLine>& lines) {
    std::string content;
    for (const TLine& line : lines) {
        content += line.Text;
        content += line.Ending;
    }
    return content;
}

// Index of the first line of the section's first occurrence (its header), or -1.
long FindSection(const std::vector<TLineInfo>& infos, const std::string& section) {
    for (std::size_t i = 0; i < infos.size(); ++i)
        if (infos[i].Kind == TLineKind::Section && EqualNoCase(infos[i].Name, section))
            return static_cast<long>(i);
    return -1;
}

// A line that is not UTF-8 was written in the old Windows code page.
std::string DecodedLine(const std::string& text) {
    return IsValidUtf8(text) ? text : Cp1252ToUtf8(text);
}

std::vector<TLineInfo> ClassifyAll(const std::vector<TLine>& lines) {
    std::vector<TLineInfo> infos;
    infos.reserve(lines.size());
    for (const TLine& line : lines)
        infos.push_back(Classify(DecodedLine(line.Text)));
    return infos;
}

// Line ends inside a name or value would change the file's structure.
std::string OneLine(const std::string& text) {
    std::string s = text;
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

// At most MaxIniValueLength UTF-8 characters.
std::string CutValue(const std::string& value) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) {
            if (chars == MaxIniValueLength) return value.substr(0, i);
            ++chars;
        }
    }
    return value;
}

// A line that text is added after ends properly: a last line without an end gets one, and a
// lone "\r" becomes "\r\n" so that readers which know only "\n" see the same lines.
void EndLine(TLine& line, const std::string& newline) {
    if (line.Ending.empty())
        line.Ending = newline;
    else if (line.Ending == "\r")
        line.Ending = "\r\n";
}

// Lines with their meaning, kept in step with each other.
struct TDocument {
    std::string Bom;
    std::vector<TLine> Lines;
    std::vector<TLineInfo> Infos;

    explicit TDocument(std::string content)
        : Bom(TakeUtf8Bom(content)), Lines(SplitLines(content)), Infos(ClassifyAll(Lines)) {}

    std::string Text() const { return Bom + JoinLines(Lines); }

    void Insert(std::size_t index, TLine line) {
        Infos.insert(Infos.begin() + static_cast<long>(index), Classify(line.Text));
        Lines.insert(Lines.begin() + static_cast<long>(index), std::move(line));
    }

    // Applies one write.
    void Write(const std::string& rawSection, const std::string& rawKey,
               const std::string& rawValue) {
        const std::string section = OneLine(rawSection);
        const std::string key = OneLine(rawKey);
        const std::string text = key + "=" + OneLine(rawValue);
        const std::string newline =
            !Lines.empty() && Lines.front().Ending == "\r\n" ? "\r\n" : "\n";

        const long header = FindSection(Infos, section);
        if (header < 0) {
            if (!Lines.empty()) EndLine(Lines.back(), newline);
            Insert(Lines.size(), TLine{"[" + section + "]", newline});
            Insert(Lines.size(), TLine{text, newline});
            return;
        }
        std::size_t lastKey = static_cast<std::size_t>(header);
        for (std::size_t i = header + 1; i < Infos.size(); ++i) {
            if (Infos[i].Kind == TLineKind::Section) break;
            if (Infos[i].Kind != TLineKind::Key) continue;
            if (EqualNoCase(Infos[i].Name, key)) {
                Lines[i].Text = text;
                Infos[i] = Classify(text);
                return;
            }
            lastKey = i;
        }
        EndLine(Lines[lastKey], newline);
        Insert(lastKey + 1, TLine{text, newline});
    }
};

} // namespace

// --- TIniFile ---

TIniFile TIniFile::Parse(const std::string& text) {
    TIniFile ini;
    std::string content = Utf16ToUtf8IfMarked(text);
    TakeUtf8Bom(content);
    for (const TLine& line : SplitLines(content)) {
        TLineInfo info = Classify(DecodedLine(line.Text));
        if (info.Kind == TLineKind::Other) continue;
        if (info.Kind == TLineKind::Section)
            ini.SectionIndex.try_emplace(LowerAscii(info.Name),
                                         static_cast<long>(ini.EntryLines.size()));
        ini.EntryLines.push_back(
            {info.Kind == TLineKind::Section, std::move(info.Name), std::move(info.Value)});
    }
    return ini;
}

long TIniFile::FindSection(const std::string& section) const {
    const auto found = SectionIndex.find(LowerAscii(section));
    return found == SectionIndex.end() ? -1 : found->second;
}

const TIniFile::TEntryLine* TIniFile::Find(const std::string& section,
                                           const std::string& key) const {
    const long header = FindSection(section);
    if (header < 0) return nullptr;
    for (std::size_t i = header + 1; i < EntryLines.size() && !EntryLines[i].IsSection; ++i)
        if (EqualNoCase(EntryLines[i].Name, key)) return &EntryLines[i];
    return nullptr;
}

namespace {
// Decimal with optional sign, or "0x" hexadecimal (up to 32 bits, taken as signed).
bool ParseInteger(const std::string& text, int& out) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos >= text.size()) return false;
    long long value = 0;
    if (text.size() - pos > 2 && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        pos += 2;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return false;
            value = value * 16 + digit;
            if (value > 0xFFFFFFFFLL) return false;
        }
        auto bits = static_cast<std::uint32_t>(value);
        if (negative) bits = 0u - bits;
        out = static_cast<int>(bits);
        return true;
    }
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    out = static_cast<int>(value);
    return true;
}

} // namespace

bool TIniFile::SectionExists(const std::string& section) const {
    return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return Find(section, key) != nullptr;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < EntryLines.size(); ++i)
        if (EntryLines[i].IsSection && FindSection(EntryLines[i].Name) == static_cast<long>(i))
            names.push_back(EntryLines[i].Name);
    return names;
}

std::vector<std::string> TIniFile::ReadSectionKeys(const std::string& section) const {
    std::vector<std::string> keys;
    const long header = FindSection(section);
    if (header < 0) return keys;
    for (std::size_t i = header + 1; i < EntryLines.size() && !EntryLines[i].IsSection; ++i) {
        bool seen = false;
        for (const std::string& key : keys)
            seen = seen || EqualNoCase(key, EntryLines[i].Name);
        if (!seen) keys.push_back(EntryLines[i].Name);
    }
    return keys;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const TEntryLine* line = Find(section, key);
    return line ? CutValue(line->Value) : defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
    const TEntryLine* line = Find(section, key);
    int value;
    return line && ParseInteger(CutValue(line->Value), value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::uint8_t TIniFile::ReadByte(const std::string& section, const std::string& key,
                                std::uint8_t defaultValue) const {
    return static_cast<std::uint8_t>(ReadInteger(section, key, defaultValue) & 0xFF);
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key,
                           double defaultValue) const {
    const TEntryLine* line = Find(section, key);
    double value;
    return line && ParseLocaleFloat(CutValue(line->Value), value) ? value : defaultValue;
}

// --- TIniBatch ---

void TIniBatch::WriteString(const std::string& section, const std::string& key,
                            const std::string& value) {
    Entries.push_back({section, key, value});
}

void TIniBatch::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniBatch::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniBatch::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FormatFix7(value));
}

std::string TIniBatch::Apply(const std::string& content) const {
    // UTF-16 text is rewritten as UTF-8, the form every write adds.
    TDocument document(Utf16ToUtf8IfMarked(content));
    for (const TEntry& entry : Entries)
        document.Write(entry.Section, entry.Key, entry.Value);
    return document.Text();
}

} // namespace nimbora
