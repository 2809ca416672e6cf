#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"

#include <algorithm>
#include <vector>

namespace {

// Rounds to the nearest integer, halves to even, for |v| < 2^51: adding and
// taking away 1.5 * 2^52 leaves no fraction bits, and the default rounding
// mode breaks ties to even. Unlike std::nearbyint it compiles to two adds.
double roundHalfEven(double v)
{
    constexpr double magic = 6755399441055744.0;
    return (v + magic) - magic;
}

// Box mean of the rows [yb, ye): running column sums over the window's rows,
// then a running sum along the row; missing samples count in neither. Sum
// holds (2 radius + 1)^2 samples of 16 bits. The column sums sit between
// radius + 1 zeros on the left and radius on the right, so that the running
// sum along a row needs no test at the edges.
template <typename Sum> void smoothBand(int radius, int yb, int ye)
{
    const int w = BILWidth, h = BILHeight;
    const int32_t noData = BILNoData;
    const size_t pad = size_t(radius) + 1, span = 2 * size_t(radius) + 1;
    std::vector<Sum> colSum(size_t(w) + span, 0), rowSum(static_cast<size_t>(w));
    std::vector<int32_t> colCount(size_t(w) + span, 0), rowCount(static_cast<size_t>(w));
    const auto addRow = [&](int y, int sign) {
        const int16_t *row = BILRaw + int64_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const bool valid = row[x] != noData;
            colSum[pad + size_t(x)] += sign * (valid ? row[x] : 0);
            colCount[pad + size_t(x)] += sign * int32_t(valid);
        }
    };
    // Start one row early: the first step of the loop takes that row out again.
    for (int y = std::max(0, yb - radius - 1); y <= std::min(h - 1, yb + radius - 1); ++y)
        addRow(y, 1);
    for (int y = yb; y < ye; ++y) {
        if (y + radius < h) addRow(y + radius, 1);
        if (y - radius - 1 >= 0) addRow(y - radius - 1, -1);
        // The window of column -1, then one column on at a time.
        Sum sum = 0;
        int32_t count = 0;
        for (size_t k = 0; k < span; ++k) {
            sum += colSum[k];
            count += colCount[k];
        }
        for (size_t x = 0; x < size_t(w); ++x) {
            sum += colSum[x + span] - colSum[x];
            count += colCount[x + span] - colCount[x];
            rowSum[x] = sum;
            rowCount[x] = count;
        }
        // Kept apart from the running sums, and without branches (a window
        // of missing samples has sum 0), so that the divisions vectorise.
        int16_t *out = BILData + int64_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int32_t n = rowCount[size_t(x)];
            const double mean = double(rowSum[size_t(x)]) / double(n + int32_t(n == 0));
            out[x] = int16_t(int32_t(roundHalfEven(mean)));
        }
    }
}

} // namespace

void SmoothBIL(int radius)
{
    if (!bil::gridUsable()) return;
    if (radius <= 0) {
        const int32_t noData = BILNoData;
        bil::forEachBand(BILHeight, [&](int yb, int ye) {
            for (int64_t i = int64_t(yb) * BILWidth, end = int64_t(ye) * BILWidth; i < end; ++i)
                BILData[i] = bil::workingSample(BILRaw[i], noData);
        });
        return;
    }
    // Beyond the grid's larger side a wider window takes in nothing more.
    const int reach = std::min(radius, std::max(BILWidth, BILHeight));
    bil::forEachBand(BILHeight, [&](int yb, int ye) {
        if (reach <= 127) // (2 * 127 + 1)^2 samples of at most 2^15 still fit 32 bits
            smoothBand<int32_t>(reach, yb, ye);
        else
            smoothBand<int64_t>(reach, yb, ye);
    });
}
