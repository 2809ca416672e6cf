#pragma once

// Smoothing a grid's heights over a region: to whole metres for the texture
// and the 8-bit heightmap, and as exact as they were read for the outputs
// finer than whole metres.

#include "elevation/uBILBands.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace bil {

// A grid's samples as its file holds them: signed 16-bit heights with their
// missing value, or floats with NaN for missing.
struct HeightsView
{
    int32_t width = 0, height = 0;
    const int16_t *whole = nullptr; // one of the two
    int32_t noData = 0;
    const float *real = nullptr;
};

// The rectangle of cells x0 <= x < x1, y0 <= y < y1.
struct CellRegion
{
    int x0, y0, x1, y1;
    int columns() const { return x1 - x0; }
    int rows() const { return y1 - y0; }
};

// The lowest and highest unrounded mean of the cells that have one, gathered
// while smoothing 16-bit samples to whole metres: rounding keeps the means'
// order, so only the cells at the lowest or highest whole metre so far need
// their mean worked out.
struct MeanRange
{
    int16_t lowWhole = std::numeric_limits<int16_t>::max();
    int16_t highWhole = std::numeric_limits<int16_t>::min();
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();

    // A cell whose mean mean() rounds to whole.
    template <typename Mean> void take(int16_t whole, Mean mean)
    {
        if (whole <= lowWhole) {
            lowest = whole < lowWhole ? mean() : std::min(lowest, mean());
            lowWhole = whole;
        }
        if (whole >= highWhole) {
            highest = whole > highWhole ? mean() : std::max(highest, mean());
            highWhole = whole;
        }
    }
    void join(const MeanRange &other)
    {
        if (other.lowest > other.highest) return; // no cell
        take(other.lowWhole, [&] { return other.lowest; });
        take(other.highWhole, [&] { return other.highest; });
    }
};

// Writes the region's means at radius in whole metres, halves to even, row
// y0 first at out and rows pitch samples apart: the mean of the valid
// samples within radius cells, a float sample counting as its nearest metre;
// 0 where the window holds none. At radius 0 the samples themselves. Spreads
// over up to threads threads, as do the passes below. For 16-bit samples,
// means (where given) also gathers the range of the region's unrounded means.
void smoothWhole(const HeightsView &heights, int radius, const CellRegion &region, int16_t *out,
                 int64_t pitch, int threads = coreCount(), MeanRange *means = nullptr);

// Calls row(y, means) for every row y of the region, from several threads at
// once: means[i] is the mean of the valid samples within radius cells of
// cell (x0 + i, y), as a double, or NaN where there is none. The whole-metre
// smoothing rounds exactly these means.
void exactMeans(const HeightsView &heights, int radius, const CellRegion &region,
                const std::function<void(int y, const double *means)> &row,
                int threads = coreCount());

// The means of exactMeans as floats, the region's rows one after the other.
std::vector<float> exactRegion(const HeightsView &heights, int radius, const CellRegion &region,
                               int threads = coreCount());

} // namespace bil
