#pragma once

// A region of a grid in degrees reprojected to the UTM zone of its centre,
// so that its cells are square on the ground.

#include "elevation/uBILGridValue.h"

#include <QPointF>

namespace bil {

// The UTM zone of longitude lon and latitude lat on WGS 84, as an EPSG code:
// 326zz north of the equator, 327zz south of it.
int utmZoneEpsg(double lon, double lat);

// The metres a degree of latitude and a degree of longitude span on the
// WGS 84 ellipsoid at latitude lat: first north-south, then east-west.
std::pair<double, double> metresPerDegree(double lat);

// A rectangle in a grid's own coordinates, or in longitude and latitude.
struct MapBox
{
    double west = 0, south = 0, east = 0, north = 0;
    bool lonLat = false;
    bool operator==(const MapBox &) const = default;
};

// The cells of a width x height grid placed by geo whose centres lie in box;
// empty when none does. A box in longitude and latitude is converted to a
// projected grid's coordinates, the region taking in all of it. Throws
// BILError when a projected grid names no coordinate system to convert to.
CellRegion boxRegion(const MapBox &box, const BILGeoReference &geo, int width, int height);

// A place in degrees of longitude and latitude (WGS 84) in the coordinates
// of a grid placed by geo, and back: the same numbers for a grid in degrees,
// converted with PROJ for a projected one. Throws BILError when a projected
// grid names no coordinate system.
QPointF fromLonLat(const BILGeoReference &geo, double lon, double lat);
QPointF toLonLat(const BILGeoReference &geo, double x, double y);

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
