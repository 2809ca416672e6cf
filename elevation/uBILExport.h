#pragma once

// Exporting a region of a grid value: the texture and the heightmap side by
// side, all files or none.

#include "elevation/uBILGridValue.h"

#include <functional>

namespace bil {

// The heights an export of region at radius maps to black and white when no
// range is given: for an 8-bit heightmap the lowest and highest smoothed
// whole metre (a missing sample counts as 0); for 16 or 32 bits the lowest and
// highest unrounded mean of the cells that have one.
BILHeightRange regionHeightRange(const HeightsView &heights, int radius, const CellRegion &region,
                                 int heightmapBits, int threads = coreCount());

// Writes the images of region smoothed at radius, as ExportBIL does for the
// grid held, and gives the heights mapped to black and white. warn hears why
// the colour table is of no use. Throws BILError when region does not lie
// in the grid or is empty, or the images cannot be written. Both spread
// over up to threads threads; the two images' encoders take that many each
// while both run.
BILHeightRange exportRegion(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                            const QString &fileName, int radius, const CellRegion &region,
                            const BILExportOptions &options,
                            const std::function<void(const QString &)> &warn,
                            int threads = coreCount());

} // namespace bil
