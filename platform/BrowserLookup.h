#pragma once
// Finds the program the user's desktop has chosen for web pages: the freedesktop MIME
// association files name a desktop file, whose Exec= line is the command template.
#include <optional>
#include <string>
#include <vector>

namespace nimbora {

// The freedesktop base folders that the lookup reads.
struct TXdgDirs {
    std::string ConfigHome;            // holds the user's own mimeapps.list
    std::string DataHome;              // user's applications/ folder
    std::vector<std::string> DataDirs; // system folders, most important first
};

// The folders of $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_DATA_DIRS, with the standard
// defaults for unset or relative values.
TXdgDirs XdgDirsFromEnvironment();

// Desktop file id chosen for the first of the MIME types that has one installed. The user's
// $XDG_CONFIG_HOME/mimeapps.list is searched for every type before the system's
// mimeapps.list and defaults.list under each data folder's applications/. Empty when none.
std::string FindDefaultDesktopId(const TXdgDirs& dirs, const std::vector<std::string>& mimeTypes);

// Path of the installed desktop file with this id (user folder first), or empty. Ids that
// could leave the applications folders ("../x.desktop", "a/b.desktop") are never found.
std::string FindDesktopFile(const TXdgDirs& dirs, const std::string& desktopId);

// The Exec= value of a desktop file's [Desktop Entry] group with the string escapes (\s \n
// \t \r \\) resolved. Empty when the file is missing, too large, or the value holds control
// characters.
std::string ReadDesktopExec(const std::string& path);

// Exec= of the installed desktop file with this id, or empty.
std::string DesktopCommand(const TXdgDirs& dirs, const std::string& desktopId);

// The folders of $PATH in order (empty entries left out).
std::vector<std::string> ExecutableSearchDirs();

// First "dir/name" that is an executable regular file, or empty. A name with a "/" is not
// searched for.
std::string FindExecutable(const std::string& name, const std::vector<std::string>& dirs);

// The value of an environment variable, or nothing when it is unset.
std::optional<std::string> EnvironmentValue(const std::string& name);

} // namespace nimbora
