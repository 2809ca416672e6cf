#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILHeights.h"

#include <algorithm>
#include <cmath>
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

// Window sums for the rows [yb, ye) of a w x h grid of samples: running
// column sums over the window's rows, then a running sum along the row;
// samples that are not valid count in neither. deliver(y, sums, counts) takes
// each row's sums and counts. The column sums sit between radius + 1 zeros on
// the left and radius on the right, so that the running sum along a row
// needs no test at the edges.
template <typename Sum, typename Sample, typename Valid, typename Deliver>
void windowSums(const Sample *samples, int w, int h, int radius, int yb, int ye, Valid valid,
                Deliver deliver)
{
    const size_t pad = size_t(radius) + 1, span = 2 * size_t(radius) + 1;
    std::vector<Sum> colSum(size_t(w) + span, 0), rowSum(static_cast<size_t>(w));
    std::vector<int32_t> colCount(size_t(w) + span, 0), rowCount(static_cast<size_t>(w));
    const auto addRow = [&](int y, int sign) {
        const Sample *row = samples + int64_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const bool ok = valid(row[x]);
            colSum[pad + size_t(x)] += Sum(sign) * (ok ? Sum(row[x]) : Sum(0));
            colCount[pad + size_t(x)] += sign * int32_t(ok);
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
        deliver(y, rowSum.data(), rowCount.data());
    }
}

// Box mean of the rows [yb, ye) of BILRaw into BILData, rounded to whole
// metres. Sum holds (2 radius + 1)^2 samples of 16 bits.
template <typename Sum> void smoothBand(int radius, int yb, int ye)
{
    const int32_t noData = BILNoData;
    windowSums<Sum>(
        BILRaw, BILWidth, BILHeight, radius, yb, ye, [noData](int16_t v) { return v != noData; },
        [](int y, const Sum *sums, const int32_t *counts) {
            // Without branches (a window of missing samples has sum 0), so
            // that the divisions vectorise.
            int16_t *out = BILData + int64_t(y) * BILWidth;
            for (int x = 0; x < BILWidth; ++x) {
                const int32_t n = counts[x];
                const double mean = double(sums[x]) / double(n + int32_t(n == 0));
                out[x] = int16_t(int32_t(roundHalfEven(mean)));
            }
        });
}

// Beyond the grid's larger side a wider window takes in nothing more.
int reachOf(int radius, int width, int height)
{
    return std::min(radius, std::max(width, height));
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
    const int reach = reachOf(radius, BILWidth, BILHeight);
    bil::forEachBand(BILHeight, [&](int yb, int ye) {
        if (reach <= 127) // (2 * 127 + 1)^2 samples of at most 2^15 still fit 32 bits
            smoothBand<int32_t>(reach, yb, ye);
        else
            smoothBand<int64_t>(reach, yb, ye);
    });
}

namespace bil {

void exactMeans(const HeightsView &heights, int radius, const CellRegion &region,
                const std::function<void(int y, const double *means)> &row)
{
    const int reach = reachOf(std::max(radius, 0), heights.width, heights.height);
    const int x0 = region.x0, columns = region.x1 - region.x0;
    bil::forEachBand(region.y1 - region.y0, [&](int jb, int je) {
        std::vector<double> means(static_cast<size_t>(columns));
        const auto deliver = [&](int y, const auto *sums, const int32_t *counts) {
            // 0 / 0 is the NaN of a window without a valid sample.
            for (int i = 0; i < columns; ++i)
                means[size_t(i)] = double(sums[x0 + i]) / double(counts[x0 + i]);
            row(y, means.data());
        };
        const int yb = region.y0 + jb, ye = region.y0 + je;
        if (heights.real) {
            windowSums<double>(heights.real, heights.width, heights.height, reach, yb, ye,
                               [](float v) { return !std::isnan(v); }, deliver);
        } else {
            const int32_t noData = heights.noData;
            const auto valid = [noData](int16_t v) { return v != noData; };
            if (reach <= 127) // as in the whole-metre smoothing
                windowSums<int32_t>(heights.whole, heights.width, heights.height, reach, yb, ye,
                                    valid, deliver);
            else
                windowSums<int64_t>(heights.whole, heights.width, heights.height, reach, yb, ye,
                                    valid, deliver);
        }
    });
}

} // namespace bil
