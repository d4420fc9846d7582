#pragma once
// Stores INI writes (core/IniFile.h) on disk: the file is read again, the writes are applied and
// the file is replaced atomically, so a refused write leaves the previous file whole. A new file
// is readable and writable by its owner only.
#include "core/IniFile.h"

#include <string>

namespace nimbora {

// Throws TSettingsWriteError.
void CommitIni(const TIniBatch& batch, const std::string& path);
// Replaces the file by the writes alone, as if it had been deleted first.
void CommitIniFresh(const TIniBatch& batch, const std::string& path);
// One write, its own read-modify-replace of the file.
void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

} // namespace nimbora
