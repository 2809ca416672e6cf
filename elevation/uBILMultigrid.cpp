#include "elevation/uBILMultigrid.h"

#include <algorithm>
#include <limits>

namespace {

using bil::fill::Level;
using bil::fill::Run;

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

// The level above fine, half as wide and high, for its corrections: 0 at
// a cell with a valid child, where the correction is none, missing at the
// others. Where a child is to be filled, the cell is to be filled too.
Level coarser(const Level &fine)
{
    Level c;
    c.width = (fine.width + 1) / 2;
    c.height = (fine.height + 1) / 2;
    const size_t cells = size_t(c.width) * size_t(c.height);
    c.own = std::make_unique_for_overwrite<float[]>(cells);
    c.ownRhs = std::make_unique_for_overwrite<float[]>(cells);
    c.z = c.own.get();
    c.rhs = c.ownRhs.get();
    for (int j = 0; j < c.height; ++j) {
        // At an odd edge the last child counts twice, which changes nothing.
        const float *r0 = fine.z + size_t(2 * j) * size_t(fine.width);
        const float *r1 =
            fine.z + size_t(std::min(2 * j + 1, fine.height - 1)) * size_t(fine.width);
        float *out = c.z + size_t(j) * size_t(c.width);
        for (int i = 0; i < c.width; ++i) {
            const int x0 = 2 * i, x1 = std::min(2 * i + 1, fine.width - 1);
            const bool valid = !std::isnan(r0[x0]) || !std::isnan(r0[x1]) || !std::isnan(r1[x0]) ||
                               !std::isnan(r1[x1]);
            out[i] = valid ? 0.0f : missing;
        }
    }
    std::vector<Run> halved;
    halved.reserve(fine.fill.size());
    for (const Run &r : fine.fill)
        halved.push_back({r.y / 2, r.x0 / 2, (r.x1 + 1) / 2});
    c.fill = bil::fill::where(bil::fill::merged(halved), c.z, c.width, true);
    return c;
}

// The value that the level above gives cell (x, y) of the level below:
// bilinear between the centres of the four nearest cells there, those with
// a value. The cell's own parent always has one.
float interpolated(const Level &c, int x, int y)
{
    // A cell lies a quarter of a coarse cell from its parent's centre,
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

// Adds the level above's corrections to the cells to fill of fine.
void prolong(const Level &c, Level &fine)
{
    for (const Run &r : fine.fill) {
        float *row = fine.z + size_t(r.y) * size_t(fine.width);
        for (int x = r.x0; x < r.x1; ++x)
            row[x] += interpolated(c, x, r.y);
    }
}

// Poses the level above's problem for one cycle: its corrections start at
// 0, its right-hand side the residuals of fine's cells to fill summed over
// each cell's children, as its cells' equations are four times as coarse.
void restrictResiduals(const Level &fine, Level &c)
{
    for (const Run &r : c.fill) {
        const size_t at = size_t(r.y) * size_t(c.width);
        for (int i = r.x0; i < r.x1; ++i) {
            float sum = 0;
            for (int y = 2 * r.y; y <= std::min(2 * r.y + 1, fine.height - 1); ++y) {
                const size_t fineAt = size_t(y) * size_t(fine.width);
                for (int x = 2 * i; x <= std::min(2 * i + 1, fine.width - 1); ++x) {
                    const float v = fine.z[fineAt + size_t(x)];
                    if (std::isnan(v)) continue; // neither valid nor to be filled
                    const bil::fill::Pull n =
                        bil::fill::pull(fine.z, fine.width, fine.height, x, y);
                    const float own = fine.rhs ? fine.rhs[fineAt + size_t(x)] : 0.0f;
                    sum += n.sum + own - (float(n.count) + fine.shift) * v;
                }
            }
            c.z[at + size_t(i)] = 0;
            c.rhs[at + size_t(i)] = sum;
        }
    }
}

} // namespace

namespace bil::fill {

std::vector<Run> merged(std::vector<Run> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const Run &a, const Run &b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; });
    std::vector<Run> out;
    for (const Run &s : spans) {
        if (!out.empty() && out.back().y == s.y && s.x0 <= out.back().x1)
            out.back().x1 = std::max(out.back().x1, s.x1);
        else
            out.push_back(s);
    }
    return out;
}

std::vector<Run> where(const std::vector<Run> &spans, const float *z, int width, bool missing)
{
    std::vector<Run> out;
    for (const Run &s : spans) {
        const float *row = z + size_t(s.y) * size_t(width);
        for (int x = s.x0; x < s.x1;) {
            if (std::isnan(row[x]) != missing) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < s.x1 && std::isnan(row[x]) == missing)
                ++x;
            out.push_back({s.y, start, x});
        }
    }
    return out;
}

std::vector<Run> widened(const std::vector<Run> &runs, int width, int height)
{
    std::vector<Run> spans;
    spans.reserve(3 * runs.size());
    for (const Run &r : runs) {
        spans.push_back({r.y, std::max(r.x0 - 1, 0), std::min(r.x1 + 1, width)});
        if (r.y > 0) spans.push_back({r.y - 1, r.x0, r.x1});
        if (r.y + 1 < height) spans.push_back({r.y + 1, r.x0, r.x1});
    }
    return merged(std::move(spans));
}

std::vector<Level> pyramid(const Level &finest)
{
    std::vector<Level> levels;
    const Level *below = &finest;
    while (!below->fill.empty()) {
        levels.push_back(coarser(*below));
        below = &levels.back();
    }
    return levels;
}

float relax(Level &l, int sweeps, float tolerance)
{
    constexpr float omega = 1.15f; // a smoother more than a solver
    float most = 0;
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        most = 0;
        // Red-black, the cells of one colour taking the other's as they are.
        for (int colour = 0; colour < 2; ++colour)
            for (const Run &r : l.fill) {
                const size_t at = size_t(r.y) * size_t(l.width);
                float *row = l.z + at;
                for (int x = r.x0 + ((r.x0 + r.y + colour) & 1); x < r.x1; x += 2) {
                    const Pull n = pull(l.z, l.width, l.height, x, r.y);
                    const float own = l.rhs ? l.rhs[at + size_t(x)] : 0.0f;
                    const float step =
                        omega * ((n.sum + own) / (float(n.count) + l.shift) - row[x]);
                    row[x] += step;
                    most = std::max(most, std::abs(step));
                }
            }
        if (most < tolerance) break;
    }
    return most;
}

float cycle(Level &l, std::span<Level> above, float tolerance)
{
    // The last level with cells to fill, each near a valid cell, is small
    // and settles by relaxing alone.
    constexpr int smoothing = 2, settling = 100;
    if (above.empty() || above[0].fill.empty()) return relax(l, settling, tolerance);
    relax(l, smoothing, 0);
    above[0].shift = 4 * l.shift; // over four times the area
    restrictResiduals(l, above[0]);
    cycle(above[0], above.subspan(1), tolerance);
    prolong(above[0], l);
    return relax(l, smoothing, 0);
}

} // namespace bil::fill
