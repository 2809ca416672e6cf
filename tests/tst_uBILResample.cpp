// Resampling to an exact number of samples, held against GDAL's -outsize
// resampling of the same grid.
#include "elevation/uBILLoad.h"
#include "elevation/uBILReproject.h"
#include "elevation/uBILResample.h"
#include "elevation/uBILSidecar.h"

#include "tests/gdalTools.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

class ResampleTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString &name) const { return dir.filePath(name); }

    // name.tif, a float GeoTIFF that GDAL writes from an ASCII grid of rough
    // terrain with decimals, missing where hole says so.
    void writeTerrain(const QString &name, int w, int h, const std::function<bool(int, int)> &hole)
    {
        QByteArray text = QStringLiteral("ncols %1\nnrows %2\nxllcorner 500000\nyllcorner "
                                         "6000000\ncellsize 30\nNODATA_value -9999\n")
                              .arg(w)
                              .arg(h)
                              .toLatin1();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double v = 800 + 300 * std::sin(x * 0.21) * std::cos(y * 0.17) +
                                 double((x * 7919 + y * 104729) % 97) / 7;
                text += hole(x, y) ? QByteArray("-9999") : QByteArray::number(v, 'f', 3);
                text += x + 1 < w ? ' ' : '\n';
            }
        }
        QFile f(path(name + ".asc"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        runTool({"gdal_translate", "-q", "-ot", "Float32", name + ".asc", name + ".tif"},
                dir.path());
    }

    bil::Grid load(const QString &name)
    {
        std::optional<bil::Grid> grid = bil::loadGrid(path(name), {});
        EXPECT_TRUE(grid) << name.toStdString();
        return grid ? std::move(*grid) : bil::Grid();
    }

    QTemporaryDir dir;
};

// Shrinking widens the kernel; enlarging does not; missing samples take no
// part, and where none is near the result is missing, as in GDAL's output.
// GDAL's cubic shrinking also leaves out some samples beside a hole, more
// than its documented rule says, so that case is held on whole terrain.
TEST_F(ResampleTest, HeightsAreGdalsOutsizeResampling)
{
    writeTerrain("holes", 61, 47, [](int x, int y) {
        return (x - 20) * (x - 20) + (y - 30) * (y - 30) < 30 || (x == 50 && y == 5);
    });
    writeTerrain("whole", 61, 47, [](int, int) { return false; });
    const struct
    {
        const char *gdalName;
        BILResampling kind;
        int width, height;
        const char *terrain;
    } cases[] = {
        {"cubic", BILResampling::Cubic, 150, 100, "holes"},
        {"cubic", BILResampling::Cubic, 23, 17, "whole"},
        {"bilinear", BILResampling::Bilinear, 150, 100, "holes"},
        {"bilinear", BILResampling::Bilinear, 23, 40, "holes"},
        {"near", BILResampling::Nearest, 150, 100, "holes"},
        {"near", BILResampling::Nearest, 23, 17, "holes"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2 x %3 of %4")
                         .arg(c.gdalName)
                         .arg(c.width)
                         .arg(c.height)
                         .arg(c.terrain)
                         .toStdString());
        const QString terrain = QString::fromLatin1(c.terrain) + ".tif";
        const bil::Grid source = load(terrain);
        runTool({"gdal_translate", "-q", "-r", c.gdalName, "-outsize", QString::number(c.width),
                 QString::number(c.height), terrain, "gdal.tif"},
                dir.path());
        const bil::Grid expected = load("gdal.tif");
        const bil::Grid ours =
            bil::resampled(source.view(), source.geo, 0, {0, 0, 61, 47}, c.width, c.height, c.kind);
        ASSERT_EQ(ours.width(), expected.width());
        ASSERT_EQ(ours.height(), expected.height());
        ASSERT_TRUE(ours.geo && expected.geo);
        EXPECT_NEAR(ours.geo->cellWidth, expected.geo->cellWidth, 1e-9);
        EXPECT_NEAR(ours.geo->top, expected.geo->top, 1e-6);
        double worst = 0;
        int missingApart = 0;
        for (int i = 0; i < c.width * c.height; ++i) {
            const float a = ours.view().real[i], b = expected.view().real[i];
            if (std::isnan(a) != std::isnan(b)) {
                ++missingApart;
                continue;
            }
            if (!std::isnan(a)) worst = std::max(worst, double(std::abs(a - b)));
        }
        EXPECT_EQ(missingApart, 0);
        EXPECT_LT(worst, 1e-3) << "metres";
    }
}

// A cell in degrees is measured on the ground where it lies: at 57 degrees
// north a 3-second cell is about 92.6 m from north to south but 50.4 m
// across on a sphere, 92.80 m and 50.64 m on the WGS 84 ellipsoid.
TEST(Sidecar, ACellInDegreesIsMeasuredInMetresWhereItLies)
{
    bil::HeightmapFacts facts;
    facts.width = facts.height = 1201;
    const double cell = 3.0 / 3600;
    facts.geo = BILGeoReference{11 - cell / 2, 57 + cell * 600.5, cell, cell, true};
    const bil::Spacing s = bil::spacingOf(facts);
    EXPECT_EQ(s.units, "m");
    EXPECT_NEAR(s.y, 92.80, 0.01);
    EXPECT_NEAR(s.x, 50.64, 0.01);
}

// A sidecar names the coordinate system where it is known, and where the
// heightmap's outer edges lie.
TEST(Sidecar, ItNamesTheCoordinateSystemAndTheBounds)
{
    bil::HeightmapFacts facts;
    facts.width = 4;
    facts.height = 2;
    facts.geo = BILGeoReference{600000, 6400000, 30, 30, false, 32632};
    facts.range = {100, 200};
    const QJsonObject json = QJsonDocument::fromJson(bil::sidecarJson(facts)).object();
    EXPECT_EQ(json[u"epsg"].toInt(), 32632);
    EXPECT_EQ(json[u"bounds"].toArray(), (QJsonArray{600000, 6399940, 600120, 6400000}));
    EXPECT_EQ(json[u"spacing_units"].toString(), "map units");
}

// A grid in degrees reprojected to UTM: the heights gdalwarp gives at the
// same cell centres, inside the region; where the region ends, missing.
TEST_F(ResampleTest, UtmHeightsAreGdalwarps)
{
    // Cells about square on the ground at 57 degrees north, and cells half as
    // wide, which both tools' kernels widen across to take in.
    constexpr int w = 90, h = 70;
    constexpr double dy = 0.001;
    for (const double dx : {0.001 / 0.5446, 0.001}) {
        SCOPED_TRACE(dx);
        QByteArray text = QStringLiteral("ncols %1\nnrows %2\nxllcorner 11.3\nyllcorner 57.1\n"
                                         "dx %3\ndy %4\nNODATA_value -9999\n")
                              .arg(w)
                              .arg(h)
                              .arg(dx, 0, 'g', 17)
                              .arg(dy, 0, 'g', 17)
                              .toLatin1();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                text += QByteArray::number(500 + 200 * std::sin(x * 0.11) * std::cos(y * 0.13) +
                                               double((x * 7919 + y * 104729) % 97) / 7,
                                           'f', 3) +
                        (x + 1 < w ? " " : "\n");
        QFile f(path("geo.asc"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        runTool(
            {"gdal_translate", "-q", "-a_srs", "EPSG:4326", "-ot", "Float32", "geo.asc", "geo.tif"},
            dir.path());
        const bil::Grid source = load("geo.tif");
        ASSERT_TRUE(source.geo && source.geo->geographic);

        for (const auto &[gdalName, kind] : {std::pair{"near", BILResampling::Nearest},
                                             std::pair{"bilinear", BILResampling::Bilinear},
                                             std::pair{"cubic", BILResampling::Cubic}}) {
            SCOPED_TRACE(gdalName);
            const bil::Grid ours =
                bil::toUtm(source.view(), *source.geo, 0, {0, 0, w, h}, 0, 0, kind);
            ASSERT_TRUE(ours.geo);
            const BILGeoReference &g = *ours.geo;
            EXPECT_EQ(g.epsg, 32632);
            EXPECT_NEAR(g.cellWidth, g.cellHeight, 1e-9); // square
            EXPECT_NEAR(g.cellHeight, 111.36, 0.05);      // a thousandth of a degree north-south
            const auto num = [](double v) { return QString::number(v, 'f', 6); };
            // -et 0: every place transformed exactly, as ours are.
            runTool({"gdalwarp", "-q", "-overwrite", "-et", "0", "-t_srs", "EPSG:32632", "-r",
                     gdalName, "-te", num(g.left), num(g.top - g.cellHeight * ours.height()),
                     num(g.left + g.cellWidth * ours.width()), num(g.top), "-ts",
                     QString::number(ours.width()), QString::number(ours.height()), "geo.tif",
                     "warped.tif"},
                    dir.path());
            const bil::Grid expected = load("warped.tif");
            ASSERT_EQ(expected.width(), ours.width());
            ASSERT_EQ(expected.height(), ours.height());
            // Inside the region, away from its edge, where both kernels see whole terrain.
            double worst = 0;
            int compared = 0;
            for (int y = 3; y < ours.height() - 3; ++y)
                for (int x = 3; x < ours.width() - 3; ++x) {
                    const float a = ours.view().real[y * ours.width() + x],
                                b = expected.view().real[y * ours.width() + x];
                    if (std::isnan(a) || std::isnan(b)) continue;
                    worst = std::max(worst, double(std::abs(a - b)));
                    ++compared;
                }
            EXPECT_GT(compared, ours.width() * ours.height() / 2);
            // GDAL takes its widening from each chunk's windows, ours from the
        // region's centre: centimetres on terrain 14 m rough; unwidened, metres.
        EXPECT_LT(worst, 0.05) << "metres";
            // The corners of the UTM rectangle lie beyond the region's curved edges.
            EXPECT_TRUE(std::isnan(ours.view().real[0]) ||
                        std::isnan(ours.view().real[ours.width() - 1]));
        }
    }
}

} // namespace
