#pragma once
// Shared pieces of the fuzz targets: a scratch folder for parsers that read files, and a check
// that ends the run (so libFuzzer keeps the input) when a property does not hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbora::fuzz {

// Path of a file in this process's scratch folder (made on first use, removed at exit).
std::string ScratchPath(const std::string& name);
// Replaces the file with the bytes; aborts when it cannot (the run would test nothing).
void WriteScratchFile(const std::string& path, std::string_view bytes);

[[noreturn]] void Fail(const char* condition, const char* file, int line);

// The input cut at NUL bytes into at most `count` parts; missing parts are empty.
struct TParts {
    std::string Part[4];
};
TParts SplitInput(const std::uint8_t* data, std::size_t size, int count);

} // namespace nimbora::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) ::nimbora::fuzz::Fail(#condition, __FILE__, __LINE__);                   \
    } while (false)

// The entry point that libFuzzer (or the corpus replay) calls once per input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
