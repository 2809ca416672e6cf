#pragma once

// Turning the working samples into pixels through a table with one entry per
// height, shared by the preview and the export.

#include "elevation/uBILBands.h"
#include "elevation/uFMXBILUtils.h"

#include <vector>

namespace bil {

// A colour function's value for every height, indexed by height + BILHeightOffset.
// The colour functions are pure for a given scan, so one call per height
// replaces one call per pixel.
using ColorLut = std::vector<TAlphaColor>;
ColorLut colorLut(BILColorFunc color);

// Rounds to the nearest integer, halves to even, for |v| < 2^51: adding and
// taking away 1.5 * 2^52 leaves no fraction bits, and the default rounding
// mode breaks ties to even. Unlike std::nearbyint it compiles to two adds,
// which vectorise.
inline double roundHalfEven(double v)
{
    constexpr double magic = 6755399441055744.0;
    return (v + magic) - magic;
}

// The same for floats, |v| < 2^22.
inline float roundHalfEven(float v)
{
    constexpr float magic = 12582912.0f;
    return (v + magic) - magic;
}

// The grey level of height h where lowest is black and highest is white
// (level top): halves to even, heights beyond the range at its ends, all
// black where the range is empty.
inline int greyLevel(double h, double lowest, double highest, int top)
{
    if (highest == lowest) return 0;
    const double v = (h - lowest) / (highest - lowest) * top;
    return v > top ? top : v < 0 ? 0 : int(roundHalfEven(v));
}

// Looks up count whole-metre samples in lut.
template <typename Pixel>
void renderRow(const std::vector<Pixel> &lut, const int16_t *samples, int count, Pixel *out)
{
    for (int i = 0; i < count; ++i)
        out[i] = lut[size_t(samples[i] + BILHeightOffset)];
}

// The lowest and highest of rows x columns whole-metre samples, row by row
// pitch apart from first.
struct WholeRange
{
    int16_t lowest, highest;
};
WholeRange wholeRange(const int16_t *first, int64_t pitch, int columns, int rows,
                      int threads = coreCount());

} // namespace bil
