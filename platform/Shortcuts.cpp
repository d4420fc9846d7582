#include "platform/Shortcuts.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace nimbora {

namespace fs = std::filesystem;

namespace {

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
    const QString answer = RunHelper(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")});
    if (!answer.isEmpty() && QDir::isAbsolutePath(answer)) return WithSlash(answer.toStdString());
    const std::string home = Home();
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
    return text;
}

bool ShortcutExists(const std::string& folder, const TShortcut& shortcut) {
    std::error_code ec;
    return !folder.empty() && fs::exists(folder + shortcut.FileName, ec);
}

bool UpdateShortcut(const std::string& folder, const TShortcut& shortcut, bool install) {
    if (folder.empty()) return !install;
    const std::string file = folder + shortcut.FileName;
    std::error_code ec;
    fs::remove(file, ec);
    bool ok = !fs::exists(file, ec);
    if (install) {
        const std::string text = DesktopEntryText(shortcut);
        ok = false;
        if (!text.empty() && fs::is_directory(folder, ec)) {
            {
                std::ofstream out(file, std::ios::binary | std::ios::trunc);
                out << text;
                ok = static_cast<bool>(out);
            }
            if (!ok) {
                fs::remove(file, ec);
            } else {
                // Desktops start only entries that are executable, some only trusted ones.
                fs::permissions(
                    file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
                RunHelper(QStringLiteral("gio"),
                          {QStringLiteral("set"), QString::fromStdString(file),
                           QStringLiteral("metadata::trusted"), QStringLiteral("true")});
            }
        }
    }
    // Only a menu folder has a cache to refresh; on the desktop it would leave a stray file.
    if (fs::path(folder).parent_path().filename() == "applications")
        RunHelper(QStringLiteral("update-desktop-database"), {QString::fromStdString(folder)});
    return ok;
}

} // namespace nimbora
