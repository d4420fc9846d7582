#pragma once

namespace nimbora {

// Moves the calling thread one scheduling step below normal (nice + 1), so that transfers never
// compete with drawing. Raising it back needs privileges on Linux, so there is no way back.
void LowerCurrentThreadPriority();

} // namespace nimbora
