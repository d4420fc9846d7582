// Freed pictures must not stay in a worker thread's heap: the window's peak memory is what the
// desktop sees, long after the worker has ended.
#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace nimbora {
namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A block written through, so that its pages are really in memory. The compiler may drop a
// block nobody reads; handing its address to an empty asm keeps it.
std::unique_ptr<char[]> Touched(std::size_t bytes) {
    std::unique_ptr<char[]> block(new char[bytes]);
    std::memset(block.get(), 1, bytes);
    char* p = block.get();
    asm volatile("" : : "r"(p) : "memory");
    return block;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderSanitizer = true;
#else
constexpr bool UnderSanitizer = false;
#endif

TEST(Memory, PicturesFreedOnAWorkerGoBackToTheSystem) {
    if (UnderSanitizer) GTEST_SKIP() << "the sanitizer keeps freed memory on purpose";
    ReturnLargeBlocksToTheSystem();
    constexpr std::size_t MiB = std::size_t{1} << 20;
    long held = 0, afterFree = 0;
    std::thread worker([&] {
        // A first large block freed: the C library's own rule would now keep blocks below its
        // size in this thread's heap.
        Touched(16 * MiB).reset();
        auto picture = Touched(8 * MiB);
        held = ResidentKb();
        picture.reset();
        afterFree = ResidentKb();
    });
    worker.join();
    ASSERT_GT(held, 0);
    EXPECT_LT(afterFree, held - 6 * 1024)
        << "resident " << held << " kB, after the free " << afterFree << " kB";
}

} // namespace
} // namespace nimbora
