#include "ui/extensioninfo.h"

#include "core/TextHelpers.h"

#include "platform/ProcessLauncher.h"

#include <QMimeDatabase>
#include <QUrl>

#include <algorithm>

namespace nimbora {

namespace {

constexpr std::size_t MaxCommandChars = 1024;
constexpr std::size_t MaxAddressChars = 8192;

bool HasFolderPart(const std::string& path) {
    return path.find_first_of("/\\:") != std::string::npos;
}

// %NAME% becomes the variable's value; names that are not set stay as they are.
std::string ExpandEnvironment(const std::string& s, const TSplitEnv& env) {
    std::string out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const auto open = s.find('%', pos);
        if (open == std::string::npos) break;
        const auto close = s.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(s, pos, open - pos);
        const std::string name = s.substr(open + 1, close - open - 1);
        std::optional<std::string> value;
        if (!name.empty() && env.GetEnv) value = env.GetEnv(name);
        if (value) {
            out += *value;
            pos = close + 1;
        } else {
            // The closing "%" may open the next name.
            out.append(s, open, close - open);
            pos = close;
        }
        if (out.size() > MaxCommandChars) break;
    }
    if (pos < s.size()) out.append(s, pos, std::string::npos);
    return out;
}

// Field codes of an Exec= line: the file and address codes become placeholders, "%%" a plain
// "%", and every other code (%i %c %k and the deprecated ones) goes.
std::string ConvertFieldCodes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) break;
        const char code = text[++i];
        if (code == '%')
            out += '%';
        else if (code == 'u' || code == 'U' || code == 'f' || code == 'F')
            out += std::string("|") + code;
    }
    return out;
}

// Reads the first word of an Exec= line. Returns false for an unclosed quote.
bool FirstWord(const std::string& s, std::string& word, std::string& rest) {
    word.clear();
    if (!s.empty() && s[0] == '"') {
        for (std::size_t i = 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '\\' && i + 1 < s.size() &&
                std::string("\"`$\\").find(s[i + 1]) != std::string::npos) {
                word += s[++i];
            } else if (c == '"') {
                rest = s.substr(i + 1);
                return true;
            } else {
                word += c;
            }
        }
        return false;
    }
    const auto end = s.find_first_of(" \t");
    word = s.substr(0, end);
    rest = end == std::string::npos ? std::string() : s.substr(end);
    return true;
}

// Puts the address where the first placeholder is and removes the others.
std::string FillPlaceholders(std::string args, const std::string& address) {
    const auto p = args.find('|');
    if (p == std::string::npos) {
        if (args.back() != ' ') args += ' ';
        std::string quoted;
        for (char c : address)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return args + '"' + quoted + '"';
    }
    auto end = args.find('"', p);
    if (end == std::string::npos) end = args.find(' ', p);
    if (end == std::string::npos) end = args.size();
    args.replace(p, end - p, address);
    // Only text after the address is searched, so the address itself is never cut.
    std::size_t from = p + address.size();
    for (;;) {
        const auto r = args.find('|', from);
        if (r == std::string::npos) break;
        std::size_t stop = args.find('"', r);
        if (stop != std::string::npos) {
            ++stop;
        } else {
            stop = args.find(' ', r);
            if (stop == std::string::npos) stop = args.size();
        }
        std::size_t start = r;
        if (r > from && args[r - 1] == '"') start = r - 1;
        args.erase(start, stop - start);
        from = start;
    }
    return args;
}

std::vector<std::string> MimeTypesForExtension(const std::string& extension) {
    std::string ext = LowerAscii(extension);
    if (!ext.empty() && ext[0] != '.') ext = "." + ext;
    if (ext == ".htm" || ext == ".html") return {"x-scheme-handler/http", "text/html"};
    if (ext.size() < 2) return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString("file" + ext),
                                                           QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return {};
    return {type.name().toStdString()};
}

// Only unreserved characters, the delimiters that give an address its structure, and the
// "%" of an existing escape pass unencoded. Everything a shell reads specially is encoded,
// though sub-delimiters, since a handler may still hand the address to one.
bool NeedsEncoding(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return false;
    return std::string("-._~:/?#[]@*+,=%").find(static_cast<char>(c)) == std::string::npos;
}

// The address as one word for a shell ('...'), written for the inside of a quoted argument of
// an Exec= line, where " ` $ and \ take a backslash.
std::string ShellQuotedInExec(const std::string& address) {
    std::string quoted = "'";
    for (char c : address) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    std::string out;
    for (char c : quoted) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// Whether text[pos] lies inside a double-quoted argument of an Exec= line.
bool InsideQuotes(const std::string& text, std::size_t pos) {
    bool inQuote = false;
    for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
        if (inQuote && text[i] == '\\' && i + 1 < pos) {
            ++i;
        } else if (text[i] == '"') {
            inQuote = !inQuote;
        }
    }
    return inQuote;
}

} // namespace

TExtensionInfo GetExtensionInfo(const std::string& extension) {
    return GetExtensionInfo(extension, XdgDirsFromEnvironment());
}

TExtensionInfo GetExtensionInfo(const std::string& extension, const TXdgDirs& dirs) {
    TExtensionInfo info;
    const auto types = MimeTypesForExtension(extension);
    if (types.empty()) return info;
    const std::string id = FindDefaultDesktopId(dirs, types);
    if (id.empty()) return info;
    info.Known = true;
    info.Command = GetClassCommand(id, dirs);
    return info;
}

std::string GetClassCommand(const std::string& classKey) {
    return GetClassCommand(classKey, XdgDirsFromEnvironment());
}

std::string GetClassCommand(const std::string& classKey, const TXdgDirs& dirs) {
    return DesktopCommand(dirs, classKey);
}

TSplitEnv DefaultSplitEnv() {
    TSplitEnv env;
    env.GetEnv = [](const std::string& name) { return EnvironmentValue(name); };
    env.SearchDirs = ExecutableSearchDirs();
    return env;
}

TSplitResult SplitCommand(const std::string& commandTemplate, const std::string& address) {
    return SplitCommand(commandTemplate, address, DefaultSplitEnv());
}

TSplitResult SplitCommand(const std::string& commandTemplate, const std::string& address,
                          const TSplitEnv& env) {
    TSplitResult r;
    std::string s = ExpandEnvironment(commandTemplate, env);
    if (s.size() > MaxCommandChars) s.resize(MaxCommandChars);
    s = TrimControls(s);

    std::string args;
    bool inExecQuotes = false;
    const auto exe = LowerAscii(s).find(".exe");
    if (exe != std::string::npos) {
        const auto end = exe + 4;
        if (end == s.size()) {
            r.Program = s;
        } else if (s[end] == '"' || s[end] == ' ') {
            r.Program = s.substr(0, end);
            if (!r.Program.empty() && r.Program[0] == '"') r.Program.erase(0, 1);
            args = s.substr(end + 1);
        }
        if (!r.Program.empty() && !HasFolderPart(r.Program))
            r.Program = FindExecutable(r.Program, env.SearchDirs);
        args = TrimControls(args);
        std::replace(args.begin(), args.end(), '%', '|');
        r.Success = true;
    } else if (!s.empty()) {
        std::string word, rest;
        if (!FirstWord(s, word, rest) || word.empty() || word[0] == '%') return {};
        r.Program =
            word.find('/') != std::string::npos ? word : FindExecutable(word, env.SearchDirs);
        args = TrimControls(ConvertFieldCodes(TrimControls(rest)));
        r.Success = true;
        // A field code inside a quoted argument together with other text (sh -c "browser %u")
        // may be read by a shell: it gets the address as one shell-quoted word. A quoted
        // argument that is the field code alone stays one plain argument.
        const auto p = args.find('|');
        if (p != std::string::npos && InsideQuotes(args, p) &&
            !(args[p - 1] == '"' && p + 2 < args.size() && args[p + 2] == '"' &&
              !InsideQuotes(args, p - 1)))
            inExecQuotes = true;
    }

    if (!args.empty()) {
        r.Arguments = TrimControls(
            FillPlaceholders(args, inExecQuotes ? ShellQuotedInExec(address) : address));
    } else if (!r.Program.empty()) {
        r.Arguments = address;
        r.Success = true;
    } else if (s.empty() && EndsWith(LowerAscii(address), ".exe")) {
        r.Program = address;
        r.Success = true;
    }
    // Without a program file there is nothing to start, whatever the template said.
    if (r.Program.empty()) r.Success = false;
    return r;
}

std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    bool inWord = false, inQuote = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuote) {
            if (c == '\\' && i + 1 < text.size() &&
                std::string("\"`$\\").find(text[i + 1]) != std::string::npos) {
                cur += text[++i];
            } else if (c == '"') {
                inQuote = false;
            } else {
                cur += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inWord) out.push_back(cur);
            cur.clear();
            inWord = false;
        } else if (c == '"') {
            inQuote = true;
            inWord = true;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(cur);
    return out;
}

std::string SafeLinkAddress(const std::string& address) {
    const std::string trimmed = TrimControls(address);
    if (trimmed.empty() || trimmed.size() > MaxAddressChars) return {};
    const QUrl url(QString::fromStdString(trimmed), QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative()) return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == "http" || scheme == "https") {
        if (url.host().isEmpty()) return {};
    } else if (scheme == "mailto") {
        if (url.path().isEmpty()) return {};
    } else {
        return {};
    }
    const std::string encoded = url.toEncoded(QUrl::FullyEncoded).toStdString();
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : encoded) {
        if (NeedsEncoding(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.size() > MaxAddressChars) return {};
    return out;
}

TLinkEnv DefaultLinkEnv() {
    TLinkEnv env;
    env.BrowserCommand = [] {
        const TExtensionInfo info = GetExtensionInfo(".htm");
        return info.Known ? info.Command : std::string();
    };
    env.Split = DefaultSplitEnv();
    env.Launch = StartDetachedProgram;
    return env;
}

bool OpenLink(const std::string& address) {
    return OpenLink(address, DefaultLinkEnv());
}

bool OpenLink(const std::string& address, const TLinkEnv& env) {
    const std::string safe = SafeLinkAddress(address);
    if (safe.empty() || !env.Launch) return false;
    const std::string command = env.BrowserCommand ? env.BrowserCommand() : std::string();
    if (!command.empty()) {
        const TSplitResult split = SplitCommand(command, safe, env.Split);
        if (split.Success) return env.Launch(split.Program, SplitArguments(split.Arguments));
    }
    // No usable registered browser: let the desktop's own opener decide.
    const std::string opener = FindExecutable("xdg-open", env.Split.SearchDirs);
    if (opener.empty()) return false;
    return env.Launch(opener, {safe});
}

} // namespace nimbora
