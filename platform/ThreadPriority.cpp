#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nimbora {

void LowerCurrentThreadPriority() {
    // On Linux a nice value applies to the single thread named by its id.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, tid);
    setpriority(PRIO_PROCESS, tid, current + 1);
}

} // namespace nimbora
