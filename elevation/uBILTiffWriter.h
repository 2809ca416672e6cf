#pragma once

// Heights in metres as a float32 GeoTIFF, placed as the grid is, for GIS
// tools to read back.

#include "elevation/uFMXBILUtils.h"

#include <QIODevice>
#include <QString>

#include <functional>
#include <optional>

namespace bil {

// Writes the GeoTIFF of width x height heights to out, rows(first, count,
// heights) writing those rows' floats (NaN where missing, which GDAL's
// nodata tag names), DEFLATE-compressed, with geo's place and coordinate
// system where given. A grid in degrees without an EPSG code is taken for
// WGS 84. path names the file in a failure's message.
void writeFloatTiff(int width, int height,
                    const std::function<void(int first, int count, float *heights)> &rows,
                    const std::optional<BILGeoReference> &geo, QIODevice &out, const QString &path);

} // namespace bil
