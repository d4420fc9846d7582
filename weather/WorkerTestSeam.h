#pragma once
// The one way in for tests to the download and catalogue workers: shorter time-outs and lower
// limits than real servers need. The program itself never uses it.
#include "weather/ThDown.h"
#include "weather/ThSrvc.h"

#include <cstdint>

namespace nimbora {

struct TWorkerTestSeam {
    template <class TThread>
    static void SetTimeouts(TThread& thread, int connectMs, int lowSpeedSeconds) {
        thread.ConnectTimeoutMs = connectMs;
        thread.LowSpeedSeconds = lowSpeedSeconds;
    }
    static void SetBodyLimit(TDownThread& thread, std::int64_t bytes) { thread.BodyLimit = bytes; }
    static void SetInflateLimit(TDownThread& thread, std::int64_t bytes) {
        thread.InflateLimit = bytes;
    }
};

} // namespace nimbora
