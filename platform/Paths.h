#pragma once
// Where the program keeps its files.
#include <string>

namespace nimbora {

// The per-user data folder ($XDG_DATA_HOME or ~/.local/share, then the maker and product
// folders) with a trailing "/", created when missing. Empty when it cannot be found or
// created, so that files fall back to the working directory.
std::string DataFolder(const std::string& makerFolder, const std::string& productFolder);

// The executable's own file name, lower-cased, with its extension replaced by ".ini".
std::string SettingsFileName(const std::string& executablePath);

// The system temporary folder with a trailing "/".
std::string TempFolder();

// What follows the last "/" of path: the whole path when it has none.
std::string FileNameOf(const std::string& path);

// path with the user's home folder at its start written as "~", for short messages.
std::string HomeRelative(const std::string& path);

} // namespace nimbora
