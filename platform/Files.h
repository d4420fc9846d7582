#pragma once
// File operations the weather subsystem needs beyond plain reading and writing.
#include <string>

namespace nimbora {

bool FileExists(const std::string& path);
// Moves a file, also across file systems (copy, then delete the original). The target is
// replaced; on failure nothing is left at the target.
bool MoveFile(const std::string& from, const std::string& to);
// Removes a file if it exists; true when it is gone.
bool DeleteFileIfExists(const std::string& path);

} // namespace nimbora
