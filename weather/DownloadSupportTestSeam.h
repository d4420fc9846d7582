#pragma once
// Tests only: a fixed seed for the program's random generator, for repeatable names and server
// choices. The program never includes this.
#include <cstdint>

namespace nimbora {

void SeedRandom(std::uint32_t seed);

} // namespace nimbora
