#pragma once

// Filling the voids of a grid: missing samples given heights from the valid
// ones around them.

#include "elevation/uBILGridValue.h"

namespace bil {

// The grid's heights as floats with its missing cells filled from the valid
// cells around them, where a cell is at most maxDistance cells (straight
// line, centre to centre) from a valid one; farther cells stay missing
// (NaN). The fill is the smoothest surface through the valid cells around
// a void: each filled height is the mean of its four neighbours, the
// membrane that Laplace's equation gives. The grid's edges and the cells
// left missing hold it no more than an open edge would. Spreads over up to
// threads threads.
Grid filledVoids(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                 int maxDistance, int threads = coreCount());

} // namespace bil
