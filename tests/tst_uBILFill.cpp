// Filling voids, held against the true heights of real terrain (a USGS DEM
// among matplotlib's samples) with holes punched in, and against GDAL's
// gdal_fillnodata on the same holes.
#include "elevation/uBILFill.h"
#include "elevation/uBILLoad.h"

#include "tests/gdalTools.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// Writes the grids the tests read, with python3-gdal, into the folder given:
//   truth.tif        the DEM's heights as floats
//   holes-float.tif  the same with round holes 3, 8, 20 and 40 cells across,
//                    NaN as nodata; labels.tif each hole cell's size
//   holes-int16.tif  the same holes in 16 bits, -32768 as nodata
//   void.tif         a wide round void and one along the left edge, and
//                    distance2.tif each cell's squared distance, centre to
//                    centre, to the nearest valid cell
constexpr char fixtures[] = R"(
import sys
import numpy as np
from osgeo import gdal
folder = sys.argv[1]
dem = np.load("/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz")
z = dem["elevation"].astype(np.float32)
h, w = z.shape
y, x = np.mgrid[0:h, 0:w]

def write(name, values, kind, nodata=None):
    out = gdal.GetDriverByName("GTiff").Create(f"{folder}/{name}", w, h, 1, kind)
    out.SetGeoTransform((500000, 10, 0, 4000000, 0, -10))
    band = out.GetRasterBand(1)
    if nodata is not None:
        band.SetNoDataValue(nodata)
    band.WriteArray(values)

labels = np.zeros((h, w), np.uint8)
rng = np.random.default_rng(7)
for size, count in ((3, 12), (8, 8), (20, 5), (40, 3)):
    placed = 0
    while placed < count:
        cy, cx = rng.integers(size // 2 + 3, (h - size // 2 - 3, w - size // 2 - 3))
        disc = (x - cx) ** 2 + (y - cy) ** 2 <= (size / 2) ** 2
        ring = (x - cx) ** 2 + (y - cy) ** 2 <= (size / 2 + 3) ** 2
        if labels[ring].any():
            continue
        labels[disc] = size
        placed += 1
write("truth.tif", z, gdal.GDT_Float32)
write("labels.tif", labels, gdal.GDT_Byte)
write("holes-float.tif", np.where(labels > 0, np.nan, z), gdal.GDT_Float32, float("nan"))
write("holes-int16.tif", np.where(labels > 0, -32768, z), gdal.GDT_Int16, -32768)

void = ((x - 250) ** 2 + (y - 170) ** 2 <= 60 ** 2) | ((x < 30) & (y > 40) & (y < 140))
write("void.tif", np.where(void, np.nan, z), gdal.GDT_Float32, float("nan"))
# The nearest valid cell to a void cell always borders the void.
edge = np.pad(void, 1)
borders = ~void & (edge[:-2, 1:-1] | edge[2:, 1:-1] | edge[1:-1, :-2] | edge[1:-1, 2:])
vy, vx = np.nonzero(borders)
distance2 = np.zeros((h, w), np.int32)
for cy, cx in zip(*np.nonzero(void)):
    distance2[cy, cx] = ((vy - cy) ** 2 + (vx - cx) ** 2).min()
write("distance2.tif", distance2, gdal.GDT_Int32)
)";

class FillTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir->isValid());
        runTool({"/usr/bin/python3", "-c", fixtures, dir->path()});
    }
    static void TearDownTestSuite() { dir.reset(); }

    static bil::Grid load(const QString &name)
    {
        std::optional<bil::Grid> grid = bil::loadGrid(dir->filePath(name), {});
        EXPECT_TRUE(grid) << name.toStdString();
        return grid ? std::move(*grid) : bil::Grid();
    }
    // Cell i's height, NaN where missing, whatever the samples.
    static float at(const bil::Grid &g, int i)
    {
        const bil::HeightsView &v = g.view();
        if (v.real) return v.real[i];
        return v.whole[i] == v.noData ? std::numeric_limits<float>::quiet_NaN() : float(v.whole[i]);
    }

    static std::unique_ptr<QTemporaryDir> dir;
};
std::unique_ptr<QTemporaryDir> FillTest::dir;

// The filled heights come closer to the true ones than GDAL's
// inverse-distance weighting, for holes of every size.
TEST_F(FillTest, HolesComeCloserToTheTruthThanGdalFillsThem)
{
    runTool({"gdal_fillnodata.py", "-q", "holes-float.tif", "gdal.tif"}, dir->path());
    const bil::Grid truth = load("truth.tif"), labels = load("labels.tif"),
                    holes = load("holes-float.tif"), gdal = load("gdal.tif");
    const bil::Grid ours = bil::filledVoids(holes.view(), holes.geo, 100);
    const int w = ours.width(), cells = w * ours.height();
    for (const int size : {3, 8, 20, 40}) {
        double oursSum = 0, gdalSum = 0;
        int count = 0;
        for (int i = 0; i < cells; ++i) {
            if (at(labels, i) != float(size)) continue;
            oursSum += std::pow(at(ours, i) - at(truth, i), 2);
            gdalSum += std::pow(at(gdal, i) - at(truth, i), 2);
            ++count;
        }
        ASSERT_GT(count, 0);
        const double oursRmse = std::sqrt(oursSum / count), gdalRmse = std::sqrt(gdalSum / count);
        EXPECT_LE(oursRmse, gdalRmse) << size << " cells across";
    }
}

// Valid cells keep their heights, 16-bit or float alike, and the same
// heights fill the same whatever their samples; a grid without holes comes
// back as it was.
TEST_F(FillTest, ValidCellsKeepTheirHeights)
{
    const bil::Grid reference = load("holes-float.tif");
    const bil::Grid filled = bil::filledVoids(reference.view(), reference.geo, 100);
    for (const char *name : {"holes-int16.tif", "holes-float.tif", "truth.tif"}) {
        SCOPED_TRACE(name);
        const bil::Grid source = load(QString::fromLatin1(name));
        const bil::Grid ours = bil::filledVoids(source.view(), source.geo, 100);
        ASSERT_TRUE(ours.isReal());
        ASSERT_EQ(ours.width(), source.width());
        ASSERT_EQ(ours.height(), source.height());
        EXPECT_EQ(ours.geo, source.geo);
        int changed = 0, unlike = 0;
        for (int i = 0; i < ours.width() * ours.height(); ++i) {
            const float before = at(source, i), after = at(ours, i);
            if (!std::isnan(before))
                changed += after != before;
            else
                unlike += after != at(filled, i);
        }
        EXPECT_EQ(changed, 0);
        EXPECT_EQ(unlike, 0);
    }
}

// A cell farther than maxDistance from every valid cell stays missing, the
// others are filled, whether the void lies inside or along an edge.
TEST_F(FillTest, CellsFartherThanMaxDistanceStayMissing)
{
    const bil::Grid source = load("void.tif"), distance2 = load("distance2.tif");
    for (const int maxDistance : {0, 1, 7, 25, 60}) {
        SCOPED_TRACE(maxDistance);
        const bil::Grid ours = bil::filledVoids(source.view(), source.geo, maxDistance);
        int wrong = 0, filled = 0;
        for (int i = 0; i < ours.width() * ours.height(); ++i) {
            const bool beyond = at(distance2, i) > float(maxDistance * maxDistance);
            wrong += std::isnan(at(ours, i)) != beyond;
            filled += std::isnan(at(source, i)) && !beyond;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(filled > 0, maxDistance > 0);
    }
}

} // namespace
