#pragma once

// The numbers an engine's import asks for, worked out from a heightmap's
// size, spacing and height range, written beside it as JSON.

#include "elevation/uFMXBILUtils.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace bil {

// What a sidecar describes: the heightmap's samples, where they lie, and
// the heights its levels stand for.
struct HeightmapFacts
{
    int width = 0, height = 0;
    std::optional<BILGeoReference> geo; // of the heightmap's own samples
    BILHeightRange range;
    int levels = 65535; // the range spread over 0..levels; 0: floats in metres
};

// The distance between neighbouring samples across and down, in metres for a
// geographic grid (on the WGS 84 ellipsoid at the middle latitude), else in
// the grid's own units; 1 each without a georeference.
struct Spacing
{
    double x = 1, y = 1;
    QString units; // "m", "map units" or "cells"
};
Spacing spacingOf(const HeightmapFacts &facts);

// The sidecar's JSON text.
QByteArray sidecarJson(const HeightmapFacts &facts);

// The sidecar's name beside heightmap: "t.-ht.png" gives "t.-ht.json".
QString sidecarName(const QString &heightmap);

} // namespace bil
