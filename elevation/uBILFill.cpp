#include "elevation/uBILFill.h"

#include "elevation/uBILMultigrid.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using bil::fill::Level;
using bil::fill::Run;

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

// Sample i of heights as a float, NaN where missing.
float heightAt(const bil::HeightsView &heights, size_t i)
{
    if (heights.real) return heights.real[i];
    return heights.whole[i] == heights.noData ? missing : float(heights.whole[i]);
}

// Copies the heights as floats into z; whether any is missing.
bool copyHeights(const bil::HeightsView &heights, float *z, int threads)
{
    std::atomic<bool> any{false};
    const size_t w = size_t(heights.width);
    bil::forEachBand(
        heights.height,
        [&](int jb, int je) {
            bool hole = false;
            for (size_t i = size_t(jb) * w; i < size_t(je) * w; ++i) {
                z[i] = heightAt(heights, i);
                hole |= std::isnan(z[i]);
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

// The cells of each void, a void being cells to fill joined across edges,
// the largest first, as they take longest.
std::vector<std::vector<Run>> voids(const std::vector<Run> &runs)
{
    std::vector<size_t> root(runs.size());
    std::iota(root.begin(), root.end(), size_t(0));
    const auto find = [&](size_t i) {
        while (root[i] != i)
            i = root[i] = root[root[i]];
        return i;
    };
    // Runs of a row and of the row above that share a column are one void.
    size_t above = 0, aboveEnd = 0;
    for (size_t row = 0; row < runs.size();) {
        size_t end = row;
        while (end < runs.size() && runs[end].y == runs[row].y)
            ++end;
        if (aboveEnd == 0 || runs[above].y + 1 != runs[row].y) above = aboveEnd;
        for (size_t i = row, j = above; i < end && j < aboveEnd;) {
            if (runs[i].x0 < runs[j].x1 && runs[j].x0 < runs[i].x1) root[find(i)] = find(j);
            runs[j].x1 < runs[i].x1 ? ++j : ++i;
        }
        above = row;
        aboveEnd = row = end;
    }
    std::vector<std::vector<Run>> out;
    std::vector<size_t> index(runs.size(), runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        size_t &v = index[find(i)];
        if (v == runs.size()) {
            v = out.size();
            out.emplace_back();
        }
        out[v].push_back(runs[i]);
    }
    const auto cells = [](const std::vector<Run> &v) {
        size_t n = 0;
        for (const Run &r : v)
            n += size_t(r.x1 - r.x0);
        return n;
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const auto &a, const auto &b) { return cells(a) > cells(b); });
    return out;
}

// A first guess for each cell to fill: along its row, straight between the
// heights at either end of its run, or level with the one there is; with
// none, the height above it, filled already, or 0.
void guess(Level &l)
{
    for (const Run &r : l.fill) {
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

// The surface one void is filled with: the heights of its cells that make
// least
//   tension * (the squared differences across the edges between cells)
//   + (1 - tension) * (the squared Laplacians of the cells)
// summed where they change with them, a Laplacian being the sum of a cell's
// neighbours with a height less as many times its own. Bending alone (a
// thin plate) carries the terrain's slopes and curvature into the void
// furthest, which fills real terrain closer to the truth than the membrane
// or inverse-distance weighting; a little tension keeps it from
// overshooting across wide voids. Solved on the void's own window of the
// grid by conjugate gradients, preconditioned with the membrane's
// multigrid, from the membrane.
class Surface
{
public:
    Surface(const bil::HeightsView &heights, const std::vector<Run> &cells)
    {
        // The window: the void and the two cells around it that its Laplacians reach.
        int x0 = cells.front().x0, x1 = cells.front().x1;
        for (const Run &r : cells) {
            x0 = std::min(x0, r.x0);
            x1 = std::max(x1, r.x1);
        }
        left = std::max(x0 - 2, 0);
        top = std::max(cells.front().y - 2, 0);
        const int w = std::min(x1 + 2, heights.width) - left;
        const int h = std::min(cells.back().y + 3, heights.height) - top;
        const size_t area = size_t(w) * size_t(h);
        own = std::make_unique_for_overwrite<float[]>(area);
        // From the samples as read: other voids nearby may be being filled
        // at the same time, and count as missing here.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                own[size_t(y) * size_t(w) + size_t(x)] =
                    heightAt(heights, size_t(y + top) * size_t(heights.width) + size_t(x + left));
        fine.width = w;
        fine.height = h;
        fine.z = own.get();
        for (const Run &r : cells)
            fine.fill.push_back({r.y - top, r.x0 - left, r.x1 - left});

        levels = bil::fill::pyramid(fine);
        guess(fine);
        for (int c = 0; c < mostCycles && bil::fill::cycle(fine, levels, tolerance) >= tolerance;
             ++c) {
        }

        bent = bil::fill::where(bil::fill::widened(fine.fill, w, h), fine.z, w, false);
        steps = std::make_unique_for_overwrite<float[]>(area);
        laplacians = std::make_unique_for_overwrite<float[]>(area);
        for (size_t i = 0; i < area; ++i)
            steps[i] = std::isnan(fine.z[i]) ? missing : 0.0f; // no step at a valid cell
        // The preconditioner's corrections and right-hand side take the
        // place of the steps and the Laplacians, which wait meanwhile.
        membrane.width = w;
        membrane.height = h;
        membrane.z = steps.get();
        membrane.rhs = laplacians.get();
        membrane.fill = fine.fill;
        for (const Run &r : fine.fill)
            count += size_t(r.x1 - r.x0);
    }

    // Flexible preconditioned conjugate gradients, until no height moves by
    // tolerance, or what is left of the gradient is rounding.
    void solve()
    {
        std::vector<float> r(count), z(count), zBefore(count), p(count), q(count);
        gradient(fine.z, r);
        for (float &v : r)
            v = -v;
        const double start = dot(r, r);
        double rzBefore = 0;
        for (int i = 0; i < mostIterations; ++i) {
            precondition(r, z);
            const double rz = dot(r, z);
            const double beta = i == 0 ? 0.0 : (rz - dot(r, zBefore)) / rzBefore;
            for (size_t k = 0; k < count; ++k)
                p[k] = z[k] + float(beta) * p[k];
            rzBefore = rz;
            zBefore.swap(z);
            forEachCell([&](size_t k, size_t at) { steps[at] = p[k]; });
            gradient(steps.get(), q);
            const double pq = dot(p, q);
            if (!(pq > 0)) break; // nothing left to go
            const float alpha = float(rz / pq);
            float moved = 0;
            forEachCell([&](size_t k, size_t at) {
                fine.z[at] += alpha * p[k];
                r[k] -= alpha * q[k];
                moved = std::max(moved, std::abs(alpha * p[k]));
            });
            if (moved < tolerance || dot(r, r) <= 1e-10 * start) break;
        }
    }

    // Writes the void's heights into out, a grid width cells wide.
    void writeInto(float *out, int width) const
    {
        forEachCell([&](size_t, size_t at) {
            const size_t x = at % size_t(fine.width), y = at / size_t(fine.width);
            out[(y + size_t(top)) * size_t(width) + x + size_t(left)] = fine.z[at];
        });
    }

private:
    static constexpr float tension = 0.05f, tolerance = 1e-3f;
    static constexpr int mostCycles = 30, mostIterations = 300;

    static double dot(const std::vector<float> &a, const std::vector<float> &b)
    {
        double sum = 0;
        for (size_t k = 0; k < a.size(); ++k)
            sum += double(a[k]) * b[k];
        return sum;
    }

    // Calls f(k, at) for the k-th cell to fill, at index at of the window.
    template <typename F> void forEachCell(F f) const
    {
        size_t k = 0;
        for (const Run &r : fine.fill) {
            const size_t row = size_t(r.y) * size_t(fine.width);
            for (int x = r.x0; x < r.x1; ++x)
                f(k++, row + size_t(x));
        }
    }

    float laplacian(const float *f, int x, int y) const
    {
        const bil::fill::Pull n = bil::fill::pull(f, fine.width, fine.height, x, y);
        return n.sum - float(n.count) * f[size_t(y) * size_t(fine.width) + size_t(x)];
    }

    // Half the gradient of the sum to make least at the heights f, one value
    // for each cell to fill.
    void gradient(const float *f, std::vector<float> &out)
    {
        const size_t w = size_t(fine.width);
        for (const Run &r : bent)
            for (int x = r.x0; x < r.x1; ++x)
                laplacians[size_t(r.y) * w + size_t(x)] = laplacian(f, x, r.y);
        size_t k = 0;
        for (const Run &r : fine.fill)
            for (int x = r.x0; x < r.x1; ++x) {
                const size_t at = size_t(r.y) * w + size_t(x);
                float around = 0;
                int neighbours = 0;
                const auto take = [&](size_t i) {
                    if (std::isnan(f[i])) return;
                    around += laplacians[i];
                    ++neighbours;
                };
                if (x > 0) take(at - 1);
                if (x + 1 < fine.width) take(at + 1);
                if (r.y > 0) take(at - w);
                if (r.y + 1 < fine.height) take(at + w);
                out[k++] = -tension * laplacian(f, x, r.y) +
                           (1 - tension) * (around - float(neighbours) * laplacians[at]);
            }
    }

    // Near the answer of the sum's own equation to r: that is (1 - tension)
    // A (s + A) with A the membrane's and s = tension / (1 - tension), so one
    // multigrid cycle on the membrane under a shift of s, then one without.
    void precondition(const std::vector<float> &r, std::vector<float> &z)
    {
        forEachCell([&](size_t k, size_t at) { laplacians[at] = r[k]; });
        membraneCycle(tension / (1 - tension));
        forEachCell([&](size_t, size_t at) { laplacians[at] = steps[at]; });
        membraneCycle(0);
        forEachCell([&](size_t k, size_t at) { z[k] = steps[at]; });
    }

    // One cycle on the membrane's equation under shift, its right-hand side
    // in place, from none; settling where it is coarsest to a ten-thousandth
    // of the right-hand side.
    void membraneCycle(float shift)
    {
        float largest = 0;
        forEachCell([&](size_t, size_t at) {
            steps[at] = 0;
            largest = std::max(largest, std::abs(laplacians[at]));
        });
        membrane.shift = shift;
        bil::fill::cycle(membrane, levels, largest * 1e-4f);
    }

    int left = 0, top = 0; // the window's place in the grid
    std::unique_ptr<float[]> own, steps, laplacians;
    Level fine;                // the window's heights
    std::vector<Level> levels; // above fine
    std::vector<Run> bent;     // the cells whose Laplacians change with the cells to fill
    Level membrane;            // the preconditioner's finest level
    size_t count = 0;          // cells to fill
};

} // namespace

namespace bil {

Grid filledVoids(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                 int maxDistance, int threads)
{
    Grid out = Grid::ofReal(heights.width, heights.height);
    out.geo = geo;
    if (!copyHeights(heights, out.real(), threads)) return out;
    const std::vector<std::vector<Run>> all =
        voids(cellsWithin(out.real(), heights.width, heights.height, maxDistance, threads));
    shareTasks(
        int(all.size()),
        [&](const auto &next) {
            for (int t = next(); t >= 0; t = next()) {
                Surface surface(heights, all[size_t(t)]);
                surface.solve();
                surface.writeInto(out.real(), out.width());
            }
        },
        threads);
    return out;
}

} // namespace bil
