#pragma once
// INI text files (the settings file and the waypoint file): "[Section]" lines open sections,
// "Key=Value" lines hold values. Names match without regard to case; the first occurrence of a
// section or key is the one that counts, for reading and writing alike. A write changes only the
// line of its key (or adds one) and leaves every other byte as it was. Reading a file and storing
// the new text is the platform's part (platform/IniStore.h): it re-reads the file first and
// replaces it atomically, so a failed write leaves the previous file whole.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace nimbora {

// A write the file system refused. what() is "Unable to write to " + path.
class TSettingsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Values longer than this many characters are cut when read.
inline constexpr std::size_t MaxIniValueLength = 2047;
// Larger files are read only up to here and are not rewritten (the write is refused).
inline constexpr std::size_t MaxIniFileSize = 16 * 1024 * 1024;

// Read-only view of a file's text as it was when read (platform/IniStore.h ReadIniFile). An
// empty one holds nothing.
class TIniFile {
public:
    TIniFile() = default;
    // UTF-8, Windows-1252 or UTF-16 text with a byte-order mark.
    static TIniFile Parse(const std::string& text);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Section names in file order, each once (first spelling).
    std::vector<std::string> ReadSections() const;
    // Key names of the section's first occurrence, in file order, each once.
    std::vector<std::string> ReadSectionKeys(const std::string& section) const;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x"; anything else (or out of 32-bit range) is the default.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    // An integer reduced to its low 8 bits.
    std::uint8_t ReadByte(const std::string& section, const std::string& key,
                          std::uint8_t defaultValue) const;
    // Written with the user's decimal separator; an empty or unparsable value is the default.
    double ReadFloat(const std::string& section, const std::string& key, double defaultValue) const;

private:
    // Section and key lines only, in file order.
    struct TEntryLine {
        bool IsSection = false;
        std::string Name, Value;
    };
    const TEntryLine* Find(const std::string& section, const std::string& key) const;
    long FindSection(const std::string& section) const;

    std::vector<TEntryLine> EntryLines;
    // First header line of each section, by its lower-cased name: a file with many sections
    // (the waypoint file) would otherwise cost a scan of the whole file per lookup.
    std::unordered_map<std::string, long> SectionIndex;
};

// Writes gathered to be stored together. The result is byte for byte what the same writes one
// after another would leave, but the file is replaced once: when the replacement is refused,
// none of them is stored and the file keeps its previous content.
class TIniBatch {
public:
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteFloat(const std::string& section, const std::string& key, double value);
    bool Empty() const { return Entries.empty(); }

    // The text after the writes, applied in order to `content` (UTF-16 text becomes UTF-8).
    std::string Apply(const std::string& content) const;

private:
    struct TEntry {
        std::string Section, Key, Value;
    };
    std::vector<TEntry> Entries;
};

} // namespace nimbora
