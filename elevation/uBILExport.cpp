#include "elevation/uBILGrid.h"
#include "elevation/uBILImageWriter.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILRender.h"

#include <algorithm>
#include <future>
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

// The heightmap as grey levels: palette entry g is grey g.
BILImage heightmapImage(Region r)
{
    std::vector<TAlphaColor> greys(256);
    for (int g = 0; g < 256; ++g)
        greys[size_t(g)] = MakeColor(g, g, g);
    const bil::ColorLut colors = bil::colorLut(HeightColor);
    std::vector<uint8_t> levels(colors.size());
    std::transform(colors.begin(), colors.end(), levels.begin(),
                   [](TAlphaColor c) { return uint8_t(c); });
    return indexedImage(std::move(greys), std::move(levels), r);
}

void exportRegion(const QString &fileName, int radius, const Region &region)
{
    const qsizetype dot = bil::extensionStart(fileName);
    const QString stem = fileName.left(dot) + u'.';
    const QString extension = fileName.sliced(dot);
    const BILImageType type = BILImageTypeOf(extension, fileName);

    SmoothBIL(radius);
    ScanBILRange(region.x0, region.y0, region.x1, region.y1);
    bil::reportColorTableProblem();

    // Both images are encoded at once; the texture is still written first.
    // Where no thread can be started the heightmap is encoded afterwards.
    const QString texture = stem + QStringLiteral("-tx") + extension;
    const QString heightmap = stem + QStringLiteral("-ht") + extension;
    auto heightmapBytes = std::async(std::launch::async | std::launch::deferred, [&] {
        return EncodeBILImage(type, heightmapImage(region), heightmap);
    });
    WriteBILImageFile(texture, EncodeBILImage(type, textureImage(region), texture));
    WriteBILImageFile(heightmap, heightmapBytes.get());
}

} // namespace

void ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1, int y1)
{
    if (!bil::gridUsable()) return;
    if (x0 < 0 || y0 < 0 || x1 > BILWidth || y1 > BILHeight || x0 > x1 || y0 > y1)
        throw BILError(QStringLiteral("The region %1, %2 - %3, %4 lies outside the %5 x %6 grid.")
                           .arg(QString::number(x0), QString::number(y0), QString::number(x1),
                                QString::number(y1), QString::number(BILWidth),
                                QString::number(BILHeight))
                           .toStdString());
    if (x0 == x1 || y0 == y1) {
        bil::showError(QStringLiteral("The selected region is empty."));
        return;
    }
    bil::whileDoing(QStringLiteral("export \"%1\"").arg(bil::nativePath(fileName)), [&] {
        exportRegion(fileName, radius, {x0, y0, x1, y1});
    });
}
