#pragma once
// The proxy settings a transfer goes through.
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
};

} // namespace nimbora
