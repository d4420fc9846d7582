#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace nimbora::fuzz {

namespace {

std::string gScratch;

void RemoveScratch() {
    std::error_code ec;
    if (!gScratch.empty()) std::filesystem::remove_all(gScratch, ec);
}

const std::string& ScratchFolder() {
    if (gScratch.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/nimbora-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        gScratch = pattern;
        std::atexit(RemoveScratch);
    }
    return gScratch;
}

} // namespace

std::string ScratchPath(const std::string& name) {
    return ScratchFolder() + "/" + name;
}

void WriteScratchFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            std::perror(path.c_str());
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

TParts SplitInput(const std::uint8_t* data, std::size_t size, int count) {
    TParts parts;
    int part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && part + 1 < count) {
            ++part;
            continue;
        }
        parts.Part[part] += static_cast<char>(data[i]);
    }
    return parts;
}

} // namespace nimbora::fuzz
