#include "elevation/uBILExport.h"

#include "elevation/uBILFileSet.h"
#include "elevation/uBILFill.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILImageWriter.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILRender.h"
#include "elevation/uBILReproject.h"
#include "elevation/uBILResample.h"
#include "elevation/uBILSidecar.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace {

using Region = bil::CellRegion;

// Writes the smoothed whole metres of rows first .. first + count - 1 of a
// region, one row after the other.
using WholeRows = std::function<void(int first, int count, int16_t *out)>;

// The range of the heights an export reads, gathered from the bands of whole
// metres as they are smoothed, from several threads: the whole metres' own,
// or the unrounded means' (exact) of 16-bit samples.
class RangeScan
{
public:
    explicit RangeScan(bool exact) : exact(exact) {}

    const bool exact;

    // rows of columns samples, one after the other.
    void takeWhole(const int16_t *samples, int columns, int rows)
    {
        const bil::WholeRange band = bil::wholeRange(samples, columns, columns, rows, 1);
        const std::lock_guard lock(joining);
        lowest = std::min(lowest, band.lowest);
        highest = std::max(highest, band.highest);
    }
    void takeMeans(const bil::MeanRange &band)
    {
        const std::lock_guard lock(joining);
        means.join(band);
    }
    // Where no cell has a mean, an empty range, as exactRange gives it.
    BILHeightRange range() const
    {
        if (!exact) return {double(lowest), double(highest)};
        return means.lowest <= means.highest ? BILHeightRange{means.lowest, means.highest}
                                             : BILHeightRange{};
    }

private:
    std::mutex joining;
    int16_t lowest = std::numeric_limits<int16_t>::max();
    int16_t highest = std::numeric_limits<int16_t>::min();
    bil::MeanRange means;
};

// Where an export's pixels come from: the heights as read, smoothed band by
// band as the encoders ask for rows, or, for the window, the whole metres it
// holds smoothed already.
struct Source
{
    bil::HeightsView heights;
    int radius;
    bool held = false; // the whole metres are BILData's

    // Whether a RangeScan can gather the range while whole metres are smoothed.
    bool scans(bool exact) const { return !held && (!exact || heights.whole); }

    // The region's rows, scanned on the way where scan is given (as scans() allows).
    WholeRows whole(const Region &r, RangeScan *scan = nullptr) const
    {
        if (held)
            return [r](int first, int count, int16_t *out) {
                for (int j = 0; j < count; ++j)
                    std::copy_n(BILData + int64_t(r.y0 + first + j) * BILWidth + r.x0, r.columns(),
                                out + int64_t(j) * r.columns());
            };
        return [heights = heights, radius = radius, r, scan](int first, int count, int16_t *out) {
            bil::MeanRange means;
            bil::smoothWhole(heights, radius, {r.x0, r.y0 + first, r.x1, r.y0 + first + count}, out,
                             r.columns(), 1, scan && scan->exact ? &means : nullptr);
            if (!scan) return;
            if (scan->exact)
                scan->takeMeans(means);
            else
                scan->takeWhole(out, r.columns(), count);
        };
    }
};

// Bands of this many rows where an export reads its rows without an encoder.
constexpr int kScanRows = 64;

// The lowest and highest unrounded mean of the region's cells that have one.
BILHeightRange exactRange(const bil::HeightsView &heights, int radius, const Region &r, int threads)
{
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    std::mutex joining;
    bil::exactMeans(
        heights, radius, r,
        [&](int, const double *means) {
            double lo = lowest, hi = highest;
            for (int i = 0; i < r.columns(); ++i)
                if (!std::isnan(means[i])) {
                    lo = std::min(lo, means[i]);
                    hi = std::max(hi, means[i]);
                }
            const std::lock_guard lock(joining);
            lowest = std::min(lowest, lo);
            highest = std::max(highest, hi);
        },
        threads);
    return lowest <= highest ? BILHeightRange{lowest, highest} : BILHeightRange{};
}

// The range of the region's heights at radius: the lowest and highest
// smoothed whole metre (a window without a valid sample counts as 0), or
// with exact the lowest and highest unrounded mean of the cells that have one.
BILHeightRange regionRange(const Source &source, const Region &r, bool exact, int threads)
{
    if (!source.scans(exact)) return exactRange(source.heights, source.radius, r, threads);
    RangeScan scan(exact);
    const WholeRows rows = source.whole(r, &scan);
    bil::shareTasks((r.rows() + kScanRows - 1) / kScanRows,
                    [&](const auto &next) {
                        std::vector<int16_t> band(size_t(r.columns()) * kScanRows);
                        for (int b; (b = next()) >= 0;)
                            rows(b * kScanRows, std::min(kScanRows, r.rows() - b * kScanRows),
                                 band.data());
                    },
                    threads);
    return scan.range();
}

// Rows of the region's smoothed whole metres looked up in lut.
template <typename Pixel>
std::function<void(int, int, void *)> rowsThrough(std::vector<Pixel> lut, WholeRows whole,
                                                  int columns)
{
    return
        [lut = std::move(lut), whole = std::move(whole), columns](int first, int count, void *out) {
            thread_local std::vector<int16_t> band;
            band.resize(size_t(columns) * size_t(count));
            whole(first, count, band.data());
            bil::renderRow(lut, band.data(), int(band.size()), static_cast<Pixel *>(out));
        };
}

BILImage indexedImage(std::vector<TAlphaColor> palette, std::vector<uint8_t> indices,
                      WholeRows whole, const Region &r)
{
    BILImage image;
    image.width = r.columns();
    image.height = r.rows();
    image.palette = std::move(palette);
    image.rows = rowsThrough(std::move(indices), std::move(whole), r.columns());
    return image;
}

// The texture as palette indices when the colour table has at most 256
// colours (a third of the bytes to compress), else as colours.
BILImage textureImage(WholeRows whole, const Region &r)
{
    const bil::ColorLut colors = bil::colorLut(TextureColor);
    std::unordered_map<TAlphaColor, uint8_t> index;
    std::vector<TAlphaColor> palette;
    std::vector<uint8_t> indices(colors.size());
    for (size_t h = 0; h < colors.size() && palette.size() <= 256; ++h) {
        const auto [it, added] = index.try_emplace(colors[h], uint8_t(palette.size()));
        if (added) palette.push_back(colors[h]);
        indices[h] = it->second;
    }
    if (palette.size() <= 256)
        return indexedImage(std::move(palette), std::move(indices), std::move(whole), r);

    BILImage image;
    image.width = r.columns();
    image.height = r.rows();
    image.opaque =
        std::all_of(colors.begin(), colors.end(), [](TAlphaColor c) { return c >> 24 == 0xFF; });
    image.rows = rowsThrough(colors, std::move(whole), r.columns());
    return image;
}

// Where the grey levels stand in metres, for whoever reads the heightmap.
std::vector<std::pair<QByteArray, QByteArray>> heightText(const BILHeightRange &range)
{
    return {{"relieva:min-height", BILHeightText(range.lowest).toLatin1()},
            {"relieva:max-height", BILHeightText(range.highest).toLatin1()}};
}

// The heightmap as grey levels of the smoothed whole metres: palette entry g is grey g.
BILImage heightmapImage(WholeRows whole, const Region &r, const BILHeightRange &range)
{
    std::vector<TAlphaColor> greys(256);
    for (int g = 0; g < 256; ++g)
        greys[size_t(g)] = MakeColor(g, g, g);
    std::vector<uint8_t> levels(BILHeightCount);
    for (int h = BILHeightLowest; h <= BILHeightHighest; ++h)
        levels[size_t(h + BILHeightOffset)] =
            uint8_t(bil::greyLevel(h, range.lowest, range.highest, 255));
    BILImage image = indexedImage(std::move(greys), std::move(levels), std::move(whole), r);
    image.text = heightText(range);
    return image;
}

// Rows of the region's unrounded means at radius, each row of means turned
// into pixels by pixels(means, count, out), which sees NaN where a window has
// no valid sample.
template <typename Pixel, typename ToPixels>
std::function<void(int, int, void *)> meansThrough(const bil::HeightsView &heights, int radius,
                                                   const Region &r, ToPixels pixels)
{
    return [heights, radius, r, pixels](int first, int count, void *out) {
        const size_t width = size_t(r.columns());
        const int top = r.y0 + first;
        bil::exactMeans(
            heights, radius, {r.x0, top, r.x1, top + count},
            [&](int y, const double *means) {
                pixels(means, width, static_cast<Pixel *>(out) + size_t(y - top) * width);
            },
            1);
    };
}

// The heights as read, smoothed without rounding, in metres; NaN where a
// cell has no valid sample in its window. placed: where its upper-left cell lies.
BILImage heightsImage(const bil::HeightsView &heights, int radius, const Region &r,
                      const std::optional<BILGeoReference> &placed)
{
    BILImage image;
    image.width = r.columns();
    image.height = r.rows();
    image.real = true;
    image.placedAt = placed;
    image.rows =
        meansThrough<float>(heights, radius, r, [](const double *means, size_t n, float *out) {
            std::copy_n(means, n, out);
        });
    return image;
}

// The heightmap as 16-bit grey levels of the heights as read, smoothed
// without rounding; a cell with no valid sample in its window is black.
BILImage heightmap16Image(const bil::HeightsView &heights, int radius, const Region &r,
                          const BILHeightRange &range)
{
    BILImage image;
    image.width = r.columns();
    image.height = r.rows();
    image.grey16 = true;
    image.text = heightText(range);
    // greyLevel's rule, written without branches so that it vectorises.
    image.rows = meansThrough<uint16_t>(
        heights, radius, r, [range](const double *means, size_t n, uint16_t *out) {
            const double lowest = range.lowest, span = range.highest - range.lowest;
            if (span == 0) {
                std::fill_n(out, n, uint16_t(0));
                return;
            }
            for (size_t i = 0; i < n; ++i) {
                double v = (means[i] - lowest) / span * 65535;
                v = v == v ? std::min(std::max(v, 0.0), 65535.0) : 0.0; // NaN: black
                out[i] = uint16_t(int32_t(bil::roundHalfEven(v)));
            }
        });
    return image;
}

// A world file places an image in the grid's coordinates: the cell size,
// no rotation, and the centre of the upper-left pixel.
QByteArray worldFile(const BILGeoReference &geo, const Region &r)
{
    const double lines[] = {geo.cellWidth,
                            0,
                            0,
                            -geo.cellHeight,
                            geo.left + (r.x0 + 0.5) * geo.cellWidth,
                            geo.top - (r.y0 + 0.5) * geo.cellHeight};
    QByteArray text;
    for (double v : lines) {
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        text.append(digits, end - digits).append('\n');
    }
    return text;
}

// Encodes image into path and, placed by a georeference, adds its world
// file. A world file left from an earlier export would place the new image
// wrongly, so without a new one it goes.
void addImage(bil::FileSet &files, BILImageType type, const BILImage &image, const QString &path,
              const BILGeoReference *placedBy, const Region &region, int threads, bil::Steps &steps)
{
    steps.on(path);
    BILImage counted = image;
    counted.rows = [&](int first, int count, void *pixels) {
        image.rows(first, count, pixels);
        steps.advance(count);
    };
    files.write(path, [&](QIODevice &out) { WriteBILImage(type, counted, out, path, threads); });
    const QString world = BILWorldFileName(path);
    if (placedBy)
        files.write(world, worldFile(*placedBy, region));
    else
        files.remove(world);
}

// The image type of fileName, after checking that options can be written.
BILImageType checkedType(const QString &fileName, const BILExportOptions &options)
{
    const BILImageType type =
        BILImageTypeOf(fileName.sliced(bil::extensionStart(fileName)), fileName);
    const int bits = options.heightmapBits;
    const bool stored = type == BILImageType::Png   ? bits == 8 || bits == 16
                        : type == BILImageType::Bmp ? bits == 8
                        : type == BILImageType::R16 ? bits == 16
                                                    : bits == 32;
    if (!stored)
        throw BILError(QStringLiteral("Cannot write \"%1\": heightmaps are 8-bit, or 16-bit PNG "
                                      "or .r16, or float .exr or .tif.")
                           .arg(bil::nativePath(fileName))
                           .toStdString());
    if (options.width < 0 || options.height < 0 ||
        int64_t(options.width) * options.height > BILCapacity)
        throw BILError(QStringLiteral("Cannot write \"%1\": %2 x %3 samples are more than %4.")
                           .arg(bil::nativePath(fileName), QString::number(options.width),
                                QString::number(options.height), QString::number(BILCapacity))
                           .toStdString());
    if (options.range && options.range->lowest > options.range->highest)
        throw BILError(
            QStringLiteral("The height range %1 to %2 is empty.")
                .arg(BILHeightText(options.range->lowest), BILHeightText(options.range->highest))
                .toStdString());
    return type;
}

// One pair of images of an export: the whole region, or one tile of it.
struct Part
{
    QString fileName;
    Region region;
};

// Writes the texture and heightmap of each part with their world files and
// the sidecar as asked, and gives the heights mapped to black and white:
// range where given, else the region's own. The textures go first, and
// scan the heightmap's range on their way where they can.
BILHeightRange writeParts(bil::FileSet &files, const Source &source,
                          const std::optional<BILGeoReference> &geo, BILImageType type,
                          const Region &region, const std::vector<Part> &parts,
                          const BILExportOptions &options, std::optional<BILHeightRange> range,
                          int threads)
{
    const int bits = options.heightmapBits;
    RangeScan scan(bits != 8);
    RangeScan *scanning = !range && source.scans(scan.exact) ? &scan : nullptr;
    if (!range && !scanning) range = exactRange(source.heights, source.radius, region, threads);
    // Beside a heightmap that is no picture, which no world file places, the
    // texture is a PNG.
    const bool raw =
        type == BILImageType::R16 || type == BILImageType::Exr || type == BILImageType::Tif32;
    const BILGeoReference *placedBy = options.worldFiles && geo ? &*geo : nullptr;
    // Each part's rows are written twice: in its texture and its heightmap.
    int64_t rows = 0;
    for (const Part &part : parts)
        rows += 2 * part.region.rows();
    bil::Steps steps(options.progress, bil::Doing::Writing, rows);
    for (const Part &part : parts)
        addImage(files, raw ? BILImageType::Png : type,
                 textureImage(source.whole(part.region, scanning), part.region),
                 BILExportFileNames(part.fileName).texture, placedBy, part.region, threads, steps);
    if (scanning) range = scan.range();

    for (const Part &part : parts) {
        const Region &r = part.region;
        // Where the part's upper-left cell lies.
        std::optional<BILGeoReference> placed = geo;
        if (placed) {
            placed->left += r.x0 * placed->cellWidth;
            placed->top -= r.y0 * placed->cellHeight;
        }
        const QString heightmap = BILExportFileNames(part.fileName).heightmap;
        addImage(files, type,
                 bits == 32   ? heightsImage(source.heights, source.radius, r, placed)
                 : bits == 16 ? heightmap16Image(source.heights, source.radius, r, *range)
                              : heightmapImage(source.whole(r), r, *range),
                 heightmap, raw ? nullptr : placedBy, r, threads, steps);
        const QString sidecar = bil::sidecarName(heightmap);
        if (options.sidecar)
            files.write(sidecar, bil::sidecarJson({r.columns(), r.rows(), placed, *range,
                                                   bits == 32   ? 0
                                                   : bits == 16 ? 65535
                                                                : 255}));
        else
            files.remove(sidecar); // it would describe another heightmap
    }
    return *range;
}

// Throws, naming sizes that would do, unless samples less one divide into parts.
void checkTiles(const QString &fileName, int columns, int rows, int across, int down)
{
    if ((columns - 1) % across == 0 && (rows - 1) % down == 0) return;
    const auto near = [](int samples, int parts) {
        const int below = 1 + (samples - 1) / parts * parts;
        return QStringLiteral("%1 or %2").arg(std::max(below, 1 + parts)).arg(below + parts);
    };
    throw BILError(QStringLiteral("Cannot write \"%1\" in %2 x %3 tiles that share their edges: "
                                  "%4 x %5 samples less one do not divide into them; %6 columns "
                                  "and %7 rows would.")
                       .arg(bil::nativePath(fileName))
                       .arg(across)
                       .arg(down)
                       .arg(columns)
                       .arg(rows)
                       .arg(near(columns, across), near(rows, down))
                       .toStdString());
}

// Smooths for the texture and sets the globals' range to range, widened to whole metres.
BILHeightRange fixedRange(int radius, const BILHeightRange &range)
{
    SmoothBIL(radius);
    const auto whole = [](double h) {
        return int16_t(std::clamp(h, double(BILHeightLowest), double(BILHeightHighest)));
    };
    BILMin = whole(std::floor(range.lowest));
    BILMax = whole(std::ceil(range.highest));
    BILRange = uint32_t(BILMax - BILMin);
    return range;
}

// Throws when region does not lie within a width x height grid.
void checkRegion(const Region &r, int width, int height)
{
    if (r.x0 < 0 || r.y0 < 0 || r.x1 > width || r.y1 > height || r.x0 > r.x1 || r.y0 > r.y1)
        throw BILError(QStringLiteral("The region %1, %2 - %3, %4 lies outside the %5 x %6 grid.")
                           .arg(QString::number(r.x0), QString::number(r.y0), QString::number(r.x1),
                                QString::number(r.y1), QString::number(width),
                                QString::number(height))
                           .toStdString());
}

// Throws when region is not a part of heights with cells in it.
void checkCells(const Region &region, const bil::HeightsView &heights)
{
    checkRegion(region, heights.width, heights.height);
    if (region.columns() == 0 || region.rows() == 0)
        throw BILError("The selected region is empty.");
}

QString exporting(const QString &fileName)
{
    return QStringLiteral("export \"%1\"").arg(bil::nativePath(fileName));
}

} // namespace

namespace bil {

BILHeightRange regionHeightRange(const HeightsView &heights, int radius, const CellRegion &region,
                                 int heightmapBits, int threads)
{
    checkCells(region, heights);
    BILHeightRange range;
    whileDoing(QStringLiteral("scan the heights"), [&] {
        range = regionRange({heights, radius}, region, heightmapBits != 8, threads);
    });
    return range;
}

BILHeightRange exportRegion(const HeightsView &heights, const std::optional<BILGeoReference> &geo,
                            const QString &fileName, int radius, const CellRegion &region,
                            const BILExportOptions &options,
                            const std::function<void(const QString &)> &warn, int threads)
{
    checkCells(region, heights);
    if (options.fillVoids > 0) {
        // Before smoothing and resampling, from valid cells beyond the region too.
        bil::Grid filled;
        whileDoing(exporting(fileName),
                   [&] { filled = filledVoids(heights, geo, options.fillVoids, threads); });
        BILExportOptions rest = options;
        rest.fillVoids = 0;
        return exportRegion(filled.view(), filled.geo, fileName, radius, region, rest, warn,
                            threads);
    }
    if (options.utm && !geo)
        throw BILError(QStringLiteral("Cannot write \"%1\" in UTM: the grid does not say where it "
                                      "lies.")
                           .arg(bil::nativePath(fileName))
                           .toStdString());
    const bool reproject = options.utm && geo->geographic;
    if (options.utm && !reproject && warn)
        warn(QStringLiteral("The grid is in map coordinates already; \"%1\" keeps them.")
                 .arg(bil::nativePath(fileName)));
    if (reproject || (options.width > 0 && options.height > 0)) {
        // The resampled or reprojected heights are a grid of their own, exported whole.
        checkedType(fileName, options);
        bil::Grid grid;
        whileDoing(exporting(fileName), [&] {
            grid = reproject ? toUtm(heights, *geo, radius, region, options.width, options.height,
                                     options.resampling, threads)
                             : resampled(heights, geo, radius, region, options.width,
                                         options.height, options.resampling, threads);
        });
        BILExportOptions whole = options;
        whole.width = whole.height = 0;
        whole.utm = false;
        return exportRegion(grid.view(), grid.geo, fileName, 0, {0, 0, grid.width(), grid.height()},
                            whole, warn, threads);
    }
    if (options.tilesAcross > 1 || options.tilesDown > 1)
        checkTiles(fileName, region.columns(), region.rows(), std::max(options.tilesAcross, 1),
                   std::max(options.tilesDown, 1));
    BILHeightRange range;
    whileDoing(exporting(fileName), [&] {
        const BILImageType type = checkedType(fileName, options);
        reportColorTableProblem(warn);
        std::vector<Part> parts;
        const int across = std::max(options.tilesAcross, 1), down = std::max(options.tilesDown, 1);
        if (across * down == 1) {
            parts.push_back({fileName, region});
        } else {
            // Neighbours share their edge row and column, so that they meet without a seam.
            const int stepX = (region.columns() - 1) / across, stepY = (region.rows() - 1) / down;
            for (int r = 0; r < down; ++r)
                for (int c = 0; c < across; ++c)
                    parts.push_back(
                        {BILTileName(fileName, c, r),
                         {region.x0 + c * stepX, region.y0 + r * stepY,
                          region.x0 + c * stepX + stepX + 1, region.y0 + r * stepY + stepY + 1}});
        }
        bil::FileSet files;
        range = writeParts(files, {heights, radius}, geo, type, region, parts, options,
                           options.range, threads);
        files.commit();
    });
    return range;
}

} // namespace bil

BILHeightRange BILRegionHeightRange(int radius, int x0, int y0, int x1, int y1, int heightmapBits)
{
    SmoothBIL(radius);
    ScanBILRange(x0, y0, x1, y1);
    if (heightmapBits != 8)
        return exactRange(bil::heightsView(), radius, {x0, y0, x1, y1}, bil::coreCount());
    return {double(BILMin), double(BILMax)};
}

BILExportNames BILExportFileNames(const QString &fileName)
{
    const qsizetype dot = bil::extensionStart(fileName);
    const QString stem = fileName.left(dot) + u'.', extension = fileName.sliced(dot);
    const bool raw = extension.compare(u".r16", Qt::CaseInsensitive) == 0 ||
                     extension.compare(u".exr", Qt::CaseInsensitive) == 0 ||
                     extension.compare(u".tif", Qt::CaseInsensitive) == 0;
    return {stem + QStringLiteral("-tx") + (raw ? QStringLiteral(".png") : extension),
            stem + QStringLiteral("-ht") + extension};
}

QString BILTileName(const QString &fileName, int column, int row)
{
    const qsizetype dot = bil::extensionStart(fileName);
    return fileName.left(dot) + QStringLiteral("_x%1_y%2").arg(column).arg(row) +
           fileName.sliced(dot);
}

QString BILWorldFileName(const QString &image)
{
    const qsizetype dot = bil::extensionStart(image);
    const QString extension = image.sliced(dot).toLower();
    return image.left(dot) + extension.left(2) + extension.right(1) + u'w';
}

void ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1, int y1)
{
    ExportBIL(fileName, radius, x0, y0, x1, y1, BILExportOptions{});
}

std::optional<BILHeightRange> ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1,
                                        int y1, const BILExportOptions &options)
{
    const bil::HeightsView held = bil::heightsView();
    if (held.width <= 0) return std::nullopt;
    const Region region{x0, y0, x1, y1};
    checkRegion(region, BILWidth, BILHeight);
    if (x0 == x1 || y0 == y1) {
        bil::showError(QStringLiteral("The selected region is empty."));
        return std::nullopt;
    }
    // A grid beyond the arrays, resampled or reprojected, is exported from the
    // grid held, as the command line does.
    if (!bil::gridUsable() || options.width > 0 || options.utm || options.tilesAcross > 1 ||
        options.tilesDown > 1 || options.fillVoids > 0)
        return bil::exportRegion(held, BILGeoRef, fileName, radius, region, options,
                                 bil::showError);
    // The globals are left as the exported region's: the whole grid smoothed
    // and the region's range scanned.
    std::optional<BILHeightRange> range;
    bil::whileDoing(exporting(fileName), [&] {
        const BILImageType type = checkedType(fileName, options);
        range = options.range ? fixedRange(radius, *options.range)
                              : BILRegionHeightRange(radius, x0, y0, x1, y1, options.heightmapBits);
        bil::reportColorTableProblem();
        bil::FileSet files;
        writeParts(files, {bil::heightsView(), radius, true}, BILGeoRef, type, region,
                   {{fileName, region}}, options, range, bil::coreCount());
        files.commit();
    });
    return range;
}
