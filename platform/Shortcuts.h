#pragma once
// Shortcuts to the program: freedesktop desktop entries on the desktop and in the user's
// applications menu. The program touches only entries it made itself: they carry a mark, and
// their name differs from the menu entry an installation puts in the same folder.
#include <string>
#include <string_view>

namespace nimbora {

struct TShortcut {
    std::string FileName = "nimbora-shortcut.desktop";
    std::string Name;       // shown under the icon
    std::string Comment;    // the description
    std::string Executable; // absolute path of the program
    std::string Icon;       // icon file or theme name
};

// The user's desktop folder with a trailing "/": what `xdg-user-dir DESKTOP` says, else
// ~/Desktop/. Empty without a home, and where the desktop is switched off (set to the home).
std::string DesktopFolder();
// The user's applications menu folder: $XDG_DATA_HOME/applications/ (else
// ~/.local/share/applications/).
std::string StartMenuFolder();

// The entry's text, with the mark. Empty when a value cannot be written safely (a line break
// in a path).
std::string DesktopEntryText(const TShortcut& shortcut);
// Whether an entry's text carries the mark of the entries the program made.
bool HasShortcutMark(std::string_view text);

// Whether the folder holds the program's own shortcut (a plain file with the mark).
bool ShortcutExists(const std::string& folder, const TShortcut& shortcut);

// Creates a missing per-user folder and its missing parents owner-only, as the base-directory
// rules ask. True when the folder is there.
bool MakeUserFolder(const std::string& folder);

enum class TShortcutResult {
    Done,     // the end state is as asked
    NoFolder, // the folder to install into does not exist
    Foreign,  // a file the program did not make has the name: left as it is
    Failed,   // the file could not be written or removed
};
// Installs (writes anew, executable and trusted where the desktop knows the mark) or removes
// the program's own shortcut in folder, and tells the menu that the folder changed.
TShortcutResult UpdateShortcut(const std::string& folder, const TShortcut& shortcut, bool install);

} // namespace nimbora
