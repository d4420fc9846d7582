// Command templates from the desktop's handler files, with any address: the template is cut
// into program and arguments without fault, and a plain "%u" argument receives a safe address
// as exactly one argument. Input: template, NUL, address.
#include "fuzz/FuzzSupport.h"
#include "ui/extensioninfo.h"

using namespace nimbora;

namespace {

TSplitEnv FixedEnv() {
    TSplitEnv env;
    env.GetEnv = [](const std::string& name) -> std::optional<std::string> {
        if (name == "HOME") return std::string("/home/user");
        if (name == "PROGRAMFILES") return std::string("C:\\Program Files");
        return std::nullopt;
    };
    return env; // no search folders: a program named without a folder is not found
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::TParts in = fuzz::SplitInput(data, size, 2);
    static const TSplitEnv env = FixedEnv();

    const TSplitResult any = SplitCommand(in.Part[0], in.Part[1], env);
    if (any.Success) FUZZ_CHECK(!any.Program.empty());
    SplitArguments(any.Arguments);
    SplitArguments(in.Part[0]);

    const std::string safe = SafeLinkAddress(in.Part[1]);
    if (safe.empty()) return 0;
    const TSplitResult plain = SplitCommand("/usr/bin/browser --new-tab %u", safe, env);
    FUZZ_CHECK(plain.Success && plain.Program == "/usr/bin/browser");
    const std::vector<std::string> args = SplitArguments(plain.Arguments);
    FUZZ_CHECK(args.size() == 2 && args[0] == "--new-tab" && args[1] == safe);
    return 0;
}
