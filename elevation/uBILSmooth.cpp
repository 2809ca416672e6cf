#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILGridValue.h"
#include "elevation/uBILRender.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

// Window sums for the cells [xb, xe) x [yb, ye) of a w x h grid of samples:
// running column sums over the window's rows, then a running sum along the
// row; samples that are not valid count in neither, the others as
// value(sample). deliver(y, sums, counts) takes each row's sums and counts,
// cell xb first. Column sums are kept for the columns xb - radius - 1 ..
// xe + radius - 1, zero beyond the grid, so that the running sum along a row
// needs no test at the edges.
template <typename Sum, typename Sample, typename Valid, typename Value, typename Deliver>
void windowSums(const Sample *samples, int w, int h, int radius, int xb, int xe, int yb, int ye,
                Valid valid, Value value, Deliver deliver)
{
    const size_t span = 2 * size_t(radius) + 1, columns = size_t(xe - xb);
    const int64_t shift = int64_t(xb) - radius - 1; // the column of colSum[0]
    const int cb = int(std::max<int64_t>(0, shift)), ce = int(std::min<int64_t>(w, xe + radius));
    std::vector<Sum> colSum(columns + span, 0), rowSum(columns);
    std::vector<int32_t> colCount(columns + span, 0), rowCount(columns);
    const auto addRow = [&](int y, int sign) {
        const Sample *row = samples + int64_t(y) * w;
        for (int x = cb; x < ce; ++x) {
            const bool ok = valid(row[x]);
            colSum[size_t(x - shift)] += Sum(sign) * (ok ? Sum(value(row[x])) : Sum(0));
            colCount[size_t(x - shift)] += sign * int32_t(ok);
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
        for (size_t x = 0; x < columns; ++x) {
            sum += colSum[x + span] - colSum[x];
            count += colCount[x + span] - colCount[x];
            rowSum[x] = sum;
            rowCount[x] = count;
        }
        deliver(y, rowSum.data(), rowCount.data());
    }
}

// Beyond the grid's larger side a wider window takes in nothing more.
int reachOf(int radius, int width, int height)
{
    return std::min(radius, std::max(width, height));
}

// Calls sums(samples, valid, value, Sum{}) with heights' samples, their
// validity and their value, whole metres or exact, and a sum type wide
// enough for reach: (2 * 127 + 1)^2 samples of at most 2^15 still fit 32 bits.
template <bool exact, typename Sums>
void withSamples(const bil::HeightsView &heights, int reach, Sums sums)
{
    if (heights.real) {
        const auto valid = [](float v) { return !std::isnan(v); };
        const auto metres = [](float v) { return bil::heightFrom(v); };
        if constexpr (exact)
            sums(
                heights.real, valid, [](float v) { return double(v); }, double{});
        else if (reach <= 127)
            sums(heights.real, valid, metres, int32_t{});
        else
            sums(heights.real, valid, metres, int64_t{});
        return;
    }
    const int32_t noData = heights.noData;
    const auto valid = [noData](int16_t v) { return v != noData; };
    const auto value = [](int16_t v) { return v; };
    if (reach <= 127)
        sums(heights.whole, valid, value, int32_t{});
    else
        sums(heights.whole, valid, value, int64_t{});
}

// Calls deliver(y, sums, counts) for the rows of region, from up to threads threads at once.
template <bool exact, typename Deliver>
void regionSums(const bil::HeightsView &heights, int radius, const bil::CellRegion &region,
                Deliver deliver, int threads)
{
    const int reach = reachOf(std::max(radius, 0), heights.width, heights.height);
    bil::forEachBand(
        region.rows(),
        [&](int jb, int je) {
            withSamples<exact>(
                heights, reach, [&](const auto *samples, auto valid, auto value, auto sum) {
                    windowSums<decltype(sum)>(samples, heights.width, heights.height, reach,
                                              region.x0, region.x1, region.y0 + jb, region.y0 + je,
                                              valid, value, deliver);
                });
        },
        threads);
}

} // namespace

void SmoothBIL(int radius)
{
    if (!bil::gridUsable()) return;
    // The whole metres as the globals hold them, a float grid's included.
    bil::smoothWhole({BILWidth, BILHeight, BILRaw, BILNoData, nullptr}, radius,
                     {0, 0, BILWidth, BILHeight}, BILData, BILWidth);
}

namespace bil {

void smoothWhole(const HeightsView &heights, int radius, const CellRegion &region, int16_t *out,
                 int64_t pitch, int threads, MeanRange *means)
{
    const int x0 = region.x0, columns = region.columns();
    if (heights.real) means = nullptr; // their whole metres are rounded before the mean
    std::mutex joining;
    // Gathers the means of a row's cells, counts[i] samples summing to sums[i].
    const auto gather = [&](const int16_t *row, const auto *sums, const int32_t *counts) {
        MeanRange own;
        for (int i = 0; i < columns; ++i)
            if (counts[i] > 0)
                own.take(row[i], [&] { return double(sums[i]) / double(counts[i]); });
        const std::lock_guard lock(joining);
        means->join(own);
    };
    if (radius <= 0) {
        bil::forEachBand(
            region.rows(),
            [&](int jb, int je) {
                for (int j = jb; j < je; ++j) {
                    const int64_t at = int64_t(region.y0 + j) * heights.width + x0;
                    int16_t *row = out + j * pitch;
                    if (heights.real)
                        for (int i = 0; i < columns; ++i)
                            row[i] = bil::workingSample(bil::heightFrom(heights.real[at + i]),
                                                        BILHeightLowest);
                    else
                        for (int i = 0; i < columns; ++i)
                            row[i] = bil::workingSample(heights.whole[at + i], heights.noData);
                    if (means) {
                        // Each valid sample its own mean.
                        const int16_t *samples = heights.whole + at;
                        thread_local std::vector<int32_t> counts;
                        counts.resize(size_t(columns));
                        for (int i = 0; i < columns; ++i)
                            counts[size_t(i)] = samples[i] != heights.noData;
                        gather(row, samples, counts.data());
                    }
                }
            },
            threads);
        return;
    }
    // The mean of a window of n <= 225 whole metres is divided in floats,
    // twice as many at a time as in doubles, and rounds to the same metre:
    // the sum is exact in a float, the quotient is off by at most 2^-9, and
    // a mean that is no half metre lies at least 1/(2n) > 2^-9 from one.
    const bool inFloats = reachOf(radius, heights.width, heights.height) <= 7;
    regionSums<false>(
        heights, radius, region,
        [&](int y, const auto *sums, const int32_t *counts) {
            // Without branches (a window of missing samples has sum 0), so
            // that the divisions vectorise.
            int16_t *row = out + (y - region.y0) * pitch;
            if (inFloats)
                for (int i = 0; i < columns; ++i) {
                    const int32_t n = counts[i];
                    const float mean = float(sums[i]) / float(n + int32_t(n == 0));
                    row[i] = int16_t(int32_t(bil::roundHalfEven(mean)));
                }
            else
                for (int i = 0; i < columns; ++i) {
                    const int32_t n = counts[i];
                    const double mean = double(sums[i]) / double(n + int32_t(n == 0));
                    row[i] = int16_t(int32_t(bil::roundHalfEven(mean)));
                }
            if (means) gather(row, sums, counts);
        },
        threads);
}

void exactMeans(const HeightsView &heights, int radius, const CellRegion &region,
                const std::function<void(int y, const double *means)> &row, int threads)
{
    const int columns = region.columns();
    regionSums<true>(
        heights, radius, region,
        [&](int y, const auto *sums, const int32_t *counts) {
            // 0 / 0 is the NaN of a window without a valid sample.
            thread_local std::vector<double> means;
            means.resize(size_t(columns));
            for (int i = 0; i < columns; ++i)
                means[size_t(i)] = double(sums[i]) / double(counts[i]);
            row(y, means.data());
        },
        threads);
}

std::vector<float> exactRegion(const HeightsView &heights, int radius, const CellRegion &region,
                               int threads)
{
    const int columns = region.columns();
    std::vector<float> out(size_t(columns) * size_t(region.rows()));
    exactMeans(
        heights, radius, region,
        [&](int y, const double *means) {
            std::transform(means, means + columns,
                           out.data() + size_t(y - region.y0) * size_t(columns),
                           [](double m) { return float(m); });
        },
        threads);
    return out;
}

} // namespace bil
