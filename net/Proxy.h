#pragma once
// The proxy settings a transfer goes through.
#include "platform/SystemProxy.h"

#include <optional>
#include <string>

namespace nimbora {

struct TProxy {
    bool Autodetect = true;
    bool Enabled = false;
    std::string Address;
    std::string Port;
    bool Authenticate = false;
    std::string Username;
    std::string Password;
    // Not stored: with Autodetect, the system's proxies as read at start-up; each request's
    // address chooses among them.
    std::optional<TSystemProxy> System;
};

} // namespace nimbora
