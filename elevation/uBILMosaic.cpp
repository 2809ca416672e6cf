// Several tiles as one grid, placed by their georeference, so that a region
// across tile borders is smoothed and exported as if one file held it.
#include "elevation/uBILLoad.h"

#include "elevation/uBILGrid.h"
#include "elevation/uBILPaths.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Tile
{
    QString path;
    bil::GridSource source;
    int64_t column = 0, row = 0; // of its upper-left cell in the mosaic
};

QString quoted(const QString &path)
{
    return QStringLiteral("\"%1\"").arg(bil::nativePath(path));
}

[[noreturn]] void cannotJoin(const Tile &a, const Tile &b, const QString &why)
{
    throw BILError(QStringLiteral("Cannot join %1 and %2 into one grid: %3")
                       .arg(quoted(a.path), quoted(b.path), why)
                       .toStdString());
}

// How many cells apart two edges lie, or nullopt when not a whole number.
std::optional<int64_t> wholeCells(double distance, double cell)
{
    const double cells = distance / cell;
    const double nearest = std::round(cells);
    if (std::abs(cells - nearest) > 1e-6 || std::abs(nearest) > double(INT32_MAX))
        return std::nullopt;
    return int64_t(nearest);
}

// Places tile against first, throwing when they do not fit one lattice.
void place(Tile &tile, const Tile &first)
{
    const BILGeoReference &g = *tile.source.geo, &f = *first.source.geo;
    if (g.geographic != f.geographic || (g.epsg && f.epsg && g.epsg != f.epsg))
        cannotJoin(first, tile, QStringLiteral("they are in different coordinate systems."));
    const auto same = [](double a, double b) { return std::abs(a - b) <= 1e-9 * std::abs(b); };
    if (!same(g.cellWidth, f.cellWidth) || !same(g.cellHeight, f.cellHeight))
        cannotJoin(first, tile,
                   QStringLiteral("their cells differ in size (%1 x %2 against %3 x %4).")
                       .arg(g.cellWidth, 0, 'g', 12)
                       .arg(g.cellHeight, 0, 'g', 12)
                       .arg(f.cellWidth, 0, 'g', 12)
                       .arg(f.cellHeight, 0, 'g', 12));
    const std::optional<int64_t> column = wholeCells(g.left - f.left, f.cellWidth);
    const std::optional<int64_t> row = wholeCells(f.top - g.top, f.cellHeight);
    if (!column || !row)
        cannotJoin(first, tile, QStringLiteral("their cells do not lie on one lattice."));
    tile.column = *column;
    tile.row = *row;
}

// The tiles' sources, each asked for its layout where it has none; the
// answer given for one layout serves the tiles after it that propose the same.
std::optional<std::vector<Tile>> findTiles(const QStringList &paths,
                                           const bil::LoadCallbacks &callbacks)
{
    std::optional<std::pair<bil::GridLayout, bil::GridLayout>> answered; // proposed, answer
    bil::LoadCallbacks once = callbacks;
    once.askLayout = [&](const QString &path, bil::GridLayout &layout) {
        if (answered && answered->first == layout) {
            layout = answered->second;
            return true;
        }
        const bil::GridLayout proposed = layout;
        if (!callbacks.askLayout || !callbacks.askLayout(path, layout)) return false;
        answered = {proposed, layout};
        return true;
    };
    std::vector<Tile> tiles;
    for (const QString &path : paths) {
        std::optional<bil::GridSource> source = bil::findSource(path, once);
        if (!source) return std::nullopt;
        if (!source->geo) source->geo = bil::srtmGeoReference(path, source->width, source->height);
        if (!source->geo)
            throw BILError(QStringLiteral("Cannot join %1 with the other tiles: it does not say "
                                          "where it lies.")
                               .arg(quoted(path))
                               .toStdString());
        tiles.push_back({path, std::move(*source)});
    }
    for (Tile &tile : tiles)
        place(tile, tiles.front());
    return tiles;
}

// Copies the samples of one tile, read into grid, to their place in mosaic.
void copyInto(bil::Grid &mosaic, const bil::Grid &grid, int64_t column, int64_t row)
{
    const bil::HeightsView &from = grid.view();
    const int64_t width = from.width, pitch = mosaic.width();
    for (int64_t y = 0; y < from.height; ++y) {
        const int64_t at = (row + y) * pitch + column, in = y * width;
        if (mosaic.isReal() && from.real)
            std::copy_n(from.real + in, width, mosaic.real() + at);
        else if (mosaic.isReal())
            std::transform(from.whole + in, from.whole + in + width, mosaic.real() + at,
                           [noData = from.noData](int16_t v) {
                               return v == noData ? std::numeric_limits<float>::quiet_NaN()
                                                  : float(v);
                           });
        else
            std::copy_n(from.whole + in, width, mosaic.whole() + at);
    }
}

} // namespace

namespace bil {

std::optional<Grid> loadMosaic(const QStringList &paths, const LoadCallbacks &callbacks)
{
    std::optional<std::vector<Tile>> found = findTiles(paths, callbacks);
    if (!found) return std::nullopt;
    std::vector<Tile> &tiles = *found;

    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool whole = true;
    for (const Tile &t : tiles) {
        left = std::min(left, t.column);
        top = std::min(top, t.row);
        right = std::max(right, t.column + t.source.width);
        bottom = std::max(bottom, t.row + t.source.height);
        whole = whole && t.source.wholeSamples && t.source.noData == tiles[0].source.noData;
    }
    GridSource shape;
    shape.width = right - left;
    shape.height = bottom - top;
    shape.noData = tiles[0].source.noData;
    shape.wholeSamples = whole;
    LoadCallbacks naming = callbacks;
    naming.refuse = [&](const QString &text) {
        if (callbacks.refuse)
            callbacks.refuse(QStringLiteral("The mosaic of %1 and %2 more: %3")
                                 .arg(quoted(paths[0]))
                                 .arg(paths.size() - 1)
                                 .arg(text));
    };
    std::optional<Grid> mosaic = gridFor(shape, naming);
    if (!mosaic) return std::nullopt;
    if (whole)
        std::fill_n(mosaic->whole(), shape.width * shape.height, int16_t(shape.noData));
    else
        std::fill_n(mosaic->real(), shape.width * shape.height,
                    std::numeric_limits<float>::quiet_NaN());

    // The first named is read last, so that its samples stand where tiles overlap.
    LoadCallbacks own = callbacks;
    own.wholeInto = nullptr;
    own.wholeRoom = 0;
    own.capacity = 0;
    int64_t cells = 0;
    for (const Tile &t : tiles)
        cells += t.source.width * t.source.height;
    Steps steps(callbacks.progress, Doing::Reading, cells);
    for (auto t = tiles.rbegin(); t != tiles.rend(); ++t)
        whileDoing(QStringLiteral("open \"%1\"").arg(nativePath(t->path)), [&] {
            std::optional<Grid> grid = gridFor(t->source, own);
            if (!grid) return;
            steps.on(t->path);
            t->source.read(grid->whole(), grid->real(), {0, 0, grid->width(), grid->height()},
                           callbacks.threads, steps);
            copyInto(*mosaic, *grid, t->column - left, t->row - top);
        });

    const BILGeoReference &g = *tiles[0].source.geo;
    mosaic->geo = BILGeoReference{g.left + double(left) * g.cellWidth,
                                  g.top - double(top) * g.cellHeight,
                                  g.cellWidth,
                                  g.cellHeight,
                                  g.geographic,
                                  g.epsg};
    mosaic->name = paths[0];
    return mosaic;
}

} // namespace bil
