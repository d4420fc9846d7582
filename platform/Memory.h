#pragma once

namespace nimbora {

// Makes every freed block of a mebibyte or more go straight back to the system. Decoded
// pictures and their bands are made and freed on worker threads; the C library would otherwise
// raise its threshold for that after the first large free and keep later pictures' memory in
// the workers' heaps, where the window never needs it again. Call once, before threads start.
void ReturnLargeBlocksToTheSystem();

} // namespace nimbora
