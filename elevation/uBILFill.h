#pragma once

// Filling the voids of a grid: missing samples given heights from the valid
// ones around them.

#include "elevation/uBILGridValue.h"

namespace bil {

// How far from a valid cell voids are filled unless told otherwise, in cells.
constexpr int defaultFillDistance = 100;

// The grid's heights as floats with its missing cells filled from the valid
// cells around them, where a cell is at most maxDistance cells (straight
// line, centre to centre) from a valid one; farther cells stay missing
// (NaN). Each void is filled with the smoothest surface that meets the
// terrain around it, in height and in slope: a thin plate under a little
// tension. The grid's edges and the cells left missing hold it no more
// than an open edge would. The voids spread over up to threads threads.
Grid filledVoids(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                 int maxDistance, int threads = coreCount());

} // namespace bil
