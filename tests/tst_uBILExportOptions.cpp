// The export's options held against independent readers: QImage decodes the
// heightmaps, ImageMagick reads their text chunks, and GDAL writes the world
// files that ours must equal.
#include "elevation/uFMXBILUtils.h"

#include "tests/gdalTools.h"
#include "tests/gridState.h"

#include <QDir>
#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace {

class ExportOptionsTest : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        BILColorTableProblem.clear();
        BILGeoRef.reset();
    }
    void TearDown() override
    {
        BILGeoRef.reset();
        GridTest::TearDown();
    }
    // The names of the files in the folder that start with prefix, in order.
    QString files(const QString &prefix = {}) const
    {
        return QDir(dir.path()).entryList({prefix + u'*'}, QDir::Files, QDir::Name).join(u' ');
    }
};

// The level of height h by the rule: its place between the range's ends times
// the top level, in double precision, halves to even, clamped; a flat range is 0.
int expectedLevel(int h, BILHeightRange range, double top)
{
    if (range.lowest == range.highest) return 0;
    const double v = double(h - range.lowest) / double(range.highest - range.lowest) * top;
    return int(std::clamp(std::nearbyint(v), 0.0, top));
}

// A decoded heightmap's grey levels, row by row: 16-bit ones as they are
// stored, 8-bit ones through an 8-bit grey copy.
std::vector<int> levelsOf(const QImage &decoded)
{
    const bool deep = decoded.format() == QImage::Format_Grayscale16;
    const QImage image = deep ? decoded : decoded.convertToFormat(QImage::Format_Grayscale8);
    std::vector<int> levels;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            levels.push_back(deep ? reinterpret_cast<const uint16_t *>(line)[x] : line[x]);
    }
    return levels;
}

// What a heightmap of the crop must hold by the rule, and the range it maps.
struct Expected
{
    BILHeightRange range;
    std::vector<int> levels;
};

// An 8-bit heightmap counts a missing sample as 0 m; a 16-bit one (top
// 65535) leaves it out of the range and makes it black.
Expected expectedHeightmap(int width, const std::vector<int16_t> &samples, int32_t noData,
                           QRect crop, std::optional<BILHeightRange> fixed, double top)
{
    const bool leftOut = top == 65535;
    std::vector<std::optional<int>> heights; // the crop's samples as the depth's rule reads them
    for (int y = crop.top(); y <= crop.bottom(); ++y)
        for (int x = crop.left(); x <= crop.right(); ++x) {
            const int16_t s = samples[size_t(y * width + x)];
            heights.push_back(s != noData ? std::optional<int>(s)
                              : leftOut   ? std::nullopt
                                          : std::optional<int>(0));
        }
    std::vector<int> valid;
    for (const std::optional<int> &h : heights)
        if (h) valid.push_back(*h);
    const auto [lo, hi] = std::minmax_element(valid.begin(), valid.end());
    Expected e{fixed.value_or(BILHeightRange{int16_t(*lo), int16_t(*hi)}), {}};
    for (const std::optional<int> &h : heights)
        e.levels.push_back(h ? expectedLevel(*h, e.range, top) : 0);
    return e;
}

std::optional<BILHeightRange> exportCrop(const QString &file, QRect crop,
                                         const BILExportOptions &options)
{
    return ExportBIL(file, 0, crop.left(), crop.top(), crop.right() + 1, crop.bottom() + 1,
                     options);
}

TEST_F(ExportOptionsTest, SixteenBitHeightmapsSpreadTheRangeOverEveryLevel)
{
    const struct
    {
        const char *name;
        int width;
        std::vector<int16_t> samples;
        QRect crop;
        std::optional<BILHeightRange> range = std::nullopt;
        int32_t noData = kLowest;
    } cases[] = {
        {"a flat region is all black", 3, {37, 37, 37, 37, 37, 37}, {0, 0, 3, 2}},
        {"two heights are black and white", 2, {-5, 100, 100, -5}, {0, 0, 2, 2}},
        {"the full 16-bit range, the missing flag moved out of the way",
         4,
         {kLowest, -12345, -1, 0, 1, 2, 30000, kHighest},
         {0, 0, 4, 2},
         std::nullopt,
         1234},
        {"negative heights, the crop's own lowest and highest",
         4,
         {-9000, -400, -300, -250, 9000, -7, -333, -290},
         {1, 0, 3, 2}},
        {"sevenths fall between levels", 7, {0, 1, 2, 3, 4, 5, 6}, {0, 0, 7, 1}},
        {"missing samples are black, left out of the range",
         3,
         {kLowest, 50, 100, 25, kLowest, 75},
         {0, 0, 3, 2}},
        {"a fixed range clips",
         5,
         {-100, 0, 50, 100, 500, 199, 1, 200, 201, -1},
         {0, 0, 5, 2},
         BILHeightRange{0, 200}},
        {"a fixed range of one height is all black",
         2,
         {-3, 7, 7, 90},
         {0, 0, 2, 2},
         BILHeightRange{7, 7}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setGrid(c.width, int(c.samples.size()) / c.width, c.samples, c.noData);
        const Expected want =
            expectedHeightmap(c.width, c.samples, c.noData, c.crop, c.range, 65535);
        const std::optional<BILHeightRange> got =
            exportCrop(path("deep.png"), c.crop, {16, c.range, false});
        EXPECT_EQ(got, want.range);
        const QImage heightmap(path("deep.-ht.png"));
        ASSERT_EQ(heightmap.format(), QImage::Format_Grayscale16);
        ASSERT_EQ(heightmap.size(), c.crop.size());
        EXPECT_EQ(levelsOf(heightmap), want.levels);
        EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    }
}

TEST_F(ExportOptionsTest, EightBitHeightmapsMapAFixedRangeAndClip)
{
    const std::vector<int16_t> samples = {kLowest + 1, -50, 0,   1,   99,       100,
                                          101,         199, 200, 250, kHighest, -1};
    const struct
    {
        BILHeightRange range;
        const char *extension;
    } cases[] = {
        {{0, 200}, ".png"},
        {{-60, 1000}, ".bmp"},
        {{100, 100}, ".png"},
        {{kLowest, kHighest}, ".png"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.range.lowest << ".." << c.range.highest);
        setGrid(6, 2, samples);
        const QRect crop(0, 0, 6, 2);
        const Expected want = expectedHeightmap(6, samples, kLowest, crop, c.range, 255);
        const QString name = path(QString("fixed") + c.extension);
        EXPECT_EQ(exportCrop(name, crop, {8, c.range, false}), c.range);
        const QImage heightmap(path(QString("fixed.-ht") + c.extension));
        ASSERT_EQ(heightmap.size(), crop.size());
        EXPECT_EQ(levelsOf(heightmap), want.levels);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}

// The value ImageMagick lists for a PNG text keyword, as "keyword: value".
std::optional<QString> identifyProperty(const QByteArray &listing, const QString &keyword)
{
    for (const QByteArray &line : listing.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(keyword + u':')) return text.mid(keyword.size() + 1).trimmed();
    }
    return std::nullopt;
}

TEST_F(ExportOptionsTest, PngHeightmapsCarryTheirRangeInTextChunks)
{
    setGrid(4, 2, {-120, 5, 77, 3000, 12, -7, 0, 44});
    const struct
    {
        int bits;
        std::optional<BILHeightRange> range;
        BILHeightRange said;
    } cases[] = {
        {8, std::nullopt, {-120, 3000}},
        {16, std::nullopt, {-120, 3000}},
        {8, BILHeightRange{-500, 2500}, {-500, 2500}},
        {16, BILHeightRange{-32767, 100}, {-32767, 100}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits");
        EXPECT_EQ(exportCrop(path("text.png"), {0, 0, 4, 2}, {c.bits, c.range, false}), c.said);
        const QByteArray listing = runTool({"identify", "-verbose", path("text.-ht.png")});
        EXPECT_EQ(identifyProperty(listing, "relieva:min-height"), QString::number(c.said.lowest))
            << listing.toStdString();
        EXPECT_EQ(identifyProperty(listing, "relieva:max-height"), QString::number(c.said.highest));
    }
}

// The six numbers of a world file.
std::optional<std::array<double, 6>> worldFile(const QString &file)
{
    if (!QFile::exists(file)) return std::nullopt;
    const QList<QByteArray> lines = readFile(file).trimmed().split('\n');
    if (lines.size() != 6) return std::nullopt;
    std::array<double, 6> numbers{};
    for (size_t i = 0; i < 6; ++i) {
        bool ok = false;
        numbers[i] = lines[qsizetype(i)].trimmed().toDouble(&ok);
        if (!ok) return std::nullopt;
    }
    return numbers;
}

QString joined(const std::array<double, 6> &numbers)
{
    QStringList text;
    for (double v : numbers)
        text << QString::number(v, 'g', 17);
    return text.join(u' ');
}

// GDAL prints world files with ten decimals: equal means within half the last
// of them, or a billionth of the value.
::testing::AssertionResult sameWorldFile(const std::array<double, 6> &ours,
                                         const std::array<double, 6> &gdals)
{
    for (size_t i = 0; i < 6; ++i)
        if (std::abs(ours[i] - gdals[i]) > 5e-11 + 1e-9 * std::abs(gdals[i]))
            return ::testing::AssertionFailure()
                   << "line " << i + 1 << ": ours " << joined(ours).toStdString() << ", GDAL's "
                   << joined(gdals).toStdString();
    return ::testing::AssertionSuccess();
}

TEST_F(ExportOptionsTest, WorldFilesEqualGdalsForEveryGeoreferencedInput)
{
    // 40 x 30 cells of a tenth of a degree, which no binary fraction holds.
    QByteArray source = "ncols 40\nnrows 30\nxllcorner 11.3\nyllcorner 47.1\ncellsize 0.1\n";
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            source += QByteArray::number((x * 37 + y * 101) % 700 - 200) + (x < 39 ? " " : "\n");
    writeFile(path("source.asc"), source);
    const auto translate = [](const QStringList &options, const QString &file) {
        return QStringList{"gdal_translate", "-q"} + options + QStringList{"source.asc", file};
    };
    const struct
    {
        const char *name;
        const char *file;
        QStringList command;
        QRect crop;
        const char *extension = ".png";
    } cases[] = {
        {"ESRI BIL, projected, as BMP",
         "grid.bil",
         translate({"-of", "EHdr", "-ot", "Int16", "-a_srs", "EPSG:32633", "-a_ullr", "500012.5",
                    "5300000", "500512.5", "5299625"},
                   "grid.bil"),
         {3, 5, 26, 16},
         ".bmp"},
        {"GeoTIFF, pixel is area",
         "area.tif",
         translate({"-of", "GTiff", "-ot", "Int16", "-a_srs", "EPSG:4326"}, "area.tif"),
         {7, 2, 30, 27}},
        {"GeoTIFF, pixel is point",
         "point.tif",
         translate({"-of", "GTiff", "-ot", "Float32", "-a_srs", "EPSG:4326", "-mo",
                    "AREA_OR_POINT=Point"},
                   "point.tif"),
         {1, 9, 38, 20}},
        {"SRTM tile named by its corner",
         "N57E011.hgt",
         srtmTile("source.asc", "N57E011.hgt", 11, 57, 1201),
         {100, 250, 301, 404}},
        {"ESRI ASCII grid with cells of two sizes",
         "cells.asc",
         translate({"-of", "AAIGrid", "-a_ullr", "-71.5", "-33.25", "-67.5", "-34.75"},
                   "cells.asc"),
         {5, 4, 17, 11}},
    };
    BILAskLayout = [] {}; // the tile's layout dialog, left as it was pre-set
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        runTool(c.command, dir.path());
        runTool({"gdal_translate", "-q", "-srcwin", QString::number(c.crop.x()),
                 QString::number(c.crop.y()), QString::number(c.crop.width()),
                 QString::number(c.crop.height()), "-of", "PNG", "-ot", "Byte", "-scale", "-co",
                 "WORLDFILE=YES", c.file, "gdal.png"},
                dir.path());
        const std::optional<std::array<double, 6>> gdals = worldFile(path("gdal.wld"));
        ASSERT_TRUE(gdals.has_value());

        QImage preview;
        OpenBILFile(path(c.file), preview);
        ASSERT_FALSE(preview.isNull());
        ASSERT_TRUE(BILGeoRef.has_value());
        const QString image = path(QString("placed") + c.extension);
        ASSERT_TRUE(exportCrop(image, c.crop, {8, std::nullopt, true}).has_value());
        const QString world = c.extension == QString(".png") ? ".pgw" : ".bpw";
        for (const char *kind : {"tx", "ht"}) {
            const std::optional<std::array<double, 6>> ours =
                worldFile(path(QString("placed.-") + kind + world));
            ASSERT_TRUE(ours.has_value()) << kind;
            EXPECT_TRUE(sameWorldFile(*ours, *gdals)) << kind;
            RecordProperty(std::string(c.name) + ", " + kind, joined(*ours).toStdString());
        }
        RecordProperty(std::string(c.name) + ", GDAL", joined(*gdals).toStdString());

        // GDAL reads our heightmap where the crop lies in the source, to full precision.
        const std::optional<std::array<double, 6>> source = gdalInfo(path(c.file)).geoTransform;
        const std::optional<std::array<double, 6>> placed =
            gdalInfo(path(QString("placed.-ht") + c.extension)).geoTransform;
        ASSERT_TRUE(source && placed);
        const std::array<double, 6> want = {(*source)[0] + c.crop.x() * (*source)[1],
                                            (*source)[1],
                                            0,
                                            (*source)[3] + c.crop.y() * (*source)[5],
                                            0,
                                            (*source)[5]};
        for (size_t i = 0; i < 6; ++i)
            EXPECT_NEAR((*placed)[i], want[i], 1e-12 * std::max(1.0, std::abs(want[i])))
                << "geotransform " << i << ": " << joined(*placed).toStdString();
        QStringList written = {"placed.-ht" + world, QString("placed.-ht") + c.extension,
                               "placed.-tx" + world, QString("placed.-tx") + c.extension};
        written.sort();
        EXPECT_EQ(files("placed."), written.join(u' '));
        for (const QString &file : written)
            QFile::remove(path(file));
        EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    }
}

TEST_F(ExportOptionsTest, WorldFilesOnlyWhereAskedAndPlaced)
{
    setGrid(3, 2, {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(exportCrop(path("nowhere.png"), {0, 0, 3, 2}, {16, std::nullopt, true}));
    EXPECT_EQ(files(), "nowhere.-ht.png nowhere.-tx.png");

    BILGeoRef = BILGeoReference{10, 50, 0.25, 0.5, true};
    ASSERT_TRUE(exportCrop(path("unasked.png"), {0, 0, 3, 2}, {8, std::nullopt, false}));
    ASSERT_TRUE(exportCrop(path("unasked.bmp"), {0, 0, 3, 2}, {8, std::nullopt, false}));
    ASSERT_TRUE(exportCrop(path("asked.bmp"), {1, 1, 2, 1}, {8, std::nullopt, true}));
    EXPECT_EQ(files(), "asked.-ht.bmp asked.-ht.bpw asked.-tx.bmp asked.-tx.bpw "
                       "nowhere.-ht.png nowhere.-tx.png unasked.-ht.bmp unasked.-ht.png "
                       "unasked.-tx.bmp unasked.-tx.png");
    EXPECT_EQ(worldFile(path("asked.-tx.bpw")),
              (std::array<double, 6>{0.25, 0, 0, -0.5, 10.375, 49.25}));

    // Saved again without them, the images lose the world files that would misplace them.
    ASSERT_TRUE(exportCrop(path("asked.bmp"), {0, 0, 3, 2}, {8, std::nullopt, false}));
    EXPECT_FALSE(QFile::exists(path("asked.-tx.bpw")));
    EXPECT_FALSE(QFile::exists(path("asked.-ht.bpw")));
    // An upper-case extension still gives the usual world file name.
    ASSERT_TRUE(exportCrop(path("upper.PNG"), {0, 0, 3, 2}, {8, std::nullopt, true}));
    EXPECT_TRUE(QFile::exists(path("upper.-tx.pgw")));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}

TEST_F(ExportOptionsTest, ImpossibleRequestsAreRefusedAndWriteNothing)
{
    setGrid(3, 2, {1, 2, 3, 4, 5, 6});
    BILGeoRef = BILGeoReference{10, 50, 0.25, 0.5, true};
    const struct
    {
        const char *name;
        const char *file;
        BILExportOptions options;
        const char *said;
    } cases[] = {
        {"a 16-bit BMP",
         "deep.bmp",
         {16, std::nullopt, true},
         "heightmaps are 8-bit, or 16-bit PNG"},
        {"12-bit heightmaps",
         "odd.png",
         {12, std::nullopt, true},
         "heightmaps are 8-bit, or 16-bit PNG"},
        {"a range upside down",
         "upside.png",
         {8, BILHeightRange{10, 9}, true},
         "The height range 10 to 9 is empty."},
        {"a 16-bit range upside down",
         "upside.png",
         {16, BILHeightRange{kHighest, kLowest}, false},
         "is empty"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            exportCrop(path(c.file), {0, 0, 3, 2}, c.options);
            ADD_FAILURE() << "no error";
        } catch (const BILError &e) {
            EXPECT_TRUE(QString(e.what()).contains(c.said)) << e.what();
        }
        EXPECT_EQ(files(), "");
        EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    }
}

} // namespace
