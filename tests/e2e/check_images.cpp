// The end-to-end tests' side of the grid: writes the input files the tests
// open in the program, and decodes the images the program wrote, comparing
// every pixel with what the grid, the colour table and the crop must give.
//
//   e2e_check_images fixtures DIR
//   e2e_check_images cell AREA_W AREA_H GRID_W GRID_H PX PY
//   e2e_check_images check GRID TABLE TEXTURE HEIGHTMAP X0 Y0 X1 Y1 RADIUS [BITS]
//
// BITS is the heightmap's depth: 8 (the default) or 16, a 16-bit grey PNG.
// Only the colour-table parser and the grid globals come from the program;
// the smoothing is the direct window sum of the unit tests, and the fit, the
// texture lookup and the grey ramp are computed here.

#include "elevation/uFMXBILUtils.h"
#include "tests/reference_smooth.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Grid
{
    const char *name;
    int width, height;
    int noData;
    std::function<int16_t(int x, int y)> sample;
};

// Sea, lowland and peaks, with a few missing samples and a little roughness.
const Grid terrain{"terrain", 1000, 600, -9999, [](int x, int y) {
                       if ((x * 7 + y * 11) % 503 == 0) return int16_t(-9999);
                       return int16_t(5200 * std::sin(x * 0.011 + 1) * std::cos(y * 0.017) +
                                      1800 * std::sin(x * 0.05 + y * 0.03) +
                                      (x * 31 + y * 17) % 23 - 11);
                   }};

// An SRTM tile: mountains above sea level, voids flagged -32768.
const Grid tile{"tile", 1201, 1201, -32768, [](int x, int y) {
                    if ((x * x + y) % 1999 == 0) return int16_t(-32768);
                    return int16_t(3000 + 2500 * std::sin(x * 0.013) * std::sin(y * 0.021) +
                                   800 * std::cos((x + y) * 0.04) + (x * 13 + y * 7) % 17);
                }};

const Grid *gridNamed(const QString &name)
{
    for (const Grid *g : {&terrain, &tile})
        if (name == QLatin1String(g->name)) return g;
    return nullptr;
}

QByteArray samples(const Grid &g, bool bigEndian)
{
    QByteArray bytes(qsizetype(g.width) * g.height * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<uint16_t *>(bytes.data());
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const auto v = uint16_t(g.sample(x, y));
            *out++ = bigEndian ? qToBigEndian(v) : qToLittleEndian(v);
        }
    return bytes;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

int fixtures(const QDir &dir)
{
    const QByteArray esri = QByteArrayLiteral("NROWS 600\nNCOLS 1000\nNODATA -9999\nBYTEORDER I\n");
    const QByteArray grid = samples(terrain, false);
    const bool ok = write(dir.filePath("terrain.bil"), grid) &&
                    write(dir.filePath("terrain.hdr"), esri) &&
                    write(dir.filePath("N46E008.hgt"), samples(tile, true)) &&
                    write(dir.filePath("refused.bil"), grid.left(200)) &&
                    write(dir.filePath("refused.hdr"), "NROWS 0\nNCOLS 1000\n") &&
                    write(dir.filePath("truncated.bil"), grid.left(grid.size() / 2)) &&
                    write(dir.filePath("truncated.hdr"), esri);
    return ok ? 0 : 2;
}

// The cell under point (px, py) of a fitted preview: the grid scaled by the
// smaller ratio, centred, and the point truncated toward zero.
int cell(double areaW, double areaH, int gridW, int gridH, double px, double py)
{
    const float w = float(gridW), h = float(gridH);
    const float zx = float(areaW / w), zy = float(areaH / h);
    float zoom, offsetX = 0, offsetY = 0;
    if (zy > zx) {
        zoom = zx;
        offsetY = float((areaH - double(zx) * h) / 2);
    } else {
        zoom = zy;
        offsetX = float((areaW - double(zy) * w) / 2);
    }
    std::printf("%d %d\n", int(std::trunc((px - offsetX) / double(zoom))),
                int(std::trunc((py - offsetY) / double(zoom))));
    return 0;
}

// Compares an image file pixel by pixel with expected(i, j); reports the
// first few differences.
bool compare(const QString &path, int w, int h, const std::function<QRgb(int i, int j)> &expected)
{
    const QImage decoded(path);
    if (decoded.isNull()) {
        std::printf("FAIL %s: cannot be decoded\n", qPrintable(path));
        return false;
    }
    if (decoded.width() != w || decoded.height() != h) {
        std::printf("FAIL %s: %d x %d, expected %d x %d\n", qPrintable(path), decoded.width(),
                    decoded.height(), w, h);
        return false;
    }
    const QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    long wrong = 0;
    for (int j = 0; j < h; ++j) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(j));
        for (int i = 0; i < w; ++i)
            if (row[i] != expected(i, j) && ++wrong <= 5)
                std::printf("  %s (%d, %d): %08x, expected %08x\n", qPrintable(path), i, j, row[i],
                            expected(i, j));
    }
    if (wrong)
        std::printf("FAIL %s: %ld of %d pixels differ\n", qPrintable(path), wrong, w * h);
    else
        std::printf("ok   %s: %d x %d pixels as expected\n", qPrintable(path), w, h);
    return wrong == 0;
}

// Compares a 16-bit grey image file level by level with expected(i, j).
bool compareGrey16(const QString &path, int w, int h,
                   const std::function<uint16_t(int i, int j)> &expected)
{
    const QImage image(path);
    if (image.format() != QImage::Format_Grayscale16) {
        std::printf("FAIL %s: not decoded as 16-bit grey (format %d)\n", qPrintable(path),
                    int(image.format()));
        return false;
    }
    if (image.width() != w || image.height() != h) {
        std::printf("FAIL %s: %d x %d, expected %d x %d\n", qPrintable(path), image.width(),
                    image.height(), w, h);
        return false;
    }
    long wrong = 0;
    for (int j = 0; j < h; ++j) {
        const auto *row = reinterpret_cast<const uint16_t *>(image.constScanLine(j));
        for (int i = 0; i < w; ++i)
            if (row[i] != expected(i, j) && ++wrong <= 5)
                std::printf("  %s (%d, %d): %u, expected %u\n", qPrintable(path), i, j,
                            unsigned(row[i]), unsigned(expected(i, j)));
    }
    if (wrong)
        std::printf("FAIL %s: %ld of %d levels differ\n", qPrintable(path), wrong, w * h);
    else
        std::printf("ok   %s: %d x %d 16-bit levels as expected\n", qPrintable(path), w, h);
    return wrong == 0;
}

int check(const Grid &g, const QString &table, const QString &texture, const QString &heightmap,
          int x0, int y0, int x1, int y1, int radius, int bits)
{
    // The program's own parser reads the table, from a folder of its own.
    QTemporaryDir tableDir;
    if (!QFile::copy(table, tableDir.filePath("RELIEVA.txt"))) {
        std::printf("FAIL cannot read the colour table %s\n", qPrintable(table));
        return 1;
    }
    BILDefaultColorTable().clear();
    QDir::setCurrent(tableDir.path());
    LoadColorTable();
    if (BILColorOf(0) >> 24 != 0xFF) {
        std::printf("FAIL the colour table %s leaves height 0 transparent\n", qPrintable(table));
        return 1;
    }

    BILWidth = g.width;
    BILHeight = g.height;
    BILNoData = g.noData;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            BILRaw[y * g.width + x] = g.sample(x, y);
    const std::vector<int16_t> smooth = ReferenceSmooth(radius);
    const auto at = [&](int i, int j) { return smooth[size_t(y0 + j) * g.width + x0 + i]; };

    const int w = x1 - x0, h = y1 - y0;
    int lo = at(0, 0), hi = lo;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            lo = std::min<int>(lo, at(i, j));
            hi = std::max<int>(hi, at(i, j));
        }
    // Lowest black, highest white, halves to the even level.
    const auto level = [&](int i, int j, double white) {
        if (hi <= lo) return 0.0;
        const double v = double(at(i, j) - lo) / double(hi - lo) * white;
        return std::clamp(std::nearbyint(v), 0.0, white);
    };
    const auto grey = [&](int i, int j) -> QRgb {
        const int v = int(level(i, j, 255.0));
        return qRgb(v, v, v);
    };
    // 16 bits: the means unrounded, the range that of the cells that have
    // one, a cell without one black.
    std::vector<double> heights;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const int16_t s = g.sample(x, y);
            heights.push_back(s == g.noData ? std::nan("") : double(s));
        }
    const std::vector<double> means = ReferenceMeans(heights, g.width, g.height, radius);
    const auto mean = [&](int i, int j) { return means[size_t(y0 + j) * g.width + x0 + i]; };
    double exactLo = INFINITY, exactHi = -INFINITY;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (!std::isnan(mean(i, j))) {
                exactLo = std::min(exactLo, mean(i, j));
                exactHi = std::max(exactHi, mean(i, j));
            }
    const auto grey16 = [&](int i, int j) {
        const double m = mean(i, j);
        if (std::isnan(m) || exactHi <= exactLo) return uint16_t(0);
        return uint16_t(std::nearbyint((m - exactLo) / (exactHi - exactLo) * 65535.0));
    };
    const auto colour = [&](int i, int j) -> QRgb { return BILColors[at(i, j) + 32768]; };
    const bool textureOk = compare(texture, w, h, colour);
    const bool heightmapOk =
        bits == 16 ? compareGrey16(heightmap, w, h, grey16) : compare(heightmap, w, h, grey);
    return textureOk && heightmapOk ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: e2e_check_images fixtures DIR\n"
                         "       e2e_check_images cell AREA_W AREA_H GRID_W GRID_H PX PY\n"
                         "       e2e_check_images check terrain|tile TABLE TEXTURE HEIGHTMAP "
                         "X0 Y0 X1 Y1 RADIUS [8|16]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<QString> args(argv + 1, argv + argc);
    const auto number = [&](size_t i) { return args[i].toInt(); };
    if (args.size() == 2 && args[0] == u"fixtures") return fixtures(QDir(args[1]));
    if (args.size() == 7 && args[0] == u"cell")
        return cell(number(1), number(2), number(3), number(4), number(5), number(6));
    if ((args.size() == 10 || args.size() == 11) && args[0] == u"check") {
        const Grid *g = gridNamed(args[1]);
        const int bits = args.size() == 11 ? number(10) : 8;
        if (!g || (bits != 8 && bits != 16)) return usage();
        return check(*g, args[2], args[3], args[4], number(5), number(6), number(7), number(8),
                     number(9), bits);
    }
    return usage();
}
