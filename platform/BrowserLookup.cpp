#include "platform/BrowserLookup.h"

#include "core/TextHelpers.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbora {

namespace {

// Association and desktop files are small; anything larger is not one we should trust.
constexpr std::size_t MaxFileBytes = 1 << 20;
constexpr std::size_t MaxExecChars = 4096;
constexpr std::size_t MaxDesktopIdChars = 255;

// Whole file, or nothing when it is missing, not a regular file or too large.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string data(MaxFileBytes + 1, '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > MaxFileBytes) return {};
    data.resize(got);
    return data;
}

// Calls onEntry(key, value) for every key line of the named group, in file order.
template <typename F>
void ForEachInGroup(const std::string& text, const std::string& group, F onEntry) {
    bool inGroup = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos), LineBlanks);
        pos = end + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[" + group + "]";
            continue;
        }
        if (!inGroup) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        onEntry(Trim(line.substr(0, eq), LineBlanks), Trim(line.substr(eq + 1), LineBlanks));
    }
}

// The desktop ids listed for a MIME type in one association file, in order.
std::vector<std::string> ListedIds(const std::string& file, const std::string& mimeType) {
    std::vector<std::string> ids;
    const auto text = ReadSmallFile(file);
    if (!text) return ids;
    bool seen = false;
    ForEachInGroup(*text, "Default Applications",
                   [&](const std::string& key, const std::string& value) {
                       if (seen || key != mimeType) return;
                       seen = true; // a repeated key does not add to the first
                       std::size_t pos = 0;
                       while (pos <= value.size()) {
                           auto end = value.find(';', pos);
                           if (end == std::string::npos) end = value.size();
                           const std::string id = Trim(value.substr(pos, end - pos), LineBlanks);
                           if (!id.empty()) ids.push_back(id);
                           pos = end + 1;
                       }
                   });
    return ids;
}

bool SafeDesktopId(const std::string& id) {
    const std::string suffix = ".desktop";
    if (id.size() <= suffix.size() || id.size() > MaxDesktopIdChars) return false;
    if (id.compare(id.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    if (id[0] == '.') return false;
    for (unsigned char c : id)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
    return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The first id from the list whose desktop file is installed.
std::string FirstInstalled(const TXdgDirs& dirs, const std::vector<std::string>& ids) {
    for (const auto& id : ids)
        if (!FindDesktopFile(dirs, id).empty()) return id;
    return {};
}

// Only absolute folders count; a relative one would depend on the working directory.
std::string AbsoluteOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/') return v;
    return fallback;
}

std::vector<std::string> SplitColonList(const std::string& list, bool absoluteOnly) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        auto end = list.find(':', pos);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(pos, end - pos);
        if (!item.empty() && (!absoluteOnly || item[0] == '/')) out.push_back(item);
        pos = end + 1;
    }
    return out;
}

} // namespace

TXdgDirs XdgDirsFromEnvironment() {
    TXdgDirs dirs;
    const char* home = std::getenv("HOME");
    const std::string homeDir = (home && home[0] == '/') ? home : "";
    dirs.ConfigHome = AbsoluteOr("XDG_CONFIG_HOME", homeDir.empty() ? "" : homeDir + "/.config");
    dirs.DataHome = AbsoluteOr("XDG_DATA_HOME", homeDir.empty() ? "" : homeDir + "/.local/share");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    if (dataDirs && dataDirs[0]) dirs.DataDirs = SplitColonList(dataDirs, true);
    if (dirs.DataDirs.empty()) dirs.DataDirs = {"/usr/local/share", "/usr/share"};
    return dirs;
}

std::string FindDefaultDesktopId(const TXdgDirs& dirs, const std::vector<std::string>& mimeTypes) {
    if (!dirs.ConfigHome.empty()) {
        const std::string userFile = JoinPath(dirs.ConfigHome, "mimeapps.list");
        for (const auto& type : mimeTypes)
            if (auto id = FirstInstalled(dirs, ListedIds(userFile, type)); !id.empty()) return id;
    }
    for (const auto& type : mimeTypes) {
        for (const auto& dataDir : dirs.DataDirs) {
            const std::string apps = JoinPath(dataDir, "applications");
            for (const char* name : {"mimeapps.list", "defaults.list"}) {
                const auto ids = ListedIds(JoinPath(apps, name), type);
                if (auto id = FirstInstalled(dirs, ids); !id.empty()) return id;
            }
        }
    }
    return {};
}

std::string FindDesktopFile(const TXdgDirs& dirs, const std::string& desktopId) {
    if (!SafeDesktopId(desktopId)) return {};
    std::vector<std::string> roots;
    if (!dirs.DataHome.empty()) roots.push_back(dirs.DataHome);
    roots.insert(roots.end(), dirs.DataDirs.begin(), dirs.DataDirs.end());
    for (const auto& root : roots) {
        const std::string path = JoinPath(JoinPath(root, "applications"), desktopId);
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    }
    return {};
}

std::string ReadDesktopExec(const std::string& path) {
    const auto text = ReadSmallFile(path);
    if (!text) return {};
    std::string raw;
    bool seen = false;
    ForEachInGroup(*text, "Desktop Entry", [&](const std::string& key, const std::string& value) {
        if (seen || key != "Exec") return;
        seen = true;
        raw = value;
    });
    if (raw.size() > MaxExecChars) return {};
    // Only the string escapes are resolved here; the quoting of Exec itself is the caller's.
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\\' && i + 1 < raw.size()) {
            const char n = raw[i + 1];
            const char* map = nullptr;
            switch (n) {
            case 's':
                map = " ";
                break;
            case 'n':
                map = "\n";
                break;
            case 't':
                map = "\t";
                break;
            case 'r':
                map = "\r";
                break;
            case '\\':
                map = "\\";
                break;
            default:
                break;
            }
            if (map) {
                out += map;
                ++i;
                continue;
            }
        }
        out += c;
    }
    for (unsigned char c : out)
        if ((c < 0x20 && c != '\t') || c == 0x7f) return {};
    return out;
}

std::string DesktopCommand(const TXdgDirs& dirs, const std::string& desktopId) {
    const std::string path = FindDesktopFile(dirs, desktopId);
    return path.empty() ? std::string() : ReadDesktopExec(path);
}

std::vector<std::string> ExecutableSearchDirs() {
    const char* path = std::getenv("PATH");
    return path ? SplitColonList(path, false) : std::vector<std::string>{};
}

std::string FindExecutable(const std::string& name, const std::vector<std::string>& dirs) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    for (const auto& dir : dirs) {
        const std::string path = JoinPath(dir, name);
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return {};
    const char* v = std::getenv(name.c_str());
    if (!v) return {};
    return std::string(v);
}

} // namespace nimbora
