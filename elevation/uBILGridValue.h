#pragma once

// One grid as its file holds it, owned by whoever loaded it: signed 16-bit
// samples stay 16-bit, every other sample type is kept as 32-bit floats, so
// that heights are never rounded to metres on the way in.

#include "elevation/uBILHeights.h"
#include "elevation/uFMXBILUtils.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace bil {

// How the samples of a file without a usable header lie: what the layout
// question asks for.
struct GridLayout
{
    bool bigEndian = false;
    int64_t width = 0, height = 0;
    int32_t noData = BILHeightLowest;
    bool operator==(const GridLayout &) const = default;
};

// A grid's samples in memory asked for in huge pages (see largeArray).
struct FreeLarge
{
    void operator()(void *p) const;
};
template <typename T> using LargeArray = std::unique_ptr<T[], FreeLarge>;

class Grid
{
public:
    Grid() = default;
    // Room for width x height samples, not yet read: 16-bit ones in
    // wholeInto where given (it must hold them all), else in the grid's own
    // memory. Throws std::bad_alloc when the memory cannot be had.
    static Grid ofWhole(int32_t width, int32_t height, int32_t noData,
                        int16_t *wholeInto = nullptr);
    static Grid ofReal(int32_t width, int32_t height);

    int32_t width() const { return view_.width; }
    int32_t height() const { return view_.height; }
    bool isReal() const { return view_.real != nullptr; }
    int16_t *whole() { return const_cast<int16_t *>(view_.whole); }
    float *real() { return const_cast<float *>(view_.real); }
    const HeightsView &view() const { return view_; }

    QString name; // the file it was read from
    std::optional<BILGeoReference> geo;
    bool turned = false;    // the file places it turned against north, which geo cannot hold
    bool bigEndian = false; // the byte order of a file of raw samples

private:
    HeightsView view_;
    LargeArray<int16_t> ownWhole;
    LargeArray<float> ownReal;
};

// A height in metres from a sample of another type: the nearest metre, halves
// away from zero, within -32767..32767; what is not a number is missing.
inline int16_t heightFrom(double v)
{
    if (!std::isfinite(v)) return int16_t(BILHeightLowest);
    return int16_t(
        std::lround(std::clamp(v, double(BILHeightLowest + 1), double(BILHeightHighest))));
}

// A number of bytes as the messages that refuse a grid give it: "412 MB".
QString memoryText(int64_t bytes);

} // namespace bil
