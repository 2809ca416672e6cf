#include "elevation/uBILLoad.h"

#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILReader.h"
#include "elevation/uBILRender.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {

bil::GridLayout currentLayout()
{
    return {BILBigEndian, BILWidth, BILHeight, BILNoData};
}

// Sizes beyond 32 bits are refused before a grid is described.
void setLayout(const bil::GridLayout &l)
{
    BILBigEndian = l.bigEndian;
    BILWidth = int32_t(l.width);
    BILHeight = int32_t(l.height);
    BILNoData = l.noData;
}

// Opens the sample file and makes sure it holds the grid's bytes; throws,
// naming the file, when it cannot be opened or is too short.
void openSamples(QFile &file, int64_t width, int64_t height)
{
    const QString path = file.fileName();
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw BILError(QStringLiteral("Cannot open the sample file \"%1\": %2")
                           .arg(bil::nativePath(path), file.errorString())
                           .toStdString());
    const int64_t needed = width * height * 2;
    if (file.size() < needed)
        throw BILError(QStringLiteral("The sample file \"%1\" is too short: %2 x %3 samples need "
                                      "%4 bytes, but it holds %5.")
                           .arg(bil::nativePath(path), QString::number(width),
                                QString::number(height), QString::number(needed),
                                QString::number(file.size()))
                           .toStdString());
}

// Reads exactly count samples into target, telling steps of each 4 MB.
void readSamples(QFile &file, int64_t count, int16_t *target, bil::Steps &steps)
{
    constexpr int64_t band = 4 << 20;
    const int64_t needed = count * 2;
    char *bytes = reinterpret_cast<char *>(target);
    int64_t got = 0;
    while (got < needed) {
        const qint64 n = file.read(bytes + got, std::min(needed - got, band));
        if (n <= 0)
            throw BILError(
                QStringLiteral("Cannot read the sample file \"%1\": %2 of %3 bytes read (%4)")
                    .arg(bil::nativePath(file.fileName()), QString::number(got),
                         QString::number(needed),
                         n < 0 ? file.errorString() : QStringLiteral("end of file"))
                    .toStdString());
        got += n;
        steps.advance(n / 2);
    }
}

// The 16-bit samples of path as layout says, in host order.
bil::GridSource rawSource(const QString &path, const bil::GridLayout &layout,
                          std::optional<BILGeoReference> geo)
{
    bil::GridSource source;
    source.width = layout.width;
    source.height = layout.height;
    source.noData = layout.noData;
    source.bigEndian = layout.bigEndian;
    source.geo = geo;
    source.read = [path, layout](int16_t *whole, float *, const bil::CellRegion &wanted,
                                 int threads, bil::Steps &steps) {
        QFile file(path);
        openSamples(file, layout.width, layout.height);
        // Whole rows: a row's samples lie together in the file.
        int16_t *first = whole + int64_t(wanted.y0) * layout.width;
        const int64_t count = int64_t(wanted.rows()) * layout.width;
        if (!file.seek(int64_t(wanted.y0) * layout.width * 2))
            throw BILError(QStringLiteral("Cannot read the sample file \"%1\": %2")
                               .arg(bil::nativePath(path), file.errorString())
                               .toStdString());
        readSamples(file, count, first, steps);
        if (!layout.bigEndian) return;
        bil::forEachBand(
            wanted.rows(),
            [&](int jb, int je) {
                int16_t *band = first + int64_t(jb) * layout.width;
                qFromBigEndian<int16_t>(band, int64_t(je - jb) * layout.width, band);
            },
            threads);
    };
    return source;
}

// An SRTM tile is square: 2 n^2 bytes hold n x n samples (1201 at three arc
// seconds, 3601 at one). Any other length is taken for the older tile.
int32_t hgtSide(const QString &path)
{
    const qint64 bytes = QFileInfo(path).size();
    const auto side = int32_t(std::lround(std::sqrt(double(bytes) / 2)));
    return side > 0 && 2 * qint64(side) * side == bytes ? side : 1201;
}

[[noreturn]] void cannotOpen(const QString &path, const QString &why)
{
    throw BILError(
        QStringLiteral("Cannot open \"%1\": %2").arg(bil::nativePath(path), why).toStdString());
}

// A folder would only be refused after the layout question, and reading a
// pipe or a device may wait for ever.
void refuseWhatIsNoGridFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) return; // a missing file says so where it is read
    cannotOpen(path, info.isDir() ? QStringLiteral("it is a folder.")
                                  : QStringLiteral("it is not a regular file."));
}

// A file named as a self-describing kind that its reader did not recognise
// is that kind damaged, not a grid of raw samples.
void refuseMisnamed(const QString &path)
{
    if (!QFileInfo::exists(path)) return;
    const QString extension = path.sliced(bil::extensionStart(path)).toLower();
    if (extension == u".tif" || extension == u".tiff")
        cannotOpen(path, QStringLiteral("it is named as a TIFF file, but it is not one."));
    if (extension == u".asc")
        cannotOpen(path, QStringLiteral("it is named as an ASCII grid, but it is not one."));
}

// The memory of this machine; nothing larger can be held.
int64_t physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : INT64_MAX;
}

} // namespace

namespace bil {

std::optional<GridSource> findSource(const QString &path, const LoadCallbacks &callbacks)
{
    refuseWhatIsNoGridFile(path);
    for (const auto source : {bil::tiffSource, bil::asciiGridSource})
        if (std::optional<bil::GridSource> grid = source(path)) return grid;
    refuseMisnamed(path);
    bil::Header header = bil::readHeader(path);
    bil::GridLayout &layout = header.layout;
    if (layout.width == 0) {
        const bool hgt = path.sliced(bil::extensionStart(path)).toLower() == u".hgt";
        const int32_t side = hgt ? hgtSide(path) : 0;
        layout = hgt ? bil::GridLayout{true, side, side, BILHeightLowest}
                     : bil::GridLayout{false, 10800, 4800, BILHeightLowest};
        if (!callbacks.askLayout || !callbacks.askLayout(path, layout)) return std::nullopt;
    }
    if (layout.width == -1) return std::nullopt;
    if (std::optional<bil::GridSource> samples = bil::headerSource(path, header)) return samples;
    return rawSource(path, layout, bil::headerGeoReference(path, header));
}

std::optional<Grid> gridFor(const GridSource &source, const LoadCallbacks &callbacks)
{
    const auto refuse = [&](const QString &text) {
        if (callbacks.refuse) callbacks.refuse(text);
        return std::nullopt;
    };
    const int64_t w = source.width, h = source.height;
    if (w <= 0 || h <= 0) return refuse(QStringLiteral("Width or Height is not correct."));
    const int64_t cap = callbacks.capacity;
    if (w > INT32_MAX || h > INT32_MAX || (cap > 0 && (w > cap || h > cap || w * h > cap)))
        return refuse(QStringLiteral("This file is too big."));
    const int64_t bytes = w * h * (source.wholeSamples ? 2 : 4);
    const auto tooLarge = [&] {
        return refuse(QStringLiteral("This grid of %1 x %2 samples needs %3 of memory, more "
                                     "than can be had.")
                          .arg(QString::number(w), QString::number(h), bil::memoryText(bytes)));
    };
    if (bytes > physicalMemory()) return tooLarge();
    int16_t *into = w * h <= callbacks.wholeRoom ? callbacks.wholeInto : nullptr;
    try {
        return source.wholeSamples ? bil::Grid::ofWhole(int32_t(w), int32_t(h), source.noData, into)
                                   : bil::Grid::ofReal(int32_t(w), int32_t(h));
    } catch (const std::bad_alloc &) {
        return tooLarge();
    }
}

} // namespace bil

namespace {

// Reads the samples of source into a grid of its own.
std::optional<bil::Grid> readGrid(const QString &path, const bil::GridSource &source,
                                  const bil::LoadCallbacks &callbacks)
{
    std::optional<bil::Grid> grid = bil::gridFor(source, callbacks);
    if (!grid) return std::nullopt;
    const bil::CellRegion all{0, 0, grid->width(), grid->height()};
    const bil::CellRegion wanted = callbacks.wanted ? callbacks.wanted(source).value_or(all) : all;
    bil::Steps steps(callbacks.progress, bil::Doing::Reading,
                     int64_t(wanted.columns()) * wanted.rows());
    steps.on(path);
    source.read(grid->whole(), grid->real(), wanted, callbacks.threads, steps);
    grid->name = path;
    grid->geo = source.geo;
    grid->turned = source.turned;
    grid->bigEndian = source.bigEndian;
    return grid;
}

// The window's answer to the layout question: the program's dialog, which
// reads and writes the layout globals and gives -1 for a cancel.
bool askThroughHook(const QString &, bil::GridLayout &layout)
{
    if (!BILAskLayout) return false;
    // The globals describe the grid held until the new one is read.
    const bil::GridLayout held = currentLayout();
    setLayout(layout);
    BILAskLayout();
    const bil::GridLayout answer = currentLayout();
    setLayout(held);
    if (answer.width == -1) return false;
    layout = answer;
    return true;
}

// Loading for the globals: up to capacity samples (0: any number), 16-bit
// ones staged in BILData where they fit, so that BILRaw keeps the grid
// shown until every sample has been read.
bil::LoadCallbacks globalCallbacks(int64_t capacity)
{
    return {askThroughHook, bil::showError, capacity, BILData, BILCapacity};
}

// The layout globals and the georeference describe grid.
void describe(const bil::Grid &grid)
{
    setLayout({grid.bigEndian, grid.width(), grid.height(), grid.view().noData});
    BILGeoRef = grid.geo;
}

// The whole metres of sample i of heights, as BILRaw holds them.
int16_t wholeMetres(const bil::HeightsView &heights, int64_t i)
{
    return heights.real ? bil::heightFrom(double(heights.real[i])) : heights.whole[i];
}

// Makes grid the one the globals hold: its samples in BILRaw in host order
// (floats to whole metres), their working values in BILData, rendering each
// row into the preview while it is still in the cache.
void publish(bil::Grid &grid, QImage &preview)
{
    QImage image(grid.width(), grid.height(), QImage::Format_ARGB32);
    if (image.isNull()) throw std::bad_alloc();
    describe(grid);
    const bil::HeightsView &heights = grid.view();
    const int32_t width = BILWidth, noData = BILNoData;
    const bil::ColorLut lut = bil::colorLut(TextureColor);
    auto *pixels = reinterpret_cast<TAlphaColor *>(image.bits());
    const qsizetype pitch = image.bytesPerLine() / 4;
    bil::forEachBand(BILHeight, [&](int yb, int ye) {
        for (int y = yb; y < ye; ++y) {
            for (int64_t i = int64_t(y) * width, end = i + width; i < end; ++i) {
                const int16_t v = wholeMetres(heights, i);
                BILRaw[i] = v;
                BILData[i] = bil::workingSample(v, noData);
            }
            bil::renderRow(lut, BILData + int64_t(y) * width, width, pixels + pitch * y);
        }
    });
    bil::heldGrid = heights.real ? std::move(grid) : bil::Grid();
    preview = std::move(image);
    bil::reportColorTableProblem();
}

// The fewest cells per preview pixel along each side that keep a preview of
// a width x height grid within the globals' capacity.
int previewStep(int64_t width, int64_t height)
{
    int step = 1;
    while (((width + step - 1) / step) * ((height + step - 1) / step) > BILCapacity)
        ++step;
    return step;
}

// Holds grid, beyond the globals' capacity, as the grid shown: its preview
// shows the cell in the middle of every step x step block.
void hold(bil::Grid &grid, QImage &preview, int step)
{
    const int32_t width = grid.width(), height = grid.height();
    QImage image((width + step - 1) / step, (height + step - 1) / step, QImage::Format_ARGB32);
    if (image.isNull()) throw std::bad_alloc();
    const bil::HeightsView &heights = grid.view();
    const bil::ColorLut lut = bil::colorLut(TextureColor);
    bil::forEachBand(image.height(), [&](int jb, int je) {
        for (int j = jb; j < je; ++j) {
            const int64_t row = int64_t(std::min(j * step + step / 2, height - 1)) * width;
            auto *out = reinterpret_cast<TAlphaColor *>(image.scanLine(j));
            for (int i = 0; i < image.width(); ++i) {
                const int16_t v =
                    wholeMetres(heights, row + std::min(i * step + step / 2, width - 1));
                out[i] = lut[size_t(bil::workingSample(v, heights.noData) + BILHeightOffset)];
            }
        }
    });
    describe(grid);
    bil::heldGrid = std::move(grid);
    preview = std::move(image);
    bil::reportColorTableProblem();
}

// Opens paths into the globals as callbacks say; gives the preview's scale.
// A load that fails, is cancelled or is refused puts back the grid still
// held, so that a later export reads the samples with their own layout and
// the caption still names them.
BILPreviewScale openInto(const QStringList &paths, QImage &preview,
                         const bil::LoadCallbacks &callbacks)
{
    const QString nameBefore = BILFileName, &path = paths.front();
    BILFileName = path;
    preview = QImage();
    BILPreviewScale scale;
    try {
        bil::whileDoing(QStringLiteral("open \"%1\"").arg(bil::nativePath(path)), [&] {
            std::optional<bil::Grid> grid = paths.size() == 1 ? bil::loadGrid(path, callbacks)
                                                              : bil::loadMosaic(paths, callbacks);
            if (!grid) return;
            scale = {grid->width(), grid->height(), previewStep(grid->width(), grid->height())};
            if (scale.step == 1)
                publish(*grid, preview);
            else
                hold(*grid, preview, scale.step);
        });
    } catch (...) {
        BILFileName = nameBefore;
        SmoothBIL(0); // the samples may have been staged there
        throw;
    }
    if (preview.isNull()) {
        BILFileName = nameBefore;
        return {};
    }
    return scale;
}

} // namespace

namespace bil {

BILPreviewScale openIntoGlobals(const QStringList &paths, QImage &preview, LoadCallbacks callbacks)
{
    LoadCallbacks globals = globalCallbacks(0);
    globals.askLayout = std::move(callbacks.askLayout);
    globals.progress = std::move(callbacks.progress);
    return openInto(paths, preview, globals);
}

std::optional<Grid> loadGrid(const QString &path, const LoadCallbacks &callbacks)
{
    std::optional<Grid> grid;
    whileDoing(QStringLiteral("open \"%1\"").arg(nativePath(path)), [&] {
        if (const std::optional<GridSource> source = findSource(path, callbacks))
            grid = readGrid(path, *source, callbacks);
    });
    return grid;
}

} // namespace bil

void OpenBILFile(const QString &path, QImage &preview)
{
    openInto({path}, preview, globalCallbacks(BILCapacity));
}

BILPreviewScale OpenAnyBILFile(const QString &path, QImage &preview)
{
    return openInto({path}, preview, globalCallbacks(0));
}

BILPreviewScale OpenBILMosaic(const QStringList &paths, QImage &preview)
{
    return openInto(paths, preview, globalCallbacks(0));
}

void LoadBILFile(const QString &path, QImage &preview)
{
    if (std::optional<bil::Grid> grid = bil::loadGrid(path, globalCallbacks(BILCapacity)))
        publish(*grid, preview);
}

void ReadBILData(const QString &path, QImage &preview)
{
    if (std::optional<bil::Grid> grid = readGrid(
            path, rawSource(path, currentLayout(), std::nullopt), globalCallbacks(BILCapacity)))
        publish(*grid, preview);
}

QString BILCaption()
{
    if (BILFileName.isEmpty()) return QStringLiteral("RELIEVA");
    return QStringLiteral("RELIEVA - ") + BILFileName.sliced(bil::fileNameStart(BILFileName));
}
