#pragma once
// Reads INI files (core/IniFile.h) and stores writes into them: the file is read again, the
// writes are applied and the file is replaced atomically, so a refused write leaves the previous
// file whole. A new file is readable and writable by its owner only.
#include "core/IniFile.h"

#include <string>

namespace nimbora {

// The file as it is now, up to MaxIniFileSize bytes. A missing or unreadable file, or anything
// but a plain file, reads as empty. *complete, when given, is false when the file held more.
TIniFile ReadIniFile(const std::string& path, bool* complete = nullptr);

// Throws TSettingsWriteError.
void CommitIni(const TIniBatch& batch, const std::string& path);
// Replaces the file by the writes alone, as if it had been deleted first.
void CommitIniFresh(const TIniBatch& batch, const std::string& path);
// One write, its own read-modify-replace of the file.
void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

} // namespace nimbora
