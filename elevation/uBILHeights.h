#pragma once

// Heights as exact as they were read, for the outputs finer than whole
// metres: means over the smoothing window without rounding.

#include <cstdint>
#include <functional>

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
};

// Calls row(y, means) for every row y of the region, from several cores at
// once: means[i] is the mean of the valid samples within radius cells of
// cell (x0 + i, y), as a double, or NaN where there is none. The whole-metre
// smoothing rounds exactly these means.
void exactMeans(const HeightsView &heights, int radius, const CellRegion &region,
                const std::function<void(int y, const double *means)> &row);

} // namespace bil
