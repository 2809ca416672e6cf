#pragma once

// The box mean computed the slow, obvious way: every window summed directly.
// The fast smoothing must give exactly these samples, and the unrounded
// means exactly these means.

#include "elevation/uFMXBILUtils.h"

#include <algorithm>
#include <cmath>
#include <vector>

inline std::vector<int16_t> ReferenceSmooth(int radius)
{
    const int w = BILWidth, h = BILHeight;
    std::vector<int16_t> out(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            int n = 0;
            for (int wy = std::max(0, y - radius); wy <= std::min(y + radius, h - 1); ++wy)
                for (int wx = std::max(0, x - radius); wx <= std::min(x + radius, w - 1); ++wx) {
                    const int16_t s = BILRaw[size_t(wy) * size_t(w) + size_t(wx)];
                    if (s != BILNoData) {
                        sum += s;
                        ++n;
                    }
                }
            out[size_t(y) * size_t(w) + size_t(x)] =
                n ? int16_t(std::nearbyint(sum / n)) : int16_t(0);
        }
    return out;
}

// The unrounded mean of the valid samples within radius of each cell of a
// w x h grid, NaN where there is none: missing heights are NaN.
inline std::vector<double> ReferenceMeans(const std::vector<double> &heights, int w, int h,
                                          int radius)
{
    std::vector<double> means(heights.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            int n = 0;
            for (int wy = std::max(0, y - radius); wy <= std::min(y + radius, h - 1); ++wy)
                for (int wx = std::max(0, x - radius); wx <= std::min(x + radius, w - 1); ++wx)
                    if (const double v = heights[size_t(wy) * size_t(w) + size_t(wx)];
                        !std::isnan(v)) {
                        sum += v;
                        ++n;
                    }
            means[size_t(y) * size_t(w) + size_t(x)] = n ? sum / n : std::nan("");
        }
    return means;
}
