#pragma once

// Laplace's equation on the cells of a grid to fill, by multigrid: the
// membrane through the valid cells around them, or its corrections. The
// void fill starts from it and preconditions its smoother surface with it,
// one void at a time, each on its own thread.

#include <cmath>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace bil::fill {

// The cells x0 <= x < x1 of row y.
struct Run
{
    int y, x0, x1;
};

// The spans sorted, those that overlap or touch joined.
std::vector<Run> merged(std::vector<Run> spans);
// The cells of spans where z, rows width apart, is missing, or has a value.
std::vector<Run> where(const std::vector<Run> &spans, const float *z, int width, bool missing);
// The cells of runs with their neighbours across an edge, inside a width x
// height grid.
std::vector<Run> widened(const std::vector<Run> &runs, int width, int height);

// The sum of the neighbours across an edge of cell (x, y) of a width x
// height grid z that have a value, and how many they are.
struct Pull
{
    float sum = 0;
    int count = 0;
};
inline Pull pull(const float *z, int width, int height, int x, int y)
{
    const size_t i = size_t(y) * size_t(width) + size_t(x);
    Pull p;
    const auto take = [&](float v) {
        if (std::isnan(v)) return;
        p.sum += v;
        ++p.count;
    };
    if (x > 0) take(z[i - 1]);
    if (x + 1 < width) take(z[i + 1]);
    if (y > 0) take(z[i - size_t(width)]);
    if (y + 1 < height) take(z[i + size_t(width)]);
    return p;
}

// One level of the pyramid: values, NaN where missing and not to be
// filled, and the cells to fill. At the finest, heights; above it,
// corrections to the level below, a cell standing for two by two there.
// The equation of a cell to fill: its value times the number of its
// neighbours with one, plus shift, less their sum, is rhs (0 where there is
// none).
struct Level
{
    int width = 0, height = 0;
    float *z = nullptr;
    float *rhs = nullptr;
    float shift = 0;
    std::vector<Run> fill;
    std::unique_ptr<float[]> own, ownRhs; // z and rhs of the levels above
};

// The levels above finest for its corrections, up to the first with nothing
// to fill. finest's cells to fill must be missing in z yet.
std::vector<Level> pyramid(const Level &finest);

// Relaxes the cells to fill of l, at most sweeps times, fewer once none
// moves by tolerance; gives how far a cell moved in the last sweep.
float relax(Level &l, int sweeps, float tolerance);

// One multigrid cycle on l, above being the pyramid above it, under l's
// shift; gives how far a cell of l moved last.
float cycle(Level &l, std::span<Level> above, float tolerance);

} // namespace bil::fill
