#include "platform/Memory.h"

#include <cstdlib> // tells which C library this is

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace nimbora {

void ReturnLargeBlocksToTheSystem() {
#if defined(__GLIBC__)
    // Setting the threshold also stops the library from moving it.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

} // namespace nimbora
