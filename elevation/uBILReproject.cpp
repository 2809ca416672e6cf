#include "elevation/uBILReproject.h"

#include "elevation/uBILKernels.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

// WGS 84 longitude and latitude to and from a UTM zone, for one thread: PROJ's
// objects are not to be shared between threads.
class Transformation
{
public:
    explicit Transformation(int epsg) : context(proj_context_create(), proj_context_destroy)
    {
        const QByteArray target = "EPSG:" + QByteArray::number(epsg);
        PJ *raw = proj_create_crs_to_crs(context.get(), "EPSG:4326", target.constData(), nullptr);
        if (raw) {
            // Longitude first, as the grid has it.
            pj.reset(proj_normalize_for_visualization(context.get(), raw));
            proj_destroy(raw);
        }
        if (!pj)
            throw BILError(QStringLiteral("Cannot reproject to EPSG:%1: %2")
                               .arg(epsg)
                               .arg(QString::fromUtf8(proj_context_errno_string(
                                   context.get(), proj_context_errno(context.get()))))
                               .toStdString());
    }

    // x and y in place: longitude and latitude to metres, or back with inverse.
    void transform(std::vector<double> &x, std::vector<double> &y, bool inverse) const
    {
        proj_trans_generic(pj.get(), inverse ? PJ_INV : PJ_FWD, x.data(), sizeof(double), x.size(),
                           y.data(), sizeof(double), y.size(), nullptr, 0, 0, nullptr, 0, 0);
    }

private:
    std::unique_ptr<PJ_CONTEXT, decltype(&proj_context_destroy)> context;
    std::unique_ptr<PJ, decltype(&proj_destroy)> pj{nullptr, proj_destroy};
};

// How samples are interpolated, and by how much the kernel widens across
// and down: where the output's cells are larger than the source's, it
// spreads over as many more source samples, as GDAL's warper does.
struct Kernel
{
    BILResampling kind;
    double widthX = 1, widthY = 1; // at least 1

    double operator()(double d) const
    {
        return kind == BILResampling::Cubic ? bil::keysCubic(d) : bil::triangle(d);
    }
};

// The value at (u, v) of columns x rows samples, in sample units with sample
// centres on whole numbers: the kernel's weighted mean of the valid samples
// around it, missing when none is or the place lies outside the samples.
float interpolated(const std::vector<float> &samples, int columns, int rows, double u, double v,
                   const Kernel &kernel)
{
    const BILResampling kind = kernel.kind;
    if (!(u >= -0.5 && v >= -0.5 && u < columns - 0.5 && v < rows - 0.5)) return missing;
    if (kind == BILResampling::Nearest)
        // The sample whose cell holds the place; lround would take -0.5 to -1.
        return samples[size_t(std::floor(v + 0.5)) * size_t(columns) + size_t(std::floor(u + 0.5))];
    const double reach = kind == BILResampling::Cubic ? 2 : 1;
    const double reachX = reach * kernel.widthX, reachY = reach * kernel.widthY;
    double sum = 0, weight = 0;
    for (int y = std::max(0, int(std::floor(v - reachY)) + 1),
             yEnd = std::min(rows - 1, int(std::ceil(v + reachY)) - 1);
         y <= yEnd; ++y) {
        const double wy = kernel((v - y) / kernel.widthY);
        for (int x = std::max(0, int(std::floor(u - reachX)) + 1),
                 xEnd = std::min(columns - 1, int(std::ceil(u + reachX)) - 1);
             x <= xEnd; ++x) {
            const float s = samples[size_t(y) * size_t(columns) + size_t(x)];
            if (std::isnan(s)) continue;
            const double w = wy * kernel((u - x) / kernel.widthX);
            sum += w * double(s);
            weight += w;
        }
    }
    return weight > 0 ? float(sum / weight) : missing;
}

// Between longitude and latitude and the projected coordinates of geo.
Transformation transformation(const BILGeoReference &geo)
{
    if (!geo.epsg)
        throw BILError("The grid does not name its coordinate system, so longitude and latitude "
                       "cannot be placed on it.");
    return Transformation(geo.epsg);
}

} // namespace

namespace bil {

int utmZoneEpsg(double lon, double lat)
{
    const int zone = std::clamp(int(std::floor((lon + 180) / 6)) + 1, 1, 60);
    return (lat >= 0 ? 32600 : 32700) + zone;
}

std::pair<double, double> metresPerDegree(double lat)
{
    constexpr double a = 6378137.0, e2 = 0.00669437999014, radian = std::numbers::pi / 180;
    const double s = std::sin(lat * radian), w = std::sqrt(1 - e2 * s * s);
    return {a * (1 - e2) / (w * w * w) * radian, a * std::cos(lat * radian) / w * radian};
}

Grid toUtm(const HeightsView &heights, const BILGeoReference &geo, int radius,
           const CellRegion &region, int width, int height, BILResampling kind, int threads)
{
    const int columns = region.columns(), rows = region.rows();
    const std::vector<float> source = exactRegion(heights, radius, region, threads);

    // The region's outer edges and centre in degrees.
    const double west = geo.left + region.x0 * geo.cellWidth;
    const double north = geo.top - region.y0 * geo.cellHeight;
    const double lon = west + columns * geo.cellWidth / 2, lat = north - rows * geo.cellHeight / 2;
    const int epsg = utmZoneEpsg(lon, lat);
    const auto [perDegreeNorth, perDegreeEast] = metresPerDegree(lat);
    double extentX = columns * geo.cellWidth * perDegreeEast;
    double extentY = rows * geo.cellHeight * perDegreeNorth;
    if (width <= 0 || height <= 0) {
        // Whole square cells, as near to the extent as they come.
        const double cell = geo.cellHeight * perDegreeNorth;
        width = std::max(1, int(std::lround(extentX / cell)));
        height = std::max(1, int(std::lround(extentY / cell)));
        extentX = width * cell;
        extentY = height * cell;
    }
    std::vector<double> cx{lon}, cy{lat};
    Transformation(epsg).transform(cx, cy, false);
    const double cellX = extentX / width, cellY = extentY / height;
    const double left = cx[0] - extentX / 2, top = cy[0] + extentY / 2;
    const Kernel kernel{kind, std::max(1.0, cellX / (geo.cellWidth * perDegreeEast)),
                        std::max(1.0, cellY / (geo.cellHeight * perDegreeNorth))};

    Grid out = Grid::ofReal(width, height);
    forEachBand(
        height,
        [&](int jb, int je) {
            const Transformation back(epsg);
            std::vector<double> x(static_cast<size_t>(width)), y(static_cast<size_t>(width));
            for (int j = jb; j < je; ++j) {
                for (int i = 0; i < width; ++i) {
                    x[size_t(i)] = left + (i + 0.5) * cellX;
                    y[size_t(i)] = top - (j + 0.5) * cellY;
                }
                back.transform(x, y, true);
                float *row = out.real() + size_t(j) * size_t(width);
                for (int i = 0; i < width; ++i) {
                    // Samples' centres on whole numbers.
                    const double u = (x[size_t(i)] - west) / geo.cellWidth - 0.5;
                    const double v = (north - y[size_t(i)]) / geo.cellHeight - 0.5;
                    row[i] = interpolated(source, columns, rows, u, v, kernel);
                }
            }
        },
        threads);
    out.geo = BILGeoReference{left, top, cellX, cellY, false, epsg};
    return out;
}

QPointF fromLonLat(const BILGeoReference &geo, double lon, double lat)
{
    if (geo.geographic) return {lon, lat};
    std::vector<double> x{lon}, y{lat};
    transformation(geo).transform(x, y, false);
    return {x[0], y[0]};
}

QPointF toLonLat(const BILGeoReference &geo, double x, double y)
{
    if (geo.geographic) return {x, y};
    std::vector<double> lon{x}, lat{y};
    transformation(geo).transform(lon, lat, true);
    return {lon[0], lat[0]};
}

CellRegion boxRegion(const MapBox &box, const BILGeoReference &geo, int width, int height)
{
    double west = box.west, south = box.south, east = box.east, north = box.north;
    if (box.lonLat && !geo.geographic) {
        // The box's edges, walked in steps, bound it in map coordinates.
        constexpr int steps = 32;
        std::vector<double> x, y;
        for (int k = 0; k <= steps; ++k) {
            const double f = double(k) / steps;
            const double lon = box.west + f * (box.east - box.west);
            const double lat = box.south + f * (box.north - box.south);
            x.insert(x.end(), {lon, lon, box.west, box.east});
            y.insert(y.end(), {box.south, box.north, lat, lat});
        }
        transformation(geo).transform(x, y, false);
        const auto [xl, xh] = std::minmax_element(x.begin(), x.end());
        const auto [yl, yh] = std::minmax_element(y.begin(), y.end());
        west = *xl;
        east = *xh;
        south = *yl;
        north = *yh;
    }
    // The first and one past the last cell whose centre lies within [low, high].
    const auto cells = [](double low, double high, double count) {
        const double first = std::clamp(std::ceil(low - 0.5), 0.0, count);
        const double end = std::clamp(std::floor(high - 0.5) + 1, 0.0, count);
        return std::pair{int(first), int(end)};
    };
    const auto [x0, x1] =
        cells((west - geo.left) / geo.cellWidth, (east - geo.left) / geo.cellWidth, width);
    const auto [y0, y1] =
        cells((geo.top - north) / geo.cellHeight, (geo.top - south) / geo.cellHeight, height);
    if (x0 >= x1 || y0 >= y1) return {0, 0, 0, 0};
    return {x0, y0, x1, y1};
}

} // namespace bil
