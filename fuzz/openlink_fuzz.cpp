// The address encoding of OpenLink on any text: an address it lets through is plain ASCII
// without blanks, quotes or shell characters, encoding it again changes nothing, and the
// browser receives exactly that address as one argument.
#include "fuzz/FuzzSupport.h"
#include "ui/extensioninfo.h"

#include <cstring>

using namespace nimbora;

namespace {

// Characters that a shell or a command template could give a meaning.
bool Unsafe(unsigned char c) {
    return c <= ' ' || c >= 0x7f || std::strchr("\"'\\`<>{}|^$();&!", c) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string address(reinterpret_cast<const char*>(data), size);
    const std::string safe = SafeLinkAddress(address);
    if (safe.empty()) return 0;
    for (unsigned char c : safe)
        FUZZ_CHECK(!Unsafe(c));
    FUZZ_CHECK(SafeLinkAddress(safe) == safe);

    std::string program;
    std::vector<std::string> arguments;
    TLinkEnv env;
    env.BrowserCommand = [] { return std::string("/usr/bin/browser %u"); };
    env.Launch = [&](const std::string& p, const std::vector<std::string>& a) {
        program = p;
        arguments = a;
        return true;
    };
    FUZZ_CHECK(OpenLink(address, env));
    FUZZ_CHECK(program == "/usr/bin/browser");
    FUZZ_CHECK(arguments.size() == 1 && arguments[0] == safe);
    return 0;
}
