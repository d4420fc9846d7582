#include "platform/Shortcuts.h"

#include "platform/Files.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <sys/stat.h>

namespace nimbora {

namespace fs = std::filesystem;

namespace {

// The mark of the program's own entries: a key of our own, which desktops ignore.
constexpr std::string_view MarkLine = "X-Nimbora-Shortcut=true";

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : QDir::homePath().toStdString();
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Runs a helper that may be missing; its output is not wanted and it may not hang the program.
QString RunHelper(const QString& program, const QStringList& args) {
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) return {};
    QProcess process;
    process.start(path, args);
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A string value of a desktop entry.
std::string EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

// The program as the one argument of an Exec line: quoted, with the characters that are
// special inside quotes escaped, then escaped again as a string value; "%" doubled.
std::string ExecArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return EscapeValue(quoted);
}

} // namespace

std::string DesktopFolder() {
    const std::string home = Home();
    const QString answer = RunHelper(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")});
    if (!answer.isEmpty() && QDir::isAbsolutePath(answer)) {
        // A desktop set to the home folder is the user's way of having none.
        const std::string folder = WithSlash(answer.toStdString());
        return !home.empty() && folder == WithSlash(home) ? std::string() : folder;
    }
    return home.empty() ? std::string() : WithSlash(home) + "Desktop/";
}

std::string StartMenuFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return WithSlash(data) + "applications/";
    const std::string home = Home();
    return home.empty() ? std::string() : WithSlash(home) + ".local/share/applications/";
}

std::string DesktopEntryText(const TShortcut& s) {
    for (const std::string* value : {&s.Name, &s.Comment, &s.Executable, &s.Icon})
        if (HasLineBreak(*value)) return {};
    const std::string folder = fs::path(s.Executable).parent_path().string();
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + EscapeValue(s.Name) + "\n";
    text += "Comment=" + EscapeValue(s.Comment) + "\n";
    text += "Exec=" + ExecArgument(s.Executable) + "\n";
    text += "Path=" + EscapeValue(folder) + "\n";
    if (!s.Icon.empty()) text += "Icon=" + EscapeValue(s.Icon) + "\n";
    text += "Terminal=false\nCategories=Science;Geography;\n";
    text += std::string(MarkLine) + "\n";
    return text;
}

bool HasShortcutMark(std::string_view text) {
    for (std::size_t at = text.find(MarkLine); at != std::string_view::npos;
         at = text.find(MarkLine, at + 1)) {
        const std::size_t end = at + MarkLine.size();
        const bool lineStart = at == 0 || text[at - 1] == '\n';
        const bool lineEnd = end == text.size() || text[end] == '\n' || text[end] == '\r';
        if (lineStart && lineEnd) return true;
    }
    return false;
}

namespace {

enum class TFound { None, Own, Foreign };

// What stands under the shortcut's name. Only a plain file with the mark is ours: a link or
// anything else was put there by someone else.
TFound FindShortcut(const std::string& file) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    if (status.type() == fs::file_type::not_found) return TFound::None;
    if (status.type() != fs::file_type::regular) return TFound::Foreign;
    std::vector<std::uint8_t> bytes;
    // Ours are a few hundred bytes; a larger file is not.
    if (!ReadFileBytes(file, 64 * 1024, bytes)) return TFound::Foreign;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return HasShortcutMark(text) ? TFound::Own : TFound::Foreign;
}

} // namespace

bool ShortcutExists(const std::string& folder, const TShortcut& shortcut) {
    return !folder.empty() && !shortcut.FileName.empty() &&
           FindShortcut(folder + shortcut.FileName) == TFound::Own;
}

bool MakeUserFolder(const std::string& folder) {
    if (folder.empty() || folder.front() != '/') return false;
    // Each missing part is made by hand: create_directories would give the default mode.
    std::string part;
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/') continue;
        part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    std::error_code ec;
    return fs::is_directory(folder, ec);
}

TShortcutResult UpdateShortcut(const std::string& folder, const TShortcut& shortcut, bool install) {
    std::error_code ec;
    if (folder.empty() || shortcut.FileName.empty() || !fs::is_directory(folder, ec))
        return install ? TShortcutResult::NoFolder : TShortcutResult::Done;
    const std::string file = folder + shortcut.FileName;
    const TFound found = FindShortcut(file);
    if (found == TFound::Foreign) return TShortcutResult::Foreign;
    TShortcutResult result = TShortcutResult::Done;
    if (!install) {
        if (found == TFound::None) return result;
        if (!fs::remove(file, ec)) result = TShortcutResult::Failed;
    } else {
        const std::string text = DesktopEntryText(shortcut);
        std::string error;
        // Written whole or not at all, so an old shortcut is never left half-written.
        if (text.empty() ||
            !WriteFileReplacing(
                file, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, error)) {
            result = TShortcutResult::Failed;
        } else {
            // Desktops start only entries that are executable, some only trusted ones.
            fs::permissions(file,
                            fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                            fs::perm_options::add, ec);
            RunHelper(QStringLiteral("gio"),
                      {QStringLiteral("set"), QString::fromStdString(file),
                       QStringLiteral("metadata::trusted"), QStringLiteral("true")});
        }
    }
    // Only a menu folder has a cache to refresh; on the desktop it would leave a stray file.
    if (fs::path(folder).parent_path().filename() == "applications")
        RunHelper(QStringLiteral("update-desktop-database"), {QString::fromStdString(folder)});
    return result;
}

} // namespace nimbora
