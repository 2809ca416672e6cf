#include "elevation/uBILFileSet.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILImageWriter.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILRender.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace {

struct Region
{
    int x0, y0, x1, y1;
};

BILImage indexedImage(std::vector<TAlphaColor> palette, std::vector<uint8_t> indices, Region r)
{
    BILImage image;
    image.width = r.x1 - r.x0;
    image.height = r.y1 - r.y0;
    image.palette = std::move(palette);
    image.rows = [indices = std::move(indices), r](int j, void *out) {
        bil::renderRow(indices, r.y0 + j, r.x0, r.x1, static_cast<uint8_t *>(out));
    };
    return image;
}

// The texture as palette indices when the colour table has at most 256
// colours (a third of the bytes to compress), else as colours.
BILImage textureImage(Region r)
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
    if (palette.size() <= 256) return indexedImage(std::move(palette), std::move(indices), r);

    BILImage image;
    image.width = r.x1 - r.x0;
    image.height = r.y1 - r.y0;
    image.opaque =
        std::all_of(colors.begin(), colors.end(), [](TAlphaColor c) { return c >> 24 == 0xFF; });
    image.rows = [colors, r](int j, void *out) {
        bil::renderRow(colors, r.y0 + j, r.x0, r.x1, static_cast<TAlphaColor *>(out));
    };
    return image;
}

// Where the grey levels stand in metres, for whoever reads the heightmap.
std::vector<std::pair<QByteArray, QByteArray>> heightText(const BILHeightRange &range)
{
    return {{"relieva:min-height", BILHeightText(range.lowest).toLatin1()},
            {"relieva:max-height", BILHeightText(range.highest).toLatin1()}};
}

// The heightmap as grey levels of the smoothed whole metres: palette entry g is grey g.
BILImage heightmapImage(Region r, const BILHeightRange &range)
{
    std::vector<TAlphaColor> greys(256);
    for (int g = 0; g < 256; ++g)
        greys[size_t(g)] = MakeColor(g, g, g);
    std::vector<uint8_t> levels(BILHeightCount);
    for (int h = BILHeightLowest; h <= BILHeightHighest; ++h)
        levels[size_t(h + BILHeightOffset)] =
            uint8_t(bil::greyLevel(h, range.lowest, range.highest, 255));
    BILImage image = indexedImage(std::move(greys), std::move(levels), r);
    image.text = heightText(range);
    return image;
}

// The lowest and highest unrounded mean of the region's cells that have one.
BILHeightRange exactRange(const bil::HeightsView &heights, int radius, const Region &r)
{
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    std::mutex joining;
    bil::exactMeans(heights, radius, {r.x0, r.y0, r.x1, r.y1}, [&](int, const double *means) {
        double lo = lowest, hi = highest;
        for (int i = 0; i < r.x1 - r.x0; ++i)
            if (!std::isnan(means[i])) {
                lo = std::min(lo, means[i]);
                hi = std::max(hi, means[i]);
            }
        const std::lock_guard lock(joining);
        lowest = std::min(lowest, lo);
        highest = std::max(highest, hi);
    });
    return lowest <= highest ? BILHeightRange{lowest, highest} : BILHeightRange{};
}

// The heightmap as 16-bit grey levels of the heights as read, smoothed
// without rounding; a cell with no valid sample in its window is black.
BILImage heightmap16Image(const bil::HeightsView &heights, int radius, Region r,
                          const BILHeightRange &range)
{
    const size_t width = size_t(r.x1 - r.x0);
    std::vector<uint16_t> levels(width * size_t(r.y1 - r.y0));
    bil::exactMeans(heights, radius, {r.x0, r.y0, r.x1, r.y1}, [&](int y, const double *means) {
        uint16_t *out = levels.data() + size_t(y - r.y0) * width;
        for (size_t i = 0; i < width; ++i)
            out[i] = std::isnan(means[i])
                         ? 0
                         : uint16_t(bil::greyLevel(means[i], range.lowest, range.highest, 65535));
    });
    BILImage image;
    image.width = r.x1 - r.x0;
    image.height = r.y1 - r.y0;
    image.grey16 = true;
    image.text = heightText(range);
    image.rows = [levels = std::move(levels), width](int j, void *out) {
        std::copy_n(levels.data() + size_t(j) * width, width, static_cast<uint16_t *>(out));
    };
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

// Adds the image and its world file. A world file left from an earlier
// export would place the new image wrongly, so without a new one it goes.
void addImage(bil::FileSet &files, const QString &path, const QByteArray &bytes,
              const BILExportOptions &options, const Region &region)
{
    files.write(path, bytes);
    const QString world = BILWorldFileName(path);
    if (options.worldFiles && BILGeoRef)
        files.write(world, worldFile(*BILGeoRef, region));
    else
        files.remove(world);
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

BILHeightRange exportRegion(const QString &fileName, int radius, const Region &region,
                            const BILExportOptions &options)
{
    const BILImageType type =
        BILImageTypeOf(fileName.sliced(bil::extensionStart(fileName)), fileName);
    if (options.heightmapBits != 8 && (options.heightmapBits != 16 || type != BILImageType::Png))
        throw BILError(QStringLiteral("Cannot write \"%1\": heightmaps are 8-bit, or 16-bit PNG.")
                           .arg(bil::nativePath(fileName))
                           .toStdString());
    if (options.range && options.range->lowest > options.range->highest)
        throw BILError(QStringLiteral("The height range %1 to %2 is empty.")
                           .arg(BILHeightText(options.range->lowest),
                                BILHeightText(options.range->highest))
                           .toStdString());

    const BILHeightRange range =
        options.range ? fixedRange(radius, *options.range)
                      : BILRegionHeightRange(radius, region.x0, region.y0, region.x1, region.y1,
                                             options.heightmapBits);
    bil::reportColorTableProblem();
    const bil::HeightsView heights = bil::heightsView();

    // Both images are encoded at once; where no thread can be started the
    // heightmap is encoded after the texture is written.
    const BILExportNames names = BILExportFileNames(fileName);
    auto heightmapBytes = std::async(std::launch::async | std::launch::deferred, [&] {
        return EncodeBILImage(type,
                              options.heightmapBits == 16
                                  ? heightmap16Image(heights, radius, region, range)
                                  : heightmapImage(region, range),
                              names.heightmap);
    });
    bil::FileSet files;
    addImage(files, names.texture, EncodeBILImage(type, textureImage(region), names.texture),
             options, region);
    addImage(files, names.heightmap, heightmapBytes.get(), options, region);
    files.commit();
    return range;
}

} // namespace

BILHeightRange BILRegionHeightRange(int radius, int x0, int y0, int x1, int y1, int heightmapBits)
{
    SmoothBIL(radius);
    ScanBILRange(x0, y0, x1, y1);
    if (heightmapBits == 16) return exactRange(bil::heightsView(), radius, {x0, y0, x1, y1});
    return {double(BILMin), double(BILMax)};
}

BILExportNames BILExportFileNames(const QString &fileName)
{
    const qsizetype dot = bil::extensionStart(fileName);
    const QString stem = fileName.left(dot) + u'.', extension = fileName.sliced(dot);
    return {stem + QStringLiteral("-tx") + extension, stem + QStringLiteral("-ht") + extension};
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
    if (!bil::gridUsable()) return std::nullopt;
    if (x0 < 0 || y0 < 0 || x1 > BILWidth || y1 > BILHeight || x0 > x1 || y0 > y1)
        throw BILError(QStringLiteral("The region %1, %2 - %3, %4 lies outside the %5 x %6 grid.")
                           .arg(QString::number(x0), QString::number(y0), QString::number(x1),
                                QString::number(y1), QString::number(BILWidth),
                                QString::number(BILHeight))
                           .toStdString());
    if (x0 == x1 || y0 == y1) {
        bil::showError(QStringLiteral("The selected region is empty."));
        return std::nullopt;
    }
    std::optional<BILHeightRange> range;
    bil::whileDoing(QStringLiteral("export \"%1\"").arg(bil::nativePath(fileName)), [&] {
        range = exportRegion(fileName, radius, {x0, y0, x1, y1}, options);
    });
    return range;
}
