#include "elevation/uBILRender.h"

#include "elevation/uBILBands.h"

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
    if (x0 < 0 || y0 < 0 || x0 >= BILWidth || y0 >= BILHeight) {
        BILMin = BILMax = 0; // no corner to start from
        BILRange = 0;
        return;
    }
    const int16_t corner = BILData[int64_t(y0) * BILWidth + x0];
    int16_t lo = corner, hi = corner;
    std::mutex joining;
    bil::forEachBand(std::max(0, y1 - y0), [&](int jb, int je) {
        int16_t bandLo = corner, bandHi = corner;
        for (int y = y0 + jb; y < y0 + je; ++y) {
            const int16_t *row = BILData + int64_t(y) * BILWidth;
            for (int x = x0; x < x1; ++x) {
                bandLo = std::min(bandLo, row[x]);
                bandHi = std::max(bandHi, row[x]);
            }
        }
        const std::lock_guard lock(joining);
        lo = std::min(lo, bandLo);
        hi = std::max(hi, bandHi);
    });
    BILMin = lo;
    BILMax = hi;
    BILRange = uint32_t(hi - lo);
}

void RenderBIL(QImage &bitmap, BILColorFunc color, int x0, int y0, int x1, int y1)
{
    const int w = x1 - x0, h = y1 - y0;
    if (bitmap.width() != w || bitmap.height() != h || bitmap.format() != QImage::Format_ARGB32)
        bitmap = QImage(w, h, QImage::Format_ARGB32);
    if (w <= 0 || h <= 0) return;
    if (bitmap.isNull())
        throw BILError(QStringLiteral("Not enough memory to render a %1 x %2 image.")
                           .arg(QString::number(w), QString::number(h))
                           .toStdString());
    const bil::ColorLut lut = bil::colorLut(color);
    uchar *first = bitmap.bits();
    const qsizetype pitch = bitmap.bytesPerLine() / 4;
    bil::forEachBand(h, [&](int jb, int je) {
        for (int j = jb; j < je; ++j)
            bil::renderRow(lut, y0 + j, x0, x1, reinterpret_cast<TAlphaColor *>(first) + pitch * j);
    });
}
