#include "platform/Files.h"
#include "platform/FilesTestSeam.h"

#include "core/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace nimbora {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool DeleteFileIfExists(const std::string& path) {
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
}

bool ClearReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return true;
    if ((status.permissions() & fs::perms::owner_write) != fs::perms::none) return true;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
    return !ec;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    // Another file system: copy into a temporary name beside the target, then rename it there.
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return false;
    const std::string part = to + ".part";
    const int out = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        close(in);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0 || write(out, buffer.data(), static_cast<size_t>(got)) != got) {
            ok = false;
            break;
        }
    }
    close(in);
    ok = (fsync(out) == 0) && ok;
    ok = (close(out) == 0) && ok;
    if (ok && std::rename(part.c_str(), to.c_str()) == 0) {
        std::remove(from.c_str());
        return true;
    }
    std::remove(part.c_str());
    return false;
}

// --- TFile ---

TFile::~TFile() {
    Close();
}

TFile::TFile(TFile&& other) noexcept : Descriptor(std::exchange(other.Descriptor, -1)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        Descriptor = std::exchange(other.Descriptor, -1);
    }
    return *this;
}

TFile TFile::OpenForReading(const std::string& path) {
    return TFile(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
}

TFile TFile::OpenForWriting(const std::string& path, unsigned mode) {
    return TFile(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode)));
}

long long TFile::Read(void* buffer, std::size_t size) {
    return ::read(Descriptor, buffer, size);
}

bool TFile::WriteAll(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(Descriptor, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TFile::Close() {
    if (Descriptor < 0) return false;
    return ::close(std::exchange(Descriptor, -1)) == 0;
}

TCreateResult CreateFileExclusively(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return TCreateResult::Created;
    }
    return errno == EEXIST ? TCreateResult::Exists : TCreateResult::Failed;
}

TFileEnds ReadFileEnds(const std::string& path, std::size_t count) {
    TFileEnds ends;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ends;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string head(count, '\0');
        const ssize_t got = ::pread(fd, head.data(), count, 0);
        if (got >= 0) {
            ends.Readable = true;
            head.resize(static_cast<std::size_t>(got));
            ends.Head = std::move(head);
            std::string tail(count, '\0');
            if (st.st_size >= static_cast<off_t>(count) &&
                ::pread(fd, tail.data(), count, st.st_size - static_cast<off_t>(count)) ==
                    static_cast<ssize_t>(count))
                ends.Tail = std::move(tail);
        }
    }
    ::close(fd);
    return ends;
}

// --- ReplaceFileAtomically ---

namespace {

std::function<bool(TFileWriteStep)> gWriteFault;

// mkstemp's part of a replacement's name: six characters from A-Z, a-z and 0-9.
constexpr char TempSuffixPattern[] = ".XXXXXX";
constexpr std::size_t TempSuffixLength = sizeof TempSuffixPattern - 1;

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool Fails(TFileWriteStep step) {
    return gWriteFault && gWriteFault(step);
}

bool WriteContent(int fd, const std::string& content) {
    std::size_t done = 0;
    if (Fails(TFileWriteStep::Write)) {
        // A disk that fills up half way.
        const std::size_t half = content.size() / 2;
        while (done < half) {
            const ssize_t n = ::write(fd, content.data() + done, half - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        errno = ENOSPC;
        return false;
    }
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool IsReplacementTemp(const std::string& entryName, const std::string& fileName) {
    const std::size_t prefix = fileName.size() + 1;
    if (fileName.empty() || entryName.size() != prefix + TempSuffixLength) return false;
    if (entryName[0] != '.' || entryName.compare(1, fileName.size(), fileName) != 0) return false;
    if (entryName[prefix] != '.') return false;
    for (std::size_t i = prefix + 1; i < entryName.size(); ++i)
        if (!IsAsciiAlnum(entryName[i])) return false;
    return true;
}

int RemoveStaleReplacementTemps(const std::string& folder,
                                const std::vector<std::string>& fileNames, int minAge) {
    const std::string base = folder.empty() ? std::string(".") : folder;
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return 0;
    const int dirFd = ::dirfd(dir);
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        bool ours = false;
        for (const std::string& file : fileNames)
            ours = ours || IsReplacementTemp(name, file);
        struct stat st {};
        // lstat: a link under such a name is not a file we left, whatever it points at.
        if (!ours || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || now - st.st_mtime < minAge)
            continue;
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

void SetFileWriteFault(std::function<bool(TFileWriteStep)> fault) {
    gWriteFault = std::move(fault);
}

void ReplaceFileAtomically(const std::string& path, const std::string& content) {
    const TSettingsWriteError error("Unable to write to " + path);
    namespace fs = std::filesystem;
    std::error_code ec;
    // Write through a symbolic link to its target instead of replacing the link.
    fs::path target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec);
        if (ec) throw error;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // A read-only file (no owner write bit) stays as it is, as it would for a write in place.
    if (exists && (!S_ISREG(existing.st_mode) || !(existing.st_mode & S_IWUSR) ||
                   ::access(target.c_str(), W_OK) != 0))
        throw error;

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern =
        (folder / ("." + target.filename().string() + TempSuffixPattern)).string();
    if (Fails(TFileWriteStep::CreateTemp)) throw error;
    // mkstemp creates the file exclusively, readable and writable by the owner only.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw error;
    const std::string temporary = pattern;
    auto fail = [&](bool open) {
        if (open) ::close(fd);
        ::unlink(temporary.c_str());
        throw error;
    };
    if (!WriteContent(fd, content)) fail(true);
    if (exists) {
        if (Fails(TFileWriteStep::Permissions) || ::fchmod(fd, existing.st_mode & 07777) != 0)
            fail(true);
    }
    if (Fails(TFileWriteStep::Sync) || ::fsync(fd) != 0) fail(true);
    if (Fails(TFileWriteStep::Close)) fail(true);
    if (::close(fd) != 0) fail(false);
    if (Fails(TFileWriteStep::Rename) || ::rename(temporary.c_str(), target.c_str()) != 0)
        fail(false);
    // Make the rename itself durable; the new content is already in place either way.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

namespace {

std::string ErrorText(int code) {
    return std::strerror(code);
}

bool WriteAllTo(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string CreateUniqueFile(const std::string& folder, const std::string& suffix,
                             std::string& error) {
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    // Names are drawn until one is free; a folder where none can be made must not hang us.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name;
        for (int i = 0; i < 8; ++i)
            name += alphabet[pick(generator)];
        const std::string path = base + name + suffix;
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            error = ErrorText(errno);
            return {};
        }
    }
    error = ErrorText(EEXIST);
    return {};
}

namespace {

// The one bounded reader: at most maxBytes, and whether the file held more.
template <class Buffer>
TBoundedRead ReadBounded(const std::string& path, std::size_t maxBytes, Buffer& out,
                         bool refuseLarger) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return TBoundedRead::Failed;
    TBoundedRead result = TBoundedRead::Failed;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        !(refuseLarger && static_cast<std::uint64_t>(st.st_size) > maxBytes)) {
        out.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), maxBytes)));
        std::size_t done = 0;
        for (;;) {
            if (done < out.size()) {
                const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    if (n == 0) result = TBoundedRead::Whole;
                    break;
                }
                done += static_cast<std::size_t>(n);
                continue;
            }
            // As large as the file said it was: a small read tells whether it has grown.
            char more[4096];
            const std::size_t room = maxBytes - done;
            const ssize_t n = ::read(fd, more, std::min(sizeof more, room + 1));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) result = TBoundedRead::Whole;
                break;
            }
            const std::size_t got = std::min(static_cast<std::size_t>(n), room);
            out.insert(out.end(), more, more + got);
            done += got;
            if (static_cast<std::size_t>(n) > room) {
                result = TBoundedRead::Cut;
                break;
            }
        }
        out.resize(done);
    }
    ::close(fd);
    if (result == TBoundedRead::Failed) out.clear();
    return result;
}

} // namespace

TBoundedRead ReadFileBounded(const std::string& path, std::size_t maxBytes, std::string& out) {
    return ReadBounded(path, maxBytes, out, false);
}

bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    // A file known to be larger is refused before anything is read.
    if (ReadBounded(path, maxBytes, out, true) == TBoundedRead::Whole) return true;
    out.clear();
    return false;
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data,
                        std::string& error) {
    std::string folder = ".", name = path;
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos) {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error = ErrorText(EISDIR);
        return false;
    }
    std::string temporary = (folder == "/" ? "" : folder) + "/." + name + TempSuffixPattern;
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = ErrorText(errno);
        return false;
    }
    mode_t mode;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok =
        WriteAllTo(fd, data.data(), data.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int code = errno;
    if (::close(fd) != 0 || !ok) {
        error = ErrorText(ok ? errno : code);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = ErrorText(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::vector<TFolderEntry> ListFolder(const std::string& folder, std::size_t maxEntries) {
    std::vector<TFolderEntry> entries;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return entries;
    const int dirFd = ::dirfd(dir);
    while (entries.size() < maxEntries) {
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        TFolderEntry item{name};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            item.Regular = S_ISREG(st.st_mode);
            item.Size = static_cast<long long>(st.st_size);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    return entries;
}

bool MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::string& error) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = ErrorText(in < 0 ? errno : EINVAL);
        if (in >= 0) ::close(in);
        return false;
    }
    const std::size_t slash = to.rfind('/');
    std::string temporary = (slash == std::string::npos ? std::string() : to.substr(0, slash + 1)) +
                            "." + to.substr(slash == std::string::npos ? 0 : slash + 1) +
                            TempSuffixPattern;
    const int out = ::mkstemp(temporary.data());
    if (out < 0) {
        error = ErrorText(errno);
        ::close(in);
        return false;
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    bool ok = true;
    int code = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            code = errno;
            break;
        }
        if (Fails(TFileWriteStep::Write)) {
            ok = false;
            code = ENOSPC;
            break;
        }
        if (!WriteAllTo(out, buffer.data(), static_cast<std::size_t>(got))) {
            ok = false;
            code = errno;
            break;
        }
    }
    ::close(in);
    if (ok && ::fsync(out) != 0) {
        ok = false;
        code = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(temporary.c_str(), to.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        error = ErrorText(code);
        ::unlink(temporary.c_str());
    }
    return ok;
}

} // namespace nimbora
