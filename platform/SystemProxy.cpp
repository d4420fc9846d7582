#include "platform/SystemProxy.h"

#include <cstdlib>

namespace nimbora {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

} // namespace

void ParseProxyList(const std::string& list, const std::string& protocol, std::string& host,
                    std::string& port) {
    host.clear();
    port.clear();
    if (list.empty()) return;
    std::string rest = Lower(list);
    const std::string marker = Lower(protocol) + "=";
    const std::size_t found = rest.find(marker);
    if (found == std::string::npos) return;
    rest.erase(0, found + marker.size());
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        host = rest.substr(0, colon);
        rest.erase(0, colon + 1);
    }
    port = rest.substr(0, rest.find(';'));
}

std::string ProxyListFromUrl(const std::string& url) {
    const std::size_t begin = url.find_first_not_of(" \t");
    if (begin == std::string::npos || url.size() > 2048) return {};
    std::string rest = url.substr(begin, url.find_last_not_of(" \t") + 1 - begin);

    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        // Our client speaks to HTTP proxies only.
        if (Lower(rest.substr(0, scheme)) != "http") return {};
        rest.erase(0, scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) rest.erase(0, at + 1);

    std::string host = rest, port = "1080";
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    // Bracketed IPv6 addresses cannot be told in the "host:port" list form.
    if (host.empty() || port.empty() || port.size() > 5) return {};
    for (char c : host)
        if (!IsHostChar(c)) return {};
    for (char c : port)
        if (c < '0' || c > '9') return {};
    const int number = std::atoi(port.c_str());
    if (number < 1 || number > 65535) return {};
    return "http=" + host + ":" + std::to_string(number);
}

std::string SystemProxyList() {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return ProxyListFromUrl(value);
    }
    return {};
}

bool ReadSystemProxy(const std::string& protocol, std::string& host, std::string& port) {
    const std::string list = SystemProxyList();
    ParseProxyList(list, protocol, host, port);
    return !list.empty();
}

} // namespace nimbora
