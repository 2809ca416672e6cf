#pragma once

// A region of a grid in degrees reprojected to the UTM zone of its centre,
// so that its cells are square on the ground.

#include "elevation/uBILGridValue.h"

namespace bil {

// The UTM zone of longitude lon and latitude lat on WGS 84, as an EPSG code:
// 326zz north of the equator, 327zz south of it.
int utmZoneEpsg(double lon, double lat);

// The metres a degree of latitude and a degree of longitude span on the
// WGS 84 ellipsoid at latitude lat: first north-south, then east-west.
std::pair<double, double> metresPerDegree(double lat);

// The heights of region of a geographic grid placed by geo, smoothed at
// radius and unrounded, in the UTM zone of the region's centre. The result
// is centred on that centre: the region's east-west extent at the centre's
// latitude by its north-south extent, in metres, in square cells of the
// region's north-south cell size, or width x height cells where those are
// given (not 0). Each sample is interpolated at its centre's place in the
// region as kind says (nearest, bilinear or Keys' cubic), missing samples
// left out; one that falls outside the region is missing. Throws BILError
// when PROJ cannot make the transformation.
Grid toUtm(const HeightsView &heights, const BILGeoReference &geo, int radius,
           const CellRegion &region, int width, int height, BILResampling kind,
           int threads = coreCount());

} // namespace bil
