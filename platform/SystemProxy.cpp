#include "platform/SystemProxy.h"

#include "core/TextHelpers.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace nimbora {

namespace {

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
    std::string rest = LowerAscii(list);
    const std::string marker = LowerAscii(protocol) + "=";
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

TProxyAddress ParseProxyAddress(const std::string& url) {
    if (url.size() > 2048) return {};
    std::string rest = Trim(url);
    if (rest.empty()) return {};

    TProxyAddress result;
    std::string port = "80";
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        // Our client speaks to HTTP proxies only, in the clear or over TLS.
        const std::string name = LowerAscii(rest.substr(0, scheme));
        if (name == "https") {
            result.Tls = true;
            port = "443";
        } else if (name != "http") {
            return {};
        }
        rest.erase(0, scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) rest.erase(0, at + 1);

    std::string host = rest;
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
    result.Host = host;
    result.Port = std::to_string(number);
    return result;
}

std::string ProxyListFromUrl(const std::string& url) {
    const TProxyAddress address = ParseProxyAddress(url);
    return address.Host.empty() ? std::string() : "http=" + address.Host + ":" + address.Port;
}

namespace {

std::string FirstVariable(const char* lower, const char* upper) {
    for (const char* name : {lower, upper}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

// The host of an http: or https: address, lower-cased and without brackets; empty for others.
std::string HostOf(const std::string& url, std::string& scheme) {
    const std::size_t mark = url.find("://");
    if (mark == std::string::npos) return {};
    scheme = LowerAscii(url.substr(0, mark));
    std::string authority = url.substr(mark + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[')
        return LowerAscii(authority.substr(1, authority.find(']') - 1));
    return LowerAscii(authority.substr(0, authority.find(':')));
}

} // namespace

TSystemProxy SystemProxyFromEnvironment() {
    TSystemProxy proxy;
    proxy.Http = ParseProxyAddress(FirstVariable("http_proxy", "HTTP_PROXY"));
    proxy.Https = ParseProxyAddress(FirstVariable("https_proxy", "HTTPS_PROXY"));
    proxy.NoProxy = FirstVariable("no_proxy", "NO_PROXY");
    return proxy;
}

bool NoProxyExcludes(const std::string& noProxy, const std::string& rawHost) {
    std::string host = LowerAscii(rawHost);
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.empty()) return false;
    std::size_t pos = 0;
    while (pos <= noProxy.size()) {
        const std::size_t comma = std::min(noProxy.find(',', pos), noProxy.size());
        std::string entry = noProxy.substr(pos, comma - pos);
        pos = comma + 1;
        entry = LowerAscii(Trim(entry));
        if (entry.empty()) continue;
        if (entry == "*") return true;
        if (entry[0] == '[') {
            entry = entry.substr(1, entry.find(']') - 1); // [v6] or [v6]:port
        } else if (entry.find(':') == entry.rfind(':')) {
            entry = entry.substr(0, entry.find(':')); // name:port; an IPv6 address stays whole
        }
        while (!entry.empty() && entry[0] == '.')
            entry.erase(0, 1);
        while (!entry.empty() && entry.back() == '.')
            entry.pop_back();
        if (entry.empty()) continue;
        if (host == entry) return true;
        if (host.size() > entry.size() &&
            host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
            host[host.size() - entry.size() - 1] == '.')
            return true;
    }
    return false;
}

TProxyAddress SystemProxyFor(const TSystemProxy& proxy, const std::string& url) {
    std::string scheme;
    const std::string host = HostOf(url, scheme);
    if (host.empty() || NoProxyExcludes(proxy.NoProxy, host)) return {};
    if (scheme == "http") return proxy.Http;
    if (scheme == "https") return proxy.Https;
    return {};
}

std::string SystemProxyList() {
    const TSystemProxy proxy = SystemProxyFromEnvironment();
    std::string list;
    for (const auto& [name, address] :
         {std::pair{"http", proxy.Http}, std::pair{"https", proxy.Https}}) {
        if (address.Host.empty()) continue;
        if (!list.empty()) list += ';';
        list += std::string(name) + "=" + address.Host + ":" + address.Port;
    }
    return list;
}

bool ReadSystemProxy(const std::string& protocol, std::string& host, std::string& port) {
    const std::string list = SystemProxyList();
    ParseProxyList(list, protocol, host, port);
    return !list.empty();
}

} // namespace nimbora
