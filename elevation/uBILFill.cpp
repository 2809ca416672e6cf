#include "elevation/uBILFill.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

// The cells x0 <= x < x1 of row y, still to be filled.
struct Run
{
    int y, x0, x1;
};

// One level of the pyramid the fill is solved on: values, NaN where
// missing, and the cells to fill, row by row. Level 0 is the result itself;
// the levels above hold corrections to the one below, a cell of theirs
// standing for two by two below.
struct Level
{
    int width = 0, height = 0;
    float *z = nullptr;
    std::unique_ptr<float[]> own; // z of the levels above
    std::unique_ptr<float[]> rhs; // what the level below lacks, above level 0
    std::vector<Run> runs;
    std::vector<size_t> parts; // part p is runs [parts[p], parts[p + 1])
};

// Copies the heights as floats into z; whether any is missing.
bool copyHeights(const bil::HeightsView &heights, float *z, int threads)
{
    std::atomic<bool> any{false};
    const size_t w = size_t(heights.width);
    bil::forEachBand(
        heights.height,
        [&](int jb, int je) {
            const size_t b = size_t(jb) * w, e = size_t(je) * w;
            bool hole = false;
            if (heights.real) {
                for (size_t i = b; i < e; ++i) {
                    z[i] = heights.real[i];
                    hole |= std::isnan(z[i]);
                }
            } else {
                for (size_t i = b; i < e; ++i) {
                    const bool gap = heights.whole[i] == heights.noData;
                    z[i] = gap ? missing : float(heights.whole[i]);
                    hole |= gap;
                }
            }
            if (hole) any = true;
        },
        threads);
    return any;
}

// The missing cells at most reach cells from a valid one, by the exact
// straight-line distance: each row's distances to the nearest valid cell up
// or down its columns, then, where one is past reach, the lower envelope of
// the parabolas they make along the row (Felzenszwalb and Huttenlocher's
// transform).
std::vector<Run> cellsWithin(const float *z, int w, int h, int reach, int threads)
{
    reach = std::max(reach, 0);
    const auto valid = [&](int x, int y) {
        return !std::isnan(z[size_t(y) * size_t(w) + size_t(x)]);
    };
    const int none = 2 * (w + h); // farther than any cell, and its square still exact
    const double within = double(reach) * reach;
    std::vector<std::vector<Run>> rows(static_cast<size_t>(h));
    bil::forEachBand(
        h,
        [&](int yb, int ye) {
            // Per column the nearest valid row at or above the row, and at or
            // below it, searched for again only once the row passes it: a
            // void is walked through once. -1 and h where there is none.
            std::vector<int> above(static_cast<size_t>(w)), below(static_cast<size_t>(w), yb - 1);
            for (int x = 0; x < w; ++x) {
                int y = yb - 1;
                while (y >= 0 && !valid(x, y))
                    --y;
                above[size_t(x)] = y;
            }
            std::vector<int> down(static_cast<size_t>(w)); // 0 at a valid cell
            std::vector<int> apex(static_cast<size_t>(w)); // the parabolas of the envelope
            std::vector<double> from(size_t(w) + 1);       // where each starts to be lowest
            for (int y = yb; y < ye; ++y) {
                bool gaps = false, far = false;
                for (int x = 0; x < w; ++x) {
                    int &d = down[size_t(x)];
                    if (valid(x, y)) {
                        above[size_t(x)] = y;
                        d = 0;
                        continue;
                    }
                    int &b = below[size_t(x)];
                    if (b < y)
                        for (b = y + 1; b < h && !valid(x, b);)
                            ++b;
                    d = std::min(above[size_t(x)] < 0 ? none : y - above[size_t(x)],
                                 b < h ? b - y : none);
                    gaps = true;
                    far |= d > reach;
                }
                if (!gaps) continue;
                int k = 0;
                if (far) {
                    const auto f = [&](int x) {
                        return double(down[size_t(x)]) * down[size_t(x)] + double(x) * x;
                    };
                    apex[0] = 0;
                    from[0] = -std::numeric_limits<double>::infinity();
                    from[1] = std::numeric_limits<double>::infinity();
                    for (int q = 1; q < w; ++q) {
                        double s;
                        while ((s = (f(q) - f(apex[size_t(k)])) / (2.0 * (q - apex[size_t(k)]))) <=
                               from[size_t(k)])
                            --k;
                        ++k;
                        apex[size_t(k)] = q;
                        from[size_t(k)] = s;
                        from[size_t(k) + 1] = std::numeric_limits<double>::infinity();
                    }
                    k = 0;
                }
                int start = -1;
                for (int x = 0; x <= w; ++x) {
                    bool fill = x < w && down[size_t(x)] != 0;
                    if (fill && far) {
                        while (from[size_t(k) + 1] < x)
                            ++k;
                        const double dx = x - apex[size_t(k)], dy = down[size_t(apex[size_t(k)])];
                        fill = dx * dx + dy * dy <= within;
                    }
                    if (fill && start < 0) start = x;
                    if (!fill && start >= 0) {
                        rows[size_t(y)].push_back({y, start, x});
                        start = -1;
                    }
                }
            }
        },
        threads);
    std::vector<Run> runs;
    for (const auto &row : rows)
        runs.insert(runs.end(), row.begin(), row.end());
    return runs;
}

// Splits the runs of l into parts of about as many cells, one per thread,
// none too small to be worth one.
void shareOut(Level &l, int threads)
{
    size_t cells = 0;
    for (const Run &r : l.runs)
        cells += size_t(r.x1 - r.x0);
    const size_t parts = std::clamp<size_t>(cells / 32768, 1, size_t(std::max(threads, 1)));
    l.parts = {0};
    for (size_t i = 0, done = 0; i < l.runs.size(); ++i) {
        done += size_t(l.runs[i].x1 - l.runs[i].x0);
        if (done * parts >= cells * l.parts.size() && l.parts.size() < parts)
            l.parts.push_back(i + 1);
    }
    l.parts.push_back(l.runs.size());
}

// Calls work(part, run) for every run of l, each part on its own thread.
template <typename Work> void forEachRun(const Level &l, Work work)
{
    bil::runAtOnce(int(l.parts.size()) - 1, [&](int p) {
        for (size_t i = l.parts[size_t(p)]; i < l.parts[size_t(p) + 1]; ++i)
            work(p, l.runs[i]);
    });
}

// The level above fine, half as wide and high, for its corrections: 0 at
// a cell with a valid child, where the correction is none, missing at the
// others. Where a child is to be filled, the cell is to be filled too.
Level coarser(const Level &fine, int threads)
{
    Level c;
    c.width = (fine.width + 1) / 2;
    c.height = (fine.height + 1) / 2;
    const size_t cells = size_t(c.width) * size_t(c.height);
    c.own = std::make_unique_for_overwrite<float[]>(cells);
    c.z = c.own.get();
    c.rhs = std::make_unique_for_overwrite<float[]>(cells);
    bil::forEachBand(
        c.height,
        [&](int jb, int je) {
            for (int j = jb; j < je; ++j) {
                // At an odd edge the last child counts twice, which changes nothing.
                const float *r0 = fine.z + size_t(2 * j) * size_t(fine.width);
                const float *r1 =
                    fine.z + size_t(std::min(2 * j + 1, fine.height - 1)) * size_t(fine.width);
                float *out = c.z + size_t(j) * size_t(c.width);
                for (int i = 0; i < c.width; ++i) {
                    const int x0 = 2 * i, x1 = std::min(2 * i + 1, fine.width - 1);
                    const bool valid = !std::isnan(r0[x0]) | !std::isnan(r0[x1]) |
                                       !std::isnan(r1[x0]) | !std::isnan(r1[x1]);
                    out[i] = valid ? 0.0f : missing;
                }
            }
        },
        threads);

    // The fine runs halved, in order, overlapping ones merged.
    std::vector<Run> spans;
    spans.reserve(fine.runs.size());
    for (const Run &r : fine.runs)
        spans.push_back({r.y / 2, r.x0 / 2, (r.x1 + 1) / 2});
    std::sort(spans.begin(), spans.end(),
              [](const Run &a, const Run &b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; });
    for (size_t s = 0; s < spans.size();) {
        Run span = spans[s];
        for (++s; s < spans.size() && spans[s].y == span.y && spans[s].x0 <= span.x1; ++s)
            span.x1 = std::max(span.x1, spans[s].x1);
        const float *row = c.z + size_t(span.y) * size_t(c.width);
        for (int x = span.x0; x < span.x1;) {
            if (!std::isnan(row[x])) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < span.x1 && std::isnan(row[x]))
                ++x;
            c.runs.push_back({span.y, start, x});
        }
    }
    shareOut(c, threads);
    return c;
}

// What the four neighbours of the cell at x of row, of a level width x
// height, ask of it: their sum and how many of them have a height.
struct Pull
{
    float sum = 0;
    int count = 0;
};
Pull pull(const Level &l, const float *row, int x, int y)
{
    Pull p;
    const auto take = [&](float v) {
        if (std::isnan(v)) return;
        p.sum += v;
        ++p.count;
    };
    if (x > 0) take(row[x - 1]);
    if (x + 1 < l.width) take(row[x + 1]);
    if (y > 0) take(row[x - l.width]);
    if (y + 1 < l.height) take(row[x + l.width]);
    return p;
}

// The value at cell (x, y) of fine that the level above gives it:
// bilinear between the centres of the four nearest cells there, those with
// a value. The cell's own parent always has one.
float interpolated(const Level &c, int x, int y)
{
    // A fine cell lies a quarter of a coarse cell from its parent's centre,
    // towards the neighbour it shares the weight with.
    const auto taps = [](int x, int n, int &a, int &b, float &wa) {
        a = x % 2 == 0 ? x / 2 - 1 : x / 2;
        b = a + 1;
        wa = x % 2 == 0 ? 0.25f : 0.75f;
        if (a < 0) a = b;
        if (b >= n) b = a;
    };
    int x0, x1, y0, y1;
    float wx, wy;
    taps(x, c.width, x0, x1, wx);
    taps(y, c.height, y0, y1, wy);
    const float *row0 = c.z + size_t(y0) * size_t(c.width);
    const float *row1 = c.z + size_t(y1) * size_t(c.width);
    const float values[4] = {row0[x0], row0[x1], row1[x0], row1[x1]};
    const float weights[4] = {wx * wy, (1 - wx) * wy, wx * (1 - wy), (1 - wx) * (1 - wy)};
    float sum = 0, weight = 0;
    for (int k = 0; k < 4; ++k) {
        if (std::isnan(values[k])) continue;
        sum += weights[k] * values[k];
        weight += weights[k];
    }
    return sum / weight;
}

// Red-black over-relaxation of the cells to fill of l towards the mean of
// their neighbours with a value, plus their share of the residual from the
// level below; at most sweeps sweeps, fewer once none moves by tolerance.
// The cells of one colour depend only on the other's, so that the parts
// can go to threads at once. Gives how far a cell moved in the last one.
float relax(Level &l, int sweeps, float tolerance)
{
    constexpr float omega = 1.15f; // a smoother more than a solver
    const float *rhs = l.rhs.get();
    std::vector<float> moved(l.parts.size());
    float most = 0;
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        std::fill(moved.begin(), moved.end(), 0.0f);
        for (int colour = 0; colour < 2; ++colour)
            forEachRun(l, [&](int p, const Run &r) {
                const size_t at = size_t(r.y) * size_t(l.width);
                float *row = l.z + at;
                float furthest = moved[size_t(p)];
                for (int x = r.x0 + ((r.x0 + r.y + colour) & 1); x < r.x1; x += 2) {
                    const Pull n = pull(l, row, x, r.y);
                    const float own = rhs ? rhs[at + size_t(x)] : 0.0f;
                    const float step = omega * ((n.sum + own) / float(n.count) - row[x]);
                    row[x] += step;
                    furthest = std::max(furthest, std::abs(step));
                }
                moved[size_t(p)] = furthest;
            });
        most = *std::max_element(moved.begin(), moved.end());
        if (most < tolerance) break;
    }
    return most;
}

// Adds the level above's corrections to the cells to fill of fine.
void prolong(const Level &c, Level &fine)
{
    forEachRun(fine, [&](int, const Run &r) {
        float *row = fine.z + size_t(r.y) * size_t(fine.width);
        for (int x = r.x0; x < r.x1; ++x)
            row[x] += interpolated(c, x, r.y);
    });
}

// Poses the level above's problem for one multigrid cycle: its corrections
// start at 0, its right-hand side the residuals of fine's cells to fill
// summed over each cell's children, as wide a cell's equation is four
// times as coarse.
void restrictResiduals(const Level &fine, Level &c)
{
    forEachRun(c, [&](int, const Run &r) {
        const size_t at = size_t(r.y) * size_t(c.width);
        for (int i = r.x0; i < r.x1; ++i) {
            float sum = 0;
            for (int y = 2 * r.y; y <= std::min(2 * r.y + 1, fine.height - 1); ++y) {
                const size_t fineAt = size_t(y) * size_t(fine.width);
                const float *row = fine.z + fineAt;
                for (int x = 2 * i; x <= std::min(2 * i + 1, fine.width - 1); ++x) {
                    if (std::isnan(row[x])) continue; // not to be filled here
                    const Pull n = pull(fine, row, x, y);
                    const float own = fine.rhs ? fine.rhs[fineAt + size_t(x)] : 0.0f;
                    sum += n.sum + own - float(n.count) * row[x];
                }
            }
            c.z[at + size_t(i)] = 0;
            c.rhs[at + size_t(i)] = sum;
        }
    });
}

// One multigrid cycle from level k: relaxed, what it still lacks solved
// for on the levels above and added, relaxed again. The last level with
// cells to fill, each near a valid one, is relaxed until it settles.
// Gives how far a cell of level k moved last.
float cycle(std::vector<Level> &levels, size_t k, float tolerance)
{
    constexpr int smoothing = 2, settling = 100;
    Level &l = levels[k];
    if (levels[k + 1].runs.empty()) return relax(l, settling, tolerance);
    relax(l, smoothing, 0);
    restrictResiduals(l, levels[k + 1]);
    cycle(levels, k + 1, tolerance);
    prolong(levels[k + 1], l);
    return relax(l, smoothing, 0);
}

// A first guess for each cell to fill: along its row, straight between the
// heights at either end of its run, or level with the one there is; with
// none, the height above it, filled already, or 0.
void guess(Level &l)
{
    for (const Run &r : l.runs) {
        float *row = l.z + size_t(r.y) * size_t(l.width);
        const float left = r.x0 > 0 ? row[r.x0 - 1] : missing;
        const float right = r.x1 < l.width ? row[r.x1] : missing;
        for (int x = r.x0; x < r.x1; ++x) {
            const float t = float(x - r.x0 + 1) / float(r.x1 - r.x0 + 1);
            const float above = r.y > 0 ? row[x - l.width] : missing;
            row[x] = !std::isnan(left) && !std::isnan(right) ? left + t * (right - left)
                     : !std::isnan(left)                     ? left
                     : !std::isnan(right)                    ? right
                     : !std::isnan(above)                    ? above
                                                             : 0.0f;
        }
    }
}

// Solves for the cells to fill of levels[0] by multigrid cycles until no
// cell moves by more than a millimetre, from a first guess.
void solve(std::vector<Level> &levels, int threads)
{
    constexpr float tolerance = 1e-3f;
    constexpr int mostCycles = 30;
    if (levels[0].runs.empty()) return;
    while (!levels.back().runs.empty())
        levels.push_back(coarser(levels.back(), threads));
    guess(levels[0]);
    for (int c = 0; c < mostCycles && cycle(levels, 0, tolerance) >= tolerance; ++c) {
    }
}

} // namespace

namespace bil {

Grid filledVoids(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                 int maxDistance, int threads)
{
    Grid out = Grid::ofReal(heights.width, heights.height);
    out.geo = geo;
    std::vector<Level> levels(1);
    Level &top = levels[0];
    top.width = heights.width;
    top.height = heights.height;
    top.z = out.real();
    if (!copyHeights(heights, top.z, threads)) return out;
    top.runs = cellsWithin(top.z, top.width, top.height, maxDistance, threads);
    shareOut(top, threads);
    solve(levels, threads);
    return out;
}

} // namespace bil
