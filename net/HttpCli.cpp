#include "HttpCli.h"

#include "core/HttpDate.h"
#include "core/TextHelpers.h"

#include "net/CurlLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace nimbora {

namespace {

// Header blocks of all responses of one request together; a peer that sends more is hostile.
constexpr std::size_t MaxHeaderBytes = 256 * 1024;
constexpr long MaxRedirects = 5;

// Value of the first header line named `name` (given with its colon), trimmed; nullopt-like
// flag through `found`.
std::string HeaderValue(const std::vector<std::string>& lines, const char* name, bool* found) {
    for (const auto& line : lines)
        if (StartsWithNoCase(line, name)) {
            if (found) *found = true;
            return Trim(line.substr(std::char_traits<char>::length(name)));
        }
    if (found) *found = false;
    return {};
}

std::int64_t ParseContentLength(const std::string& text) {
    if (text.empty() || text.size() > 18) return -1;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

int ParseStatus(const std::string& statusLine) {
    auto sp = statusLine.find(' ');
    if (sp == std::string::npos) return 0;
    int status = 0, digits = 0;
    for (std::size_t i = sp + 1; i < statusLine.size() && digits < 3; ++i, ++digits) {
        char c = statusLine[i];
        if (c < '0' || c > '9') return 0;
        status = status * 10 + (c - '0');
    }
    return digits == 3 ? status : 0;
}

bool HasLineBreak(const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool ParsePort(const std::string& text, long* port) {
    std::string t = Trim(text);
    if (t.empty() || t.size() > 5) return false;
    long v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535) return false;
    *port = v;
    return true;
}

bool IsHttpUrl(const std::string& url) {
    const TCurlLibrary* curl = Curl();
    if (!curl || url.empty() || HasLineBreak(url)) return false;
    CURLU* u = curl->url();
    if (!u) return false;
    bool ok = false;
    if (curl->url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl->url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme) {
            std::string s = scheme;
            ok = s == "http" || s == "https";
        }
        curl->free(scheme);
    }
    curl->url_cleanup(u);
    return ok;
}

} // namespace

// libcurl calls plain functions; these forward to the client named by the user pointer.
struct THttpCli::TCurlTrampolines {
    static std::size_t Header(char* data, std::size_t size, std::size_t n, void* self) {
        return static_cast<THttpCli*>(self)->OnHeaderLine(data, size * n);
    }
    static std::size_t Write(char* data, std::size_t size, std::size_t n, void* self) {
        return static_cast<THttpCli*>(self)->OnBody(data, size * n);
    }
    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<THttpCli*>(self)->AbortRequested ? 1 : 0;
    }
    // Sockets are made close-on-exec, so a program started meanwhile (the browser) does not
    // inherit a connection.
    static curl_socket_t OpenSocket(void*, curlsocktype, curl_sockaddr* addr) {
        return socket(addr->family, addr->socktype | SOCK_CLOEXEC, addr->protocol);
    }
    static int CloseSocket(void*, curl_socket_t fd) { return close(fd); }
    // Called once a connection stands (TCP, proxy tunnel and TLS done), before the request.
    static int Connected(void* self, char*, char*, int, int) {
        auto* cli = static_cast<THttpCli*>(self);
        cli->SessionConnected();
        return cli->AbortRequested ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
    }
};

THttpCli::THttpCli() {
    if (const TCurlLibrary* curl = Curl()) Multi = curl->multi_init();
}

THttpCli::~THttpCli() {
    ReleaseEasy();
    CloseBodySink();
    if (Multi) Curl()->multi_cleanup(static_cast<CURLM*>(Multi));
}

void THttpCli::ReleaseEasy() {
    if (Easy) {
        Curl()->multi_remove_handle(static_cast<CURLM*>(Multi), static_cast<CURL*>(Easy));
        Curl()->easy_cleanup(static_cast<CURL*>(Easy));
        Easy = nullptr;
    }
    if (HeaderList) {
        Curl()->slist_free_all(static_cast<curl_slist*>(HeaderList));
        HeaderList = nullptr;
    }
}

bool THttpCli::GetAsync() {
    if (Easy || !Multi) return false;
    const THttpRequest& r = Request;
    if (!IsHttpUrl(r.Url)) return false;

    long proxyPort = 0;
    bool useProxy = !r.Proxy.Host.empty();
    if (useProxy) {
        if (HasLineBreak(r.Proxy.Host) || HasLineBreak(r.Proxy.Username) ||
            HasLineBreak(r.Proxy.Password) || !ParsePort(r.Proxy.Port, &proxyPort))
            return false;
    }

    std::vector<std::string> lines;
    auto add = [&lines](const char* name, const std::string& value) {
        if (!value.empty()) lines.push_back(std::string(name) + ": " + value);
    };
    add("Accept", r.Accept);
    add("Accept-Language", r.AcceptLanguage);
    add("User-Agent", r.Agent);
    add("Referer", r.Reference);
    add("From", r.From);
    add("Connection", r.Connection);
    if (r.IfModifiedSince != 0) add("If-Modified-Since", FormatHttpDate(r.IfModifiedSince));
    if (OnBeforeHeaderSend) OnBeforeHeaderSend(lines);

    curl_slist* list = nullptr;
    for (const auto& line : lines) {
        // A line break would let a value smuggle in further header lines.
        if (line.empty() || HasLineBreak(line)) {
            Curl()->slist_free_all(list);
            return false;
        }
        curl_slist* next = Curl()->slist_append(list, line.c_str());
        if (!next) {
            Curl()->slist_free_all(list);
            return false;
        }
        list = next;
    }

    CURL* e = Curl()->easy_init();
    if (!e) {
        Curl()->slist_free_all(list);
        return false;
    }
    bool ok = true;
    auto set = [&ok, e](CURLoption opt, auto value) {
        if (Curl()->easy_setopt(e, opt, value) != CURLE_OK) ok = false;
    };
    set(CURLOPT_URL, r.Url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_HTTP_VERSION, r.Version == THttpVersion::Http10 ? long(CURL_HTTP_VERSION_1_0)
                                                                : long(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_FOLLOWLOCATION, r.FollowRelocation ? 1L : 0L);
    set(CURLOPT_MAXREDIRS, MaxRedirects);
    set(CURLOPT_HTTPHEADER, list);
    // The program inflates compressed bodies itself; curl must hand them over untouched.
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    set(CURLOPT_HEADERFUNCTION, &TCurlTrampolines::Header);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &TCurlTrampolines::Write);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &TCurlTrampolines::Progress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(this));
    set(CURLOPT_OPENSOCKETFUNCTION, &TCurlTrampolines::OpenSocket);
    set(CURLOPT_OPENSOCKETDATA, static_cast<void*>(this));
    set(CURLOPT_CLOSESOCKETFUNCTION, &TCurlTrampolines::CloseSocket);
    set(CURLOPT_CLOSESOCKETDATA, static_cast<void*>(this));
    set(CURLOPT_PREREQFUNCTION, &TCurlTrampolines::Connected);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    // Each request has its own connection, closed when it ends.
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_FRESH_CONNECT, 1L);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    // Only the program's own proxy setting counts, never http_proxy or no_proxy.
    set(CURLOPT_NOPROXY, "");
    if (useProxy) {
        set(CURLOPT_PROXY, r.Proxy.Host.c_str());
        set(CURLOPT_PROXYPORT, proxyPort);
        set(CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
        if (!r.Proxy.Username.empty()) {
            set(CURLOPT_PROXYUSERNAME, r.Proxy.Username.c_str());
            set(CURLOPT_PROXYPASSWORD, r.Proxy.Password.c_str());
            set(CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
        }
        set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    } else {
        set(CURLOPT_PROXY, "");
    }
    const THttpTimeouts& t = r.Timeouts;
    set(CURLOPT_CONNECTTIMEOUT_MS, long(std::max(t.ConnectMs, 1)));
    set(CURLOPT_LOW_SPEED_LIMIT, long(std::max(t.LowSpeedBytes, 0)));
    set(CURLOPT_LOW_SPEED_TIME, long(std::max(t.LowSpeedSeconds, 0)));
    set(CURLOPT_TIMEOUT, long(std::max(t.TotalSeconds, 0)));
    if (!ok) {
        Curl()->easy_cleanup(e);
        Curl()->slist_free_all(list);
        return false;
    }

    Doc = {};
    HeaderComplete = InCallback = AbortRequested = DocBegun = ConnectionMade = false;
    HeaderOverflow = SinkFailed = BodyLimitHit = false;
    HeaderBytes = 0;
    Received = 0;
    BodyLimit = r.MaxBodyBytes;

    if (Curl()->multi_add_handle(static_cast<CURLM*>(Multi), e) != CURLM_OK) {
        Curl()->easy_cleanup(e);
        Curl()->slist_free_all(list);
        return false;
    }
    Easy = e;
    HeaderList = list;
    return true;
}

bool THttpCli::Step(int waitMs) {
    waitMs = std::max(waitMs, 0);
    if (!Easy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return false;
    }
    auto* multi = static_cast<CURLM*>(Multi);
    int running = 0;
    InCallback = true;
    CURLMcode mc = Curl()->multi_perform(multi, &running);
    InCallback = false;
    if (mc != CURLM_OK) {
        FinishRequest(CURLE_FAILED_INIT, false);
        return false;
    }
    int queued = 0;
    while (CURLMsg* msg = Curl()->multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && Easy && msg->easy_handle == Easy) {
            FinishRequest(msg->data.result, false);
            break;
        }
    }
    // The request may have finished, or a callback may have asked for an abort.
    if (Easy && AbortRequested) FinishRequest(HttpErrAborted, true);
    if (!Easy) return false;
    Curl()->multi_poll(multi, nullptr, 0, waitMs, nullptr);
    return true;
}

void THttpCli::Abort() {
    if (!Easy) return;
    if (InCallback) {
        // curl forbids removing a handle from inside its own callbacks.
        AbortRequested = true;
        return;
    }
    FinishRequest(HttpErrAborted, true);
}

void THttpCli::FinishRequest(int code, bool fromAbort) {
    long status = 0;
    if (Easy) Curl()->easy_getinfo(static_cast<CURL*>(Easy), CURLINFO_RESPONSE_CODE, &status);
    if (AbortRequested) {
        code = HttpErrAborted;
        fromAbort = true;
    } else if (BodyLimitHit) {
        code = HttpErrBodyTooLarge;
    } else if (HeaderOverflow) {
        code = HttpErrBadReply;
    } else if (SinkFailed) {
        code = HttpErrWrite;
    }
    ReleaseEasy();

    // A final answer without body (304, empty file, error before any data) still begins and
    // ends its document.
    if (!fromAbort && !DocBegun && HeaderComplete) FireDocBegin();
    bool begun = DocBegun;
    DocBegun = ConnectionMade = false;
    if (begun && OnDocEnd) OnDocEnd();
    // Also when no connection ever stood: an owner that waits for the close must not wait on.
    if (OnSessionClosed) OnSessionClosed();
    if (OnRequestDone) OnRequestDone(code, int(status));
}

void THttpCli::SessionConnected() {
    if (ConnectionMade) return;
    ConnectionMade = true;
    if (OnSessionConnected) OnSessionConnected();
}

void THttpCli::FireDocBegin() {
    DocBegun = true;
    bool found = false;
    std::string length = HeaderValue(Doc.HeaderLines, "Content-Length:", &found);
    Doc.ContentLength = found ? ParseContentLength(length) : -1;
    Doc.ContentType = HeaderValue(Doc.HeaderLines, "Content-Type:", nullptr);
    Doc.TransferEncoding = HeaderValue(Doc.HeaderLines, "Transfer-Encoding:", nullptr);
    if (OnDocBegin) OnDocBegin(Doc);
}

std::size_t THttpCli::OnHeaderLine(const char* data, std::size_t size) {
    if (AbortRequested) return 0;
    HeaderBytes += size;
    if (HeaderBytes > MaxHeaderBytes) {
        HeaderOverflow = true;
        return 0;
    }
    // Once the document began, further lines are chunked-body trailers: not reported.
    if (DocBegun) return size;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();

    if (StartsWithNoCase(line, "HTTP/")) {
        // A new response (after a redirect or an interim answer) replaces the one before.
        Doc = {};
        Doc.Status = ParseStatus(line);
        HeaderComplete = false;
    } else if (HeaderComplete) {
        // Trailers of a body that was empty.
    } else if (line.empty()) {
        HeaderComplete = Doc.Status != 0;
    } else if ((line[0] == ' ' || line[0] == '\t') && !Doc.HeaderLines.empty()) {
        Doc.HeaderLines.back() += ' ' + Trim(line);
    } else if (Doc.Status != 0) {
        Doc.HeaderLines.push_back(std::move(line));
    }
    return size;
}

std::size_t THttpCli::OnBody(const char* data, std::size_t size) {
    if (AbortRequested) return 0;
    // curl hands over no body of a followed redirect, so the first body byte belongs to the
    // final response.
    if (!DocBegun) {
        FireDocBegin();
        if (AbortRequested) return 0;
    }
    if (BodyLimit >= 0 && Received + std::int64_t(size) > BodyLimit) {
        BodyLimitHit = true;
        return 0;
    }
    Received += std::int64_t(size);
    if (Sink.IsOpen()) {
        if (SinkLimit >= 0 && SinkWritten + std::int64_t(size) > SinkLimit) {
            BodyLimitHit = true;
            return 0;
        }
        if (!Sink.WriteAll(data, size)) {
            SinkFailed = true;
            return 0;
        }
        SinkWritten += std::int64_t(size);
    }
    if (OnDocData) OnDocData(data, size, Received);
    return AbortRequested ? 0 : size;
}

bool THttpCli::CreateBodyFile(const std::string& path, std::int64_t limit) {
    CloseBodySink();
    Sink = TFile::OpenForWriting(path, 0666);
    if (!Sink.IsOpen()) return false;
    SinkLimit = limit;
    SinkWritten = 0;
    return true;
}

bool THttpCli::CloseBodySink() {
    return Sink.Close();
}

} // namespace nimbora
