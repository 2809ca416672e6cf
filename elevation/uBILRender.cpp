#include "elevation/uBILRender.h"

#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"

#include <cmath>
#include <mutex>

namespace bil {

ColorLut colorLut(BILColorFunc color)
{
    ColorLut lut(BILHeightCount);
    for (int h = BILHeightLowest; h <= BILHeightHighest; ++h)
        lut[size_t(h + BILHeightOffset)] = color(int16_t(h));
    return lut;
}

WholeRange wholeRange(const int16_t *first, int64_t pitch, int columns, int rows, int threads)
{
    const int16_t corner = *first;
    int16_t lo = corner, hi = corner;
    std::mutex joining;
    bil::forEachBand(
        std::max(0, rows),
        [&](int jb, int je) {
            int16_t bandLo = corner, bandHi = corner;
            for (int j = jb; j < je; ++j) {
                const int16_t *row = first + int64_t(j) * pitch;
                for (int i = 0; i < columns; ++i) {
                    bandLo = std::min(bandLo, row[i]);
                    bandHi = std::max(bandHi, row[i]);
                }
            }
            const std::lock_guard lock(joining);
            lo = std::min(lo, bandLo);
            hi = std::max(hi, bandHi);
        },
        threads);
    return {lo, hi};
}

} // namespace bil

TAlphaColor MakeColor(int red, int green, int blue)
{
    return 0xFF000000u | (uint32_t(red) & 0xFF) << 16 | (uint32_t(green) & 0xFF) << 8 |
           (uint32_t(blue) & 0xFF);
}

TAlphaColor HeightColor(int16_t height)
{
    const int g = bil::greyLevel(height, BILMin, double(BILMin) + BILRange, 255);
    return MakeColor(g, g, g);
}

void ScanBILRange(int x0, int y0, int x1, int y1)
{
    if (!bil::gridUsable() || x0 < 0 || y0 < 0 || x0 >= BILWidth || y0 >= BILHeight) {
        BILMin = BILMax = 0; // no corner to start from
        BILRange = 0;
        return;
    }
    const bil::WholeRange r =
        bil::wholeRange(BILData + int64_t(y0) * BILWidth + x0, BILWidth, x1 - x0, y1 - y0);
    BILMin = r.lowest;
    BILMax = r.highest;
    BILRange = uint32_t(r.highest - r.lowest);
}

void RenderBIL(QImage &bitmap, BILColorFunc color, int x0, int y0, int x1, int y1)
{
    const int w = x1 - x0, h = y1 - y0;
    if (bitmap.width() != w || bitmap.height() != h || bitmap.format() != QImage::Format_ARGB32)
        bitmap = QImage(w, h, QImage::Format_ARGB32);
    if (w <= 0 || h <= 0 || !bil::gridUsable()) return; // a grid beyond them is not in the arrays
    if (bitmap.isNull())
        throw BILError(QStringLiteral("Not enough memory to render a %1 x %2 image.")
                           .arg(QString::number(w), QString::number(h))
                           .toStdString());
    const bil::ColorLut lut = bil::colorLut(color);
    uchar *first = bitmap.bits();
    const qsizetype pitch = bitmap.bytesPerLine() / 4;
    bil::forEachBand(h, [&](int jb, int je) {
        for (int j = jb; j < je; ++j)
            bil::renderRow(lut, BILData + int64_t(y0 + j) * BILWidth + x0, w,
                           reinterpret_cast<TAlphaColor *>(first) + pitch * j);
    });
}
