// Tiles joined into one grid by their georeference, held against the grid
// GDAL cut them from.
#include "elevation/uBILExport.h"
#include "elevation/uBILLoad.h"

#include "tests/gdalTools.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kWidth = 41, kHeight = 31;

class MosaicTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Rough terrain in degrees with a few missing samples, as GDAL writes it.
        QByteArray text = "ncols 41\nnrows 31\nxllcorner 11\nyllcorner 57\ncellsize 0.01\n"
                          "NODATA_value -9999\n";
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                text += ((x * 7 + y * 3) % 29 == 4
                             ? QByteArray("-9999")
                             : QByteArray::number(int(900 +
                                                      400 * std::sin(x * 0.3) * std::cos(y * 0.2) +
                                                      (x * 7919 + y * 104729) % 37))) +
                        (x + 1 < kWidth ? " " : "\n");
        QFile f(path("source.asc"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        gdal({"-ot", "Int16", "-a_srs", "EPSG:4326", "source.asc", "source.tif"});
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    void gdal(const QStringList &arguments)
    {
        runTool(QStringList{"gdal_translate", "-q"} + arguments, dir.path());
    }
    // A tile of the source, columns x0.. and rows y0.. of it.
    QString cut(const QString &name, int x0, int y0, int w, int h, const QStringList &more = {})
    {
        gdal(QStringList{"-srcwin", QString::number(x0), QString::number(y0), QString::number(w),
                         QString::number(h)} +
             more + QStringList{"source.tif", name});
        return path(name);
    }
    // The four tiles of a 2 x 2 split that share a column and a row.
    QStringList quarters()
    {
        return {cut("nw.tif", 0, 0, 21, 16), cut("ne.tif", 20, 0, 21, 16),
                cut("sw.tif", 0, 15, 21, 16), cut("se.tif", 20, 15, 21, 16)};
    }

    QTemporaryDir dir;
};

std::vector<int16_t> samples(const bil::Grid &grid)
{
    const bil::HeightsView &v = grid.view();
    return {v.whole, v.whole + int64_t(v.width) * v.height};
}

TEST_F(MosaicTest, TilesCutFromOneGridJoinIntoThatGridAndExportAsIt)
{
    const std::optional<bil::Grid> whole = bil::loadGrid(path("source.tif"), {});
    QStringList tiles = quarters();
    std::reverse(tiles.begin(), tiles.end()); // the order named makes no difference here
    const std::optional<bil::Grid> mosaic = bil::loadMosaic(tiles, {});
    ASSERT_TRUE(whole && mosaic);
    ASSERT_EQ(mosaic->width(), kWidth);
    ASSERT_EQ(mosaic->height(), kHeight);
    EXPECT_EQ(samples(*mosaic), samples(*whole));
    EXPECT_EQ(mosaic->geo, whole->geo);

    // Smoothing reads across the seams: the images have the same pixels.
    for (const int radius : {0, 4})
        for (const int bits : {8, 16}) {
            SCOPED_TRACE(testing::Message() << "radius " << radius << ", " << bits << " bits");
            BILExportOptions options;
            options.heightmapBits = bits;
            const bil::CellRegion all{0, 0, kWidth, kHeight};
            bil::exportRegion(whole->view(), whole->geo, path("whole.png"), radius, all, options,
                              {});
            bil::exportRegion(mosaic->view(), mosaic->geo, path("mosaic.png"), radius, all, options,
                              {});
            EXPECT_TRUE(QImage(path("mosaic.-tx.png")) == QImage(path("whole.-tx.png")));
            EXPECT_TRUE(QImage(path("mosaic.-ht.png")) == QImage(path("whole.-ht.png")));
        }
}

TEST_F(MosaicTest, WhereTilesDisagreeTheFirstNamedWinsAndGapsAreMissing)
{
    // The east tile's heights doubled, and a gap of two rows below both.
    const QString west = cut("w.tif", 0, 0, 21, 10);
    const QString east = cut("e.tif", 20, 0, 21, 10, {"-scale", "0", "1000", "0", "2000"});
    const QString south = cut("s.tif", 0, 12, 41, 5);
    for (const bool westFirst : {true, false}) {
        const std::optional<bil::Grid> mosaic = bil::loadMosaic(
            westFirst ? QStringList{west, east, south} : QStringList{east, west, south}, {});
        ASSERT_TRUE(mosaic);
        ASSERT_EQ(mosaic->width(), kWidth);
        ASSERT_EQ(mosaic->height(), 17);
        const std::optional<bil::Grid> w = bil::loadGrid(west, {}), e = bil::loadGrid(east, {});
        const bil::HeightsView &m = mosaic->view();
        for (int y = 0; y < 10; ++y)
            EXPECT_EQ(m.whole[y * kWidth + 20],
                      (westFirst ? w->view().whole[y * 21 + 20] : e->view().whole[y * 21]))
                << y;
        for (int x = 0; x < kWidth; ++x)
            EXPECT_EQ(m.whole[11 * kWidth + x], m.noData) << x;
    }
}

TEST_F(MosaicTest, TilesThatDoNotFitTogetherAreRefusedByName)
{
    const QString nw = cut("nw.tif", 0, 0, 21, 16);
    const struct
    {
        const char *name;
        QStringList options;
        const char *why;
    } cases[] = {
        {"nowhere.tif",
         {"-co", "PROFILE=BASELINE", "--config", "GDAL_PAM_ENABLED", "NO"},
         "it does not say where it lies."},
        {"coarse.tif", {"-outsize", "50%", "50%"}, "their cells differ in size"},
        {"shifted.tif", {"-a_ullr", "11.205", "57.31", "11.415", "57.15"}, "one lattice"},
        {"projected.tif",
         {"-a_srs", "EPSG:32633", "-a_ullr", "500000", "6300000", "502100", "6298400"},
         "different coordinate systems"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString other = cut(c.name, 20, 0, 21, 16, c.options);
        try {
            bil::loadMosaic({nw, other}, {});
            ADD_FAILURE() << "joined";
        } catch (const BILError &e) {
            const QString text = QString::fromUtf8(e.what());
            EXPECT_TRUE(text.contains(c.why)) << e.what();
            EXPECT_TRUE(text.contains(QStringLiteral("\"%1\"").arg(other))) << e.what();
        }
    }
}

// Two small tiles far apart would make a grid beyond memory: refused
// before anything is read, naming the tiles.
TEST_F(MosaicTest, AMosaicBeyondMemoryIsRefusedByName)
{
    const QString near = cut("near.tif", 0, 0, 10, 10);
    const QString far =
        cut("far.tif", 0, 0, 10, 10, {"-a_ullr", "9000", "9000", "9000.1", "8999.9"});
    QStringList refusals;
    bil::LoadCallbacks callbacks;
    callbacks.refuse = [&](const QString &text) { refusals << text; };
    EXPECT_FALSE(bil::loadMosaic({near, far}, callbacks));
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals[0].startsWith(
        QStringLiteral("The mosaic of \"%1\" and 1 more: This grid of").arg(near)))
        << refusals[0].toStdString();
    EXPECT_TRUE(refusals[0].contains("more than can be had")) << refusals[0].toStdString();
}

TEST_F(MosaicTest, HeaderlessSrtmTilesArePlacedByTheirNamesAndAskedForOnce)
{
    for (const auto &[name, lon] : {std::pair{"N57E011.hgt", 11}, std::pair{"N57E012.hgt", 12}})
        runTool(srtmTile("source.tif", name, lon, 57, 1201), dir.path());
    int asked = 0;
    bil::LoadCallbacks callbacks;
    callbacks.askLayout = [&](const QString &, bil::GridLayout &) { return ++asked > 0; };
    const std::optional<bil::Grid> mosaic =
        bil::loadMosaic({path("N57E011.hgt"), path("N57E012.hgt")}, callbacks);
    ASSERT_TRUE(mosaic);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(mosaic->width(), 2401); // the shared column once
    EXPECT_EQ(mosaic->height(), 1201);
    ASSERT_TRUE(mosaic->geo);
    EXPECT_NEAR(mosaic->geo->left, 11 - 0.5 / 1200, 1e-12);
    const std::optional<bil::Grid> east = bil::loadGrid(path("N57E012.hgt"), callbacks);
    EXPECT_EQ(mosaic->view().whole[2400], east->view().whole[1200]);
}

} // namespace
