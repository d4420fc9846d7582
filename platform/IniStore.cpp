#include "platform/IniStore.h"

#include "platform/Files.h"

#include <filesystem>

namespace nimbora {

namespace {

// The current content of a file about to be rewritten; a missing file is empty. Throws when the
// file exists but cannot be read whole, since rewriting it would lose what could not be read.
std::string ContentForRewrite(const std::string& path) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) throw TSettingsWriteError("Unable to write to " + path);
    if (!exists) return {};
    std::string content;
    if (ReadFileBounded(path, MaxIniFileSize, content) != TBoundedRead::Whole)
        throw TSettingsWriteError("Unable to write to " + path);
    return content;
}

} // namespace

TIniFile ReadIniFile(const std::string& path, bool* complete) {
    std::string text;
    const TBoundedRead read = ReadFileBounded(path, MaxIniFileSize, text);
    if (complete) *complete = read != TBoundedRead::Cut;
    return TIniFile::Parse(text);
}

void CommitIni(const TIniBatch& batch, const std::string& path) {
    ReplaceFileAtomically(path, batch.Apply(ContentForRewrite(path)));
}

void CommitIniFresh(const TIniBatch& batch, const std::string& path) {
    ReplaceFileAtomically(path, batch.Apply(std::string()));
}

void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    TIniBatch batch;
    batch.WriteString(section, key, value);
    CommitIni(batch, path);
}

} // namespace nimbora
