#pragma once

// Turning the working samples into pixels through a table with one entry per
// height, shared by the preview and the export.

#include "elevation/uFMXBILUtils.h"

#include <cmath>
#include <vector>

namespace bil {

// A colour function's value for every height, indexed by height + BILHeightOffset.
// The colour functions are pure for a given scan, so one call per height
// replaces one call per pixel.
using ColorLut = std::vector<TAlphaColor>;
ColorLut colorLut(BILColorFunc color);

// The grey level of height h where lowest is black and highest is white
// (level top): halves to even, heights beyond the range at its ends, all
// black where the range is empty.
inline int greyLevel(double h, double lowest, double highest, int top)
{
    if (highest == lowest) return 0;
    const double v = (h - lowest) / (highest - lowest) * top;
    return v > top ? top : v < 0 ? 0 : int(std::nearbyint(v));
}

// Looks up the samples x0 <= x < x1 of row y of BILData in lut.
template <typename Pixel>
void renderRow(const std::vector<Pixel> &lut, int y, int x0, int x1, Pixel *out)
{
    const int16_t *samples = BILData + int64_t(y) * BILWidth;
    for (int x = x0; x < x1; ++x)
        *out++ = lut[size_t(samples[x] + BILHeightOffset)];
}

} // namespace bil
