#pragma once

// Several tiles as one grid, placed by their georeference, so that a region
// across tile borders is smoothed and exported as if one file held it.

#include "elevation/uBILLoad.h"

namespace bil {

// The tiles of paths as one grid: they must lie in one coordinate system on
// one lattice of cells of one size. Rows and columns that neighbours share
// are read once, the first named tile's where they differ; cells no tile
// covers are missing. A headerless tile takes its place from an SRTM name;
// the layout question is asked once for tiles that would get the same one.
// Nullopt when the question was cancelled or the mosaic refused (through
// callbacks.refuse, naming the files); throws BILError naming the files
// when the tiles do not fit together or one cannot be read.
std::optional<Grid> loadMosaic(const QStringList &paths, const LoadCallbacks &callbacks);

} // namespace bil
