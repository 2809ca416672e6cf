// A 16-bit heightmap from the heights as they were read: the smoothing's
// means unrounded, missing cells black and left out of the range, held
// against window means summed directly here.
#include "elevation/uBILExport.h"
#include "elevation/uFMXBILUtils.h"

#include "tests/gdalTools.h"
#include "tests/gridState.h"
#include "tests/reference_smooth.h"

#include <QImage>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

namespace {

struct Heightmap
{
    double lowest, highest;
    std::vector<int> levels;
};

Heightmap expected(const std::vector<double> &means)
{
    Heightmap e{
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), {}};
    for (double m : means)
        if (!std::isnan(m)) {
            e.lowest = std::min(e.lowest, m);
            e.highest = std::max(e.highest, m);
        }
    for (double m : means)
        e.levels.push_back(
            std::isnan(m) ? 0
                          : int(std::nearbyint((m - e.lowest) / (e.highest - e.lowest) * 65535)));
    return e;
}

std::vector<int> levelsOf(const QImage &image)
{
    std::vector<int> levels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            levels.push_back(reinterpret_cast<const uint16_t *>(image.constScanLine(y))[x]);
    return levels;
}

QString shortest(double v)
{
    char digits[32];
    return QString::fromLatin1(digits, std::to_chars(digits, digits + 32, v).ptr - digits);
}

// A gentle slope with a little roughness, some cells missing, and a hole
// wide enough that its middle has no valid sample in a window of radius 2.
struct Slope
{
    static constexpr int w = 23, h = 17;
    std::vector<int16_t> samples;
    std::vector<double> heights; // NaN where missing

    Slope() : samples(size_t(w * h)), heights(samples.size())
    {
        for (size_t i = 0; i < samples.size(); ++i) {
            const int x = int(i) % w, y = int(i) / w;
            const bool missing = (i * 7919 % 23 == 0) || (x >= 3 && x < 8 && y >= 4 && y < 9);
            samples[i] =
                missing ? kLowest : int16_t(x + y / 3 + int(uint32_t(i) * 2654435761u >> 30));
            heights[i] = missing ? std::nan("") : samples[i];
        }
    }
};

class ExactHeightsTest : public GridTest
{
protected:
    void TearDown() override
    {
        BILGeoRef.reset();
        GridTest::TearDown();
    }
};

} // namespace

TEST_F(ExactHeightsTest, SmoothedWholeMetresKeepTheirFractions)
{
    const Slope slope;
    const int w = Slope::w, h = Slope::h, radius = 2;
    const std::vector<double> &heights = slope.heights;
    setGrid(w, h, slope.samples);
    BILExportOptions options;
    options.heightmapBits = 16;
    const std::optional<BILHeightRange> range =
        ExportBIL(path("t.png"), radius, 0, 0, w, h, options);
    ASSERT_TRUE(range);

    const std::vector<double> means = ReferenceMeans(heights, w, h, radius);
    const Heightmap want = expected(means);
    EXPECT_EQ(*range, (BILHeightRange{want.lowest, want.highest}));
    const QImage heightmap(path("t.-ht.png"));
    ASSERT_EQ(heightmap.format(), QImage::Format_Grayscale16);
    const std::vector<int> levels = levelsOf(heightmap);
    EXPECT_EQ(levels, want.levels);
    EXPECT_EQ(levels[size_t(6 * w + 5)], 0) << "the hole's middle has no valid sample";
    EXPECT_EQ(heightmap.text("relieva:min-height"), shortest(want.lowest));
    EXPECT_EQ(heightmap.text("relieva:max-height"), shortest(want.highest));

    // Means rounded to whole metres first would terrace the slope.
    std::set<int> distinct(levels.begin(), levels.end()), wholeMetres;
    for (double m : means)
        if (!std::isnan(m)) wholeMetres.insert(int(std::nearbyint(m)));
    EXPECT_GT(distinct.size(), 3 * wholeMetres.size());
}

TEST_F(ExactHeightsTest, AFloatGridKeepsItsDecimals)
{
    // Decimal heights and missing cells, stored as float32 by GDAL.
    const int w = 9, h = 7;
    QByteArray text =
        "ncols 9\nnrows 7\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
    std::vector<double> heights;
    for (int i = 0; i < w * h; ++i) {
        const bool missing = i % 11 == 4;
        const double v = 388.0 + i * 0.37 + (i % 3) * 0.125;
        text += (missing ? QByteArray("-9999") : QByteArray::number(v, 'f', 3)) +
                ((i + 1) % w ? " " : "\n");
        heights.push_back(missing ? std::nan("") : double(float(v)));
    }
    writeFile(path("valley.asc"), text);
    runTool({"gdal_translate", "-q", "-ot", "Float32", "valley.asc", "valley.tif"}, dir.path());
    QImage preview;
    OpenBILFile(path("valley.tif"), preview);
    ASSERT_FALSE(preview.isNull());

    for (int radius : {0, 1}) {
        SCOPED_TRACE(radius);
        BILExportOptions options;
        options.heightmapBits = 16;
        const std::optional<BILHeightRange> range =
            ExportBIL(path("valley.png"), radius, 0, 0, w, h, options);
        ASSERT_TRUE(range);
        const Heightmap want = expected(ReferenceMeans(heights, w, h, radius));
        EXPECT_NEAR(range->lowest, want.lowest, 1e-9);
        EXPECT_NEAR(range->highest, want.highest, 1e-9);
        const std::vector<int> levels = levelsOf(QImage(path("valley.-ht.png")));
        ASSERT_EQ(levels.size(), want.levels.size());
        for (size_t i = 0; i < levels.size(); ++i) // sums in another order may part a tie
            EXPECT_NEAR(levels[i], want.levels[i], 1) << i;
    }
    // The 8-bit heightmap keeps reading whole metres, as the texture does.
    const std::optional<BILHeightRange> whole = ExportBIL(path("valley8.png"), 0, 0, 0, w, h, {});
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->lowest, std::round(whole->lowest));
}

// A grid value's export finds the range of the means while it smooths the
// texture's whole metres, only working out the means of the cells at the
// lowest and highest whole metre: the range and the levels are those of the
// means summed directly, for a region inside the grid, at every radius.
TEST_F(ExactHeightsTest, AGridValuesRangeIsItsMeansRange)
{
    const Slope slope;
    const int w = Slope::w, h = Slope::h;
    const bil::HeightsView view{w, h, slope.samples.data(), kLowest, nullptr};
    const bil::CellRegion region{2, 1, 20, 15};
    BILExportOptions options;
    options.heightmapBits = 16;
    for (int radius : {0, 1, 2, 5}) {
        SCOPED_TRACE(radius);
        const std::vector<double> all = ReferenceMeans(slope.heights, w, h, radius);
        std::vector<double> means;
        for (int y = region.y0; y < region.y1; ++y)
            for (int x = region.x0; x < region.x1; ++x)
                means.push_back(all[size_t(y * w + x)]);
        const Heightmap want = expected(means);
        const BILHeightRange range =
            bil::exportRegion(view, std::nullopt, path("g.png"), radius, region, options, {});
        EXPECT_EQ(range, (BILHeightRange{want.lowest, want.highest}));
        EXPECT_EQ(bil::regionHeightRange(view, radius, region, 16), range);
        EXPECT_EQ(levelsOf(QImage(path("g.-ht.png"))), want.levels);
    }
}
