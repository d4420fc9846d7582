#pragma once
// The coastlines, national boundaries and islands as the globe draws them: on their shell, with
// the coarser copies and chunks of a line set. The layout is the same at every start, so the
// build makes it once (MakeBoundaryLayout) and the program carries the bytes; laying the lines
// out from the polylines remains for when those bytes cannot be used.
#include "render/LineChunks.h"
#include "render/polylines.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nimbora {

inline constexpr float BoundaryRadius = 5.02f;
// The coarser copies of the boundary lines (globe units; none strays further from the line).
inline const std::vector<double> BoundaryTolerances = {0.002, 0.004, 0.008, 0.016, 0.032};

// The polylines of each resource of BoundaryResources, in that order, laid out on the shell.
TLineLayout LayOutBoundaries(std::span<const std::vector<TPolyline>> resources);

// A layout as bytes, in this machine's byte order and number formats, and back. The reading
// takes only what is whole and consistent: every count within the bytes, every chunk within the
// vertices; anything else gives nothing.
std::vector<std::uint8_t> StoreLineLayout(const TLineLayout& layout);
std::optional<TLineLayout> ReadLineLayout(std::span<const std::uint8_t> bytes);

// The layout of the boundaries made with the build (its bytes, as StoreLineLayout wrote them).
std::span<const std::uint8_t> BuiltBoundaryLayout();

} // namespace nimbora
