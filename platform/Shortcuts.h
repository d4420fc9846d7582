#pragma once
// Shortcuts to the program: freedesktop desktop entries on the desktop and in the user's
// applications menu.
#include <string>

namespace nimbora {

struct TShortcut {
    std::string FileName = "nimbora.desktop";
    std::string Name;       // shown under the icon
    std::string Comment;    // the description
    std::string Executable; // absolute path of the program
    std::string Icon;       // icon file or theme name
};

// The user's desktop folder with a trailing "/": what `xdg-user-dir DESKTOP` says, else
// ~/Desktop/. Empty without a home.
std::string DesktopFolder();
// The user's applications menu folder: $XDG_DATA_HOME/applications/ (else
// ~/.local/share/applications/).
std::string StartMenuFolder();

// The entry's text. Empty when a value cannot be written safely (a line break in a path).
std::string DesktopEntryText(const TShortcut& shortcut);

bool ShortcutExists(const std::string& folder, const TShortcut& shortcut);
// Deletes the shortcut in folder when it exists; then, when install is set and the folder
// exists, writes it anew (executable, and trusted where the desktop knows the mark), and tells
// the menu that the folder changed. True when the end state is as asked.
bool UpdateShortcut(const std::string& folder, const TShortcut& shortcut, bool install);

} // namespace nimbora
