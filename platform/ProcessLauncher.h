#pragma once
// Starts another program on its own, without a shell in between.
#include <string>
#include <vector>

namespace nimbora {

// Starts the program with exactly these arguments and does not wait for it. True when the
// program was started.
bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace nimbora
