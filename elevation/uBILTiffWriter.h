#pragma once

// Heights in metres as a float32 GeoTIFF, placed as the grid is, for GIS
// tools to read back.

#include "elevation/uFMXBILUtils.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace bil {

// The GeoTIFF of width x height heights, row(y, out) writing row y's floats
// (NaN where missing, which GDAL's nodata tag names), DEFLATE-compressed,
// with geo's place and coordinate system where given. A grid in degrees
// without an EPSG code is taken for WGS 84. path only names the file in a
// failure's message.
QByteArray encodeFloatTiff(int width, int height, const std::function<void(int y, float *out)> &row,
                           const std::optional<BILGeoReference> &geo, const QString &path);

} // namespace bil
