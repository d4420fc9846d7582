#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <sys/stat.h>

namespace nimbora {

namespace {

// Creates one folder level (owner-only, like other per-user data) unless it exists.
bool EnsureFolder(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return mkdir(path.c_str(), 0700) == 0;
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

std::string DataFolder(const std::string& makerFolder, const std::string& productFolder) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    // The base itself may be missing on a fresh account.
    if (!QDir().mkpath(QString::fromStdString(base))) return {};
    const std::string maker = WithSlash(base) + makerFolder;
    if (!EnsureFolder(maker)) return {};
    const std::string product = WithSlash(maker) + productFolder;
    if (!EnsureFolder(product)) return {};
    return WithSlash(product);
}

std::string SettingsFileName(const std::string& executablePath) {
    const QFileInfo info(QString::fromStdString(executablePath));
    QString name = info.fileName().toLower();
    const int dot = name.lastIndexOf('.');
    if (dot > 0) name.truncate(dot);
    return (name + ".ini").toStdString();
}

std::string TempFolder() {
    return WithSlash(QDir::tempPath().toStdString());
}

std::string HomeRelative(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return path;
    std::string prefix = home;
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    if (prefix == "/" || path.compare(0, prefix.size(), prefix) != 0) return path;
    if (path.size() > prefix.size() && path[prefix.size()] != '/') return path; // /home/ann2
    return "~" + path.substr(prefix.size());
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace nimbora
