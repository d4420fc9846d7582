#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nimbora {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool DeleteFileIfExists(const std::string& path) {
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
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

namespace {

std::string ErrorText(int code) {
    return std::strerror(code);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
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

bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              static_cast<std::uint64_t>(st.st_size) <= maxBytes;
    if (ok) {
        out.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (ok && done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = false;
            else
                done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
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
    std::string temporary = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
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
        WriteAll(fd, data.data(), data.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
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

} // namespace nimbora
