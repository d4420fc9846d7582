#pragma once
// Records what a THttpCli reports for one request, and drives it to its end.
#include "net/HttpCli.h"

#include <chrono>
#include <string>
#include <vector>

namespace nimbora::test {

struct TRecorder {
    // "connected", "begin", "data" (runs of data collapsed into one), "end", "closed", "done".
    std::vector<std::string> Events;
    THttpDocInfo Doc;
    int DocBegins = 0;
    std::string Body;
    std::int64_t LastReceived = 0;
    bool CountsConsistent = true; // every running count equals the bytes seen so far
    int Error = -1;
    int Status = -1;
    int Dones = 0;

    void Attach(THttpCli& cli) {
        cli.OnSessionConnected = [this] { Events.push_back("connected"); };
        cli.OnDocBegin = [this](const THttpDocInfo& doc) {
            Events.push_back("begin");
            Doc = doc;
            ++DocBegins;
        };
        cli.OnDocData = [this](const char* data, std::size_t size, std::int64_t received) {
            if (Events.empty() || Events.back() != "data") Events.push_back("data");
            Body.append(data, size);
            if (received != std::int64_t(Body.size())) CountsConsistent = false;
            LastReceived = received;
        };
        cli.OnDocEnd = [this] { Events.push_back("end"); };
        cli.OnSessionClosed = [this] { Events.push_back("closed"); };
        cli.OnRequestDone = [this](int error, int status) {
            Events.push_back("done");
            Error = error;
            Status = status;
            ++Dones;
        };
    }

    // Header line starting with `prefix` (case as given), or empty.
    std::string Header(const std::string& prefix) const {
        for (const auto& l : Doc.HeaderLines)
            if (l.rfind(prefix, 0) == 0) return l;
        return {};
    }
};

// Steps the client until its request is done; aborts and returns false after timeoutMs.
inline bool RunToEnd(THttpCli& cli, int timeoutMs = 10000) {
    auto start = std::chrono::steady_clock::now();
    while (cli.Step(10)) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
            cli.Abort();
            return false;
        }
    }
    return true;
}

inline std::vector<std::string> FullOrder() {
    return {"connected", "begin", "data", "end", "closed", "done"};
}

} // namespace nimbora::test
