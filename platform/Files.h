#pragma once
// File operations the weather subsystem needs beyond plain reading and writing.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nimbora {

bool FileExists(const std::string& path);
// Moves a file, also across file systems (copy, then delete the original). The target is
// replaced; on failure nothing is left at the target.
bool MoveFile(const std::string& from, const std::string& to);
// Removes a file if it exists; true when it is gone.
bool DeleteFileIfExists(const std::string& path);

// Creates a new empty file folder + 8 random letters and digits + suffix, exclusively, owner-only
// and never through a symbolic link; returns its path, or empty text (error gets the reason).
std::string CreateUniqueFile(const std::string& folder, const std::string& suffix,
                             std::string& error);

// Reads a whole plain file of at most maxBytes; false when it is missing, larger or unreadable.
bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out);

// Puts data under path in one step: written to a temporary file beside it, synced, then renamed
// over it, so the path never holds a half-written file. A new file gets the usual permissions
// (0666 less the umask), a replaced one keeps its own. On failure nothing is left behind and
// error holds the system's text for the cause ("Permission denied", "No space left on device").
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data,
                        std::string& error);

} // namespace nimbora
