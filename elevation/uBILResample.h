#pragma once

// Resampling a region of a grid to an exact number of samples, as engines
// want their heightmaps.

#include "elevation/uBILGridValue.h"

namespace bil {

// The heights of region smoothed at radius, unrounded, resampled to width x
// height samples as GDAL's -outsize does: output sample (i, j) stands for the
// centre of the i-th of width equal parts of the region (likewise rows).
// Cubic is Keys' with a = -0.5, bilinear a triangle, both widened by the
// ratio when shrinking and cut at the region's edges; missing samples take
// no part, and an output sample with none is missing. Nearest takes the
// sample under the centre. The result's cells span the region; it spreads
// over up to threads threads.
Grid resampled(const HeightsView &heights, const std::optional<BILGeoReference> &geo, int radius,
               const CellRegion &region, int width, int height, BILResampling kind,
               int threads = coreCount());

} // namespace bil
