#include "elevation/uBILResample.h"

#include "elevation/uBILKernels.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The source samples and weights of each output sample along one axis.
struct Taps
{
    std::vector<int> first; // per output sample
    std::vector<int> count;
    std::vector<double> weights; // count[i] per output sample, one after the other
    std::vector<size_t> at;      // where output sample i's weights start
};

// Output sample i of outputs stands for the centre of the i-th equal part of
// inputs; its taps reach as far as the kernel, widened by the ratio when
// shrinking, and stop at the edges. Weights sum to 1.
Taps tapsFor(int inputs, int outputs, BILResampling kind)
{
    const double scale = double(outputs) / inputs; // outputs per input
    const double widen = std::min(scale, 1.0);
    const double reach = (kind == BILResampling::Cubic ? 2.0 : 1.0) / widen;
    Taps t;
    t.first.resize(size_t(outputs));
    t.count.resize(size_t(outputs));
    t.at.resize(size_t(outputs));
    for (int i = 0; i < outputs; ++i) {
        const double centre = (i + 0.5) / scale; // in input units, 0 at the left edge
        if (kind == BILResampling::Nearest) {
            t.first[size_t(i)] = std::min(int(std::floor(centre)), inputs - 1);
            t.count[size_t(i)] = 1;
            t.at[size_t(i)] = t.weights.size();
            t.weights.push_back(1);
            continue;
        }
        const int start = std::max(0, int(std::floor(centre - reach + 0.5)));
        const int stop = std::min(inputs, int(std::floor(centre + reach + 0.5)));
        t.first[size_t(i)] = start;
        t.count[size_t(i)] = stop - start;
        t.at[size_t(i)] = t.weights.size();
        double sum = 0;
        for (int j = start; j < stop; ++j) {
            const double x = (j + 0.5 - centre) * widen;
            const double w = kind == BILResampling::Cubic ? bil::keysCubic(x) : bil::triangle(x);
            t.weights.push_back(w);
            sum += w;
        }
        if (sum != 0)
            for (size_t k = t.at[size_t(i)]; k < t.weights.size(); ++k)
                t.weights[k] /= sum;
    }
    return t;
}

// Sample i of the taps over values spaced stride apart: the weighted mean of
// the valid ones, NaN where none is.
float filtered(const Taps &t, int i, const float *values, int64_t stride)
{
    const double *w = t.weights.data() + t.at[size_t(i)];
    const float *v = values + t.first[size_t(i)] * stride;
    double sum = 0, weight = 0;
    for (int k = 0; k < t.count[size_t(i)]; ++k, v += stride) {
        if (std::isnan(*v)) continue;
        sum += w[k] * double(*v);
        weight += w[k];
    }
    return weight > 0 ? float(sum / weight) : std::numeric_limits<float>::quiet_NaN();
}

} // namespace

namespace bil {

Grid resampled(const HeightsView &heights, const std::optional<BILGeoReference> &geo, int radius,
               const CellRegion &region, int width, int height, BILResampling kind, int threads)
{
    const int columns = region.columns(), rows = region.rows();
    std::vector<float> source = exactRegion(heights, radius, region, threads);

    // Along the rows first, each source row to width samples; then down the columns.
    const Taps across = tapsFor(columns, width, kind), down = tapsFor(rows, height, kind);
    std::vector<float> widened(size_t(width) * size_t(rows));
    forEachBand(
        rows,
        [&](int jb, int je) {
            for (int j = jb; j < je; ++j)
                for (int i = 0; i < width; ++i)
                    widened[size_t(j) * size_t(width) + size_t(i)] =
                        filtered(across, i, source.data() + size_t(j) * size_t(columns), 1);
        },
        threads);
    source = {};
    Grid out = Grid::ofReal(width, height);
    forEachBand(
        height,
        [&](int jb, int je) {
            for (int j = jb; j < je; ++j)
                for (int i = 0; i < width; ++i)
                    out.real()[size_t(j) * size_t(width) + size_t(i)] =
                        filtered(down, j, widened.data() + i, width);
        },
        threads);
    if (geo) {
        BILGeoReference g = *geo;
        g.left += region.x0 * geo->cellWidth;
        g.top -= region.y0 * geo->cellHeight;
        g.cellWidth = geo->cellWidth * columns / width;
        g.cellHeight = geo->cellHeight * rows / height;
        out.geo = g;
    }
    return out;
}

} // namespace bil
