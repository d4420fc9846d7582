#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

} // namespace nimbora
