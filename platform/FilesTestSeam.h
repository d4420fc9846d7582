#pragma once
// Tests only: makes the steps of ReplaceFileAtomically fail on purpose. The program never
// includes this.
#include <functional>

namespace nimbora {

enum class TFileWriteStep { CreateTemp, Write, Permissions, Sync, Close, Rename };
// Called before each step; returning true makes that step fail. Empty to reset.
void SetFileWriteFault(std::function<bool(TFileWriteStep)> fault);

} // namespace nimbora
