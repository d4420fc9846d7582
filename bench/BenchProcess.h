#pragma once
// Small helpers shared by the benchmarks that run whole processes: a monotonic clock readable
// across processes, child processes with captured output, /proc figures and medians.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nimbora::bench {

// CLOCK_MONOTONIC in nanoseconds; the same clock in every process, so a parent's time before
// fork and a child's time at its first frame can be subtracted.
std::int64_t MonotonicNs();
double MsBetween(std::int64_t fromNs, std::int64_t toNs);

// Runs argv[0] (full path) with extra environment variables (an empty value removes the
// variable), waits for it and returns its
// exit code (-1 when it could not run or was killed after timeoutMs). Its stdout is returned
// in *out; stderr passes through. *spawnNs receives the time just before fork.
int RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             int timeoutMs, std::string* out, std::int64_t* spawnNs);

// "key=value" words of the last line of text that begins with "RESULT".
std::map<std::string, double> ParseResult(const std::string& text);

// Figures of a process from /proc (pid 0: this process).
double CpuSeconds(int pid);                    // utime + stime of all its threads
double StatusKb(const char* key, int pid = 0); // "VmHWM", "VmRSS" ... from /proc/<pid>/status

double Median(std::vector<double> values);

// A new folder under /tmp, removed with its contents when destroyed.
class TScratch {
public:
    TScratch();
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    const std::string& Path() const { return PathName; }

private:
    std::string PathName;
};

// Runs a shell command; true when it exits with 0.
bool Shell(const std::string& command);
std::string Quote(const std::string& text);

} // namespace nimbora::bench
