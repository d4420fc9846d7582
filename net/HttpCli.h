#pragma once
// Asynchronous HTTP/HTTPS GET over libcurl, driven by the owning thread's own loop.
//
// One client per worker thread; nothing is shared between clients. The owner fills `Request`,
// sets the callbacks it needs, calls GetAsync() and then Step() in its loop until the request is
// done. Every callback runs on the owner's thread from inside Step() or Abort(), never from
// elsewhere. Callbacks may call Abort(), attach or close the body sink, and from OnRequestDone
// start the next request; they must not destroy the client.
//
// Order of callbacks for one request:
//   OnBeforeHeaderSend (inside GetAsync)
//   OnSessionConnected (first connection of the request that stands; not after a refusal)
//   OnDocBegin, OnDocData... (only when a final response's header block arrived)
//   OnDocEnd (exactly when OnDocBegin was called)
//   OnSessionClosed (once, also when no connection could be made)
//   OnRequestDone (always last, once per started request)
#include "platform/Files.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nimbora {

enum class THttpVersion { Http10, Http11 };

struct THttpProxy {
    std::string Host;     // empty: no proxy (the environment's proxy variables are ignored too)
    std::string Port;     // decimal text, as the settings hold it
    std::string Username; // Basic authentication at the proxy when not empty
    std::string Password;
};

// Chosen so that a dead, silent or trickling peer ends as a transport error within about a
// minute, while a slow but living link still gets a large picture through.
struct THttpTimeouts {
    int ConnectMs = 20000;      // name lookup, TCP connect, proxy and TLS handshakes
    int LowSpeedBytes = 64;     // the transfer fails when it moves fewer bytes per second...
    int LowSpeedSeconds = 30;   // ...for this long (also while waiting for the answer)
    int TotalSeconds = 30 * 60; // hard upper bound for one request; 0 = none
};

// Largest body a request or a sink accepts unless the caller gives its own limit.
inline constexpr std::int64_t HttpDefaultBodyLimit = std::int64_t(256) << 20;

struct THttpRequest {
    std::string Url; // http:// or https:// only
    std::string Accept;
    std::string AcceptLanguage;
    std::string Agent;     // User-Agent
    std::string Reference; // Referer
    std::string From;
    std::string Connection;
    THttpVersion Version = THttpVersion::Http10;
    // Date-time (days since 1899-12-30, UTC) sent as If-Modified-Since; 0 = not sent.
    double IfModifiedSince = 0;
    bool FollowRelocation = true; // at most 5 location changes; a sixth is a transport error
    THttpProxy Proxy;
    THttpTimeouts Timeouts;
    // More body bytes than this end the transfer with HttpErrBodyTooLarge, counted as they
    // arrive whether a sink takes them or not, so an endless body of unknown length ends too.
    // Negative: no limit.
    std::int64_t MaxBodyBytes = HttpDefaultBodyLimit;
};

// What is known of the final response when its header block is complete. Earlier responses
// (redirects, interim 1xx answers) are never reported.
struct THttpDocInfo {
    int Status = 0;
    std::int64_t ContentLength = -1;      // announced by Content-Length; -1 = unknown
    std::string ContentType;              // header value as sent, trimmed
    std::string TransferEncoding;         // header value as sent, trimmed (curl decodes chunked)
    std::vector<std::string> HeaderLines; // "Name: value" lines, status line not included
};

// Transport codes of OnRequestDone are CURLcode values, 0 = none. These are the ones the
// client itself produces:
inline constexpr int HttpErrAborted = 42;      // CURLE_ABORTED_BY_CALLBACK: Abort() was called
inline constexpr int HttpErrWrite = 23;        // CURLE_WRITE_ERROR: the body file failed
inline constexpr int HttpErrBodyTooLarge = 63; // CURLE_FILESIZE_EXCEEDED: a body limit passed
inline constexpr int HttpErrBadReply = 8;      // CURLE_WEIRD_SERVER_REPLY: headers too large

class THttpCli {
public:
    THttpCli();
    ~THttpCli();
    THttpCli(const THttpCli&) = delete;
    THttpCli& operator=(const THttpCli&) = delete;

    THttpRequest Request;

    // The request's header lines, to which lines may be appended (or which may be changed).
    std::function<void(std::vector<std::string>& lines)> OnBeforeHeaderSend;
    std::function<void()> OnSessionConnected;
    std::function<void(const THttpDocInfo& doc)> OnDocBegin;
    std::function<void(const char* data, std::size_t size, std::int64_t received)> OnDocData;
    std::function<void()> OnDocEnd;
    std::function<void()> OnSessionClosed;
    std::function<void(int transportError, int status)> OnRequestDone;

    // Starts the request. False when it cannot be started (busy, an address that is not
    // http/https, a header line with a line break, an unusable proxy port); then no callback
    // but OnBeforeHeaderSend has run.
    bool GetAsync();
    // Moves the transfer on and waits for network activity up to waitMs. When no request runs
    // it just sleeps waitMs, so a caller's loop never spins. Returns Busy().
    bool Step(int waitMs);
    // Ends the running request now: OnDocEnd (if begun), OnSessionClosed and
    // OnRequestDone(HttpErrAborted, status) follow. Inside a transfer callback the abort takes
    // effect when that callback returns.
    void Abort();
    bool Busy() const { return Easy != nullptr; }

    // The body sink: a file created (or truncated) here that receives the body as it arrives.
    // More than `limit` bytes end the transfer with HttpErrBodyTooLarge. Replaces (and closes)
    // an attached sink. False when the file cannot be created.
    bool CreateBodyFile(const std::string& path, std::int64_t limit = HttpDefaultBodyLimit);
    // Closes and detaches the sink; false when there was none or closing reported an error.
    bool CloseBodySink();
    bool HasBodySink() const { return Sink.IsOpen(); }

private:
    struct TCurlTrampolines;
    friend struct TCurlTrampolines;

    std::size_t OnHeaderLine(const char* data, std::size_t size);
    std::size_t OnBody(const char* data, std::size_t size);
    void SessionConnected();
    void FireDocBegin();
    void FinishRequest(int code, bool fromAbort);
    void ReleaseEasy();

    void* Multi = nullptr;      // CURLM*
    void* Easy = nullptr;       // CURL*, only while a request runs
    void* HeaderList = nullptr; // curl_slist*

    // Per request.
    THttpDocInfo Doc; // header block of the latest response
    bool HeaderComplete = false;
    bool InCallback = false;
    bool AbortRequested = false;
    bool DocBegun = false;
    bool ConnectionMade = false;
    bool HeaderOverflow = false;
    bool SinkFailed = false;
    bool BodyLimitHit = false;
    std::size_t HeaderBytes = 0;
    std::int64_t Received = 0;
    std::int64_t BodyLimit = -1;

    TFile Sink;
    std::int64_t SinkLimit = -1;
    std::int64_t SinkWritten = 0;
};

} // namespace nimbora
