#include "BenchProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace nimbora::bench {

std::int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double MsBetween(std::int64_t fromNs, std::int64_t toNs) {
    return double(toNs - fromNs) / 1e6;
}

int RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             int timeoutMs, std::string* out, std::int64_t* spawnNs) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const std::int64_t start = MonotonicNs();
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        for (const auto& [key, value] : env)
            value.empty() ? unsetenv(key.c_str()) : setenv(key.c_str(), value.c_str(), 1);
        execv(args[0], args.data());
        _exit(127);
    }
    if (spawnNs) *spawnNs = start;
    close(pipeFds[1]);
    std::string text;
    bool killed = false;
    char buffer[4096];
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int left = timeoutMs - int(MsBetween(start, MonotonicNs()));
        if (left <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        const int ready = poll(&p, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, std::size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out) *out = text;
    if (!killed && WIFSIGNALED(status))
        std::fprintf(stderr, "%s ended by signal %d\n", args[0], WTERMSIG(status));
    if (killed || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::map<std::string, double> ParseResult(const std::string& text) {
    std::map<std::string, double> result;
    std::istringstream lines(text);
    std::string line, last;
    while (std::getline(lines, line))
        if (line.rfind("RESULT", 0) == 0) last = line;
    std::istringstream words(last);
    std::string word;
    while (words >> word) {
        const auto eq = word.find('=');
        if (eq == std::string::npos) continue;
        result[word.substr(0, eq)] = std::atof(word.c_str() + eq + 1);
    }
    return result;
}

double CpuSeconds(int pid) {
    std::ifstream in(pid == 0 ? std::string("/proc/self/stat")
                              : "/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    // The command name may hold spaces; fields are counted after its closing parenthesis.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double StatusKb(const char* key, int pid) {
    std::ifstream in(pid == 0 ? std::string("/proc/self/status")
                              : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::atof(line.c_str() + prefix.size());
    return -1;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

TScratch::TScratch() {
    char name[] = "/tmp/nimbora-bench-XXXXXX";
    if (mkdtemp(name)) PathName = name;
}

TScratch::~TScratch() {
    std::error_code ignored;
    if (!PathName.empty()) std::filesystem::remove_all(PathName, ignored);
}

bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace nimbora::bench
