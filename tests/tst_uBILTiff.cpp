// TIFF and GeoTIFF files as GDAL writes them, opened through the program's
// open routine and checked against what GDAL's own tools read from them.
#include "elevation/uFMXBILUtils.h"

#include "tests/gdalTools.h"
#include "tests/gridState.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace {

// The source grid every variant is made from: 37 x 21 cells, so that strips
// and 16 x 16 tiles end inside the image; quarter metres, halves included,
// scattered missing cells and two heights beyond the 16-bit range.
constexpr int kWidth = 37, kHeight = 21;

QByteArray asciiGrid(double sign)
{
    QByteArray text = "ncols 37\nnrows 21\nxllcorner 11.25\nyllcorner 47.5\ncellsize 0.125\n"
                      "NODATA_value -9999\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double v = ((x * 7919 + y * 104729) % 2001 - 1000) / 4.0 * sign;
            if ((x + y) % 11 == 0) v = -9999;
            if (y == 0 && x < 2) v = x == 0 ? 40000.25 : -40000;
            text += QByteArray::number(v) + (x + 1 < kWidth ? " " : "\n");
        }
    }
    return text;
}

// Band 1's samples, row by row, as gdallocationinfo reads them.
std::vector<double> gdalSamples(const QString &file, int width, int height)
{
    QByteArray where;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            where += QByteArray::number(x) + ' ' + QByteArray::number(y) + '\n';
    const QList<QByteArray> lines =
        runTool({QStringLiteral("gdallocationinfo"), QStringLiteral("-valonly"),
                 QStringLiteral("-b"), QStringLiteral("1"), file},
                {}, where)
            .split('\n');
    std::vector<double> values;
    for (const QByteArray &line : lines)
        if (!line.trimmed().isEmpty()) values.push_back(line.trimmed().toDouble());
    return values;
}

class TiffTest : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        writeFile(path("source.asc"), asciiGrid(1));
        writeFile(path("negated.asc"), asciiGrid(-1));
    }

    // Writes name with gdal_translate from the source grid (or from).
    QString translate(const QString &name, const QStringList &options,
                      const QString &from = QStringLiteral("source.asc"))
    {
        runTool(QStringList{QStringLiteral("gdal_translate"), QStringLiteral("-q"),
                            QStringLiteral("-of"), QStringLiteral("GTiff")} +
                options + QStringList{path(from), path(name)});
        return path(name);
    }
    QString create(const QString &name, const QStringList &options)
    {
        runTool(QStringList{QStringLiteral("gdal_create"), QStringLiteral("-q"),
                            QStringLiteral("-of"), QStringLiteral("GTiff")} +
                options + QStringList{path(name)});
        return path(name);
    }
    QImage open(const QString &file)
    {
        QImage preview;
        OpenBILFile(file, preview);
        return preview;
    }
};

TEST_F(TiffTest, EveryVariantReadsAsGdalReadsIt)
{
    runTool({QStringLiteral("gdalbuildvrt"), QStringLiteral("-q"), QStringLiteral("-separate"),
             path("two.vrt"), path("source.asc"), path("negated.asc")});
    // A grid turned against north: GDAL writes a transformation matrix with rotation.
    writeFile(path("rotated.vrt"),
              "<VRTDataset rasterXSize=\"37\" rasterYSize=\"21\">\n"
              "  <GeoTransform>10, 0.1, 0.02, 50, 0.01, -0.1</GeoTransform>\n"
              "  <VRTRasterBand dataType=\"Int16\" band=\"1\"><SimpleSource>\n"
              "    <SourceFilename relativeToVRT=\"1\">source.asc</SourceFilename>\n"
              "    <SourceBand>1</SourceBand>\n"
              "  </SimpleSource></VRTRasterBand>\n"
              "</VRTDataset>\n");
    const QStringList tiles16 = {"-co",           "TILED=YES", "-co",
                                 "BLOCKXSIZE=16", "-co",       "BLOCKYSIZE=16"};
    const struct
    {
        const char *name;
        QStringList options;
        const char *from = "source.asc"; // nullptr: made by gdal_create instead
    } variants[] = {
        {"int16.tif", {"-ot", "Int16", "-co", "BLOCKYSIZE=5"}},
        {"float32-deflate-fp-predictor.tif",
         QStringList{"-ot", "Float32", "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=3"} + tiles16},
        {"float64-big-endian.tif", {"-ot", "Float64", "-co", "ENDIANNESS=BIG"}},
        {"uint16-nodata-0.tif", {"-ot", "UInt16", "-a_nodata", "0"}},
        {"uint8.tif", {"-ot", "Byte", "-co", "COMPRESS=PACKBITS"}},
        {"int32-zstd.tif", {"-ot", "Int32", "-co", "COMPRESS=ZSTD", "-co", "BLOCKYSIZE=4"}},
        {"uint32-lzma.tif", {"-ot", "UInt32", "-co", "COMPRESS=LZMA"}},
        {"int16-lzw-predictor.tif",
         {"-ot", "Int16", "-co", "COMPRESS=LZW", "-co", "PREDICTOR=2", "-co", "BLOCKYSIZE=3"}},
        {"bigtiff.tif", QStringList{"-ot", "Int16", "-co", "BIGTIFF=YES"} + tiles16},
        {"int16-big-endian-tiles.tif",
         QStringList{"-ot", "Int16", "-co", "ENDIANNESS=BIG", "-co", "COMPRESS=DEFLATE"} + tiles16},
        {"pixel-is-point.tif", {"-ot", "Float32", "-mo", "AREA_OR_POINT=Point"}},
        {"geographic.tif", {"-ot", "Int16", "-a_srs", "EPSG:4326"}},
        {"projected.tif",
         {"-ot", "Float32", "-a_srs", "EPSG:32633", "-a_ullr", "500000", "5300000", "500370",
          "5299790"}},
        {"south-up-matrix.tif", {"-ot", "Int16", "-a_ullr", "10", "50", "13.7", "52.1"}},
        {"rotated-matrix.tif", {}, "rotated.vrt"},
        {"baseline-no-georeference.tif",
         {"-ot", "Int16", "-co", "PROFILE=BASELINE", "--config", "GDAL_PAM_ENABLED", "NO"}},
        {"tiff-named.bil", {"-ot", "Float32"}},
        // Tall enough for the cores to share the rows of blocks.
        {"tall-tiles.tif", QStringList{"-ot", "Float32", "-outsize", "37", "300"} + tiles16},
        {"tall-strips.tif", {"-ot", "Int16", "-outsize", "37", "301", "-co", "BLOCKYSIZE=7"}},
        {"two-bands-by-pixel.tif", {"-ot", "Int16", "-co", "INTERLEAVE=PIXEL"}, "two.vrt"},
        {"two-bands-in-planes.tif",
         QStringList{"-ot", "Float32", "-co", "INTERLEAVE=BAND"} + tiles16, "two.vrt"},
        // Tiles never written: missing where there is a missing value, else 0.
        {"sparse-int16.tif",
         QStringList{"-outsize", "37", "21", "-ot", "Int16", "-a_nodata", "-9999", "-co",
                     "SPARSE_OK=YES"} +
             tiles16,
         nullptr},
        {"sparse-float32-strips.tif",
         {"-outsize", "37", "21", "-ot", "Float32", "-a_nodata", "1.5", "-co", "SPARSE_OK=YES",
          "-co", "BLOCKYSIZE=4"},
         nullptr},
        {"sparse-without-nodata.tif",
         QStringList{"-outsize", "37", "21", "-ot", "UInt16", "-co", "SPARSE_OK=YES"} + tiles16,
         nullptr},
    };
    for (const auto &v : variants) {
        SCOPED_TRACE(v.name);
        const QString file =
            v.from ? translate(v.name, v.options, v.from) : create(v.name, v.options);
        const GdalInfo gdalSays = gdalInfo(file);
        const std::vector<double> values = gdalSamples(file, gdalSays.width, gdalSays.height);
        ASSERT_EQ(values.size(), size_t(gdalSays.width) * size_t(gdalSays.height));

        errors.clear();
        const QImage preview = open(file);
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
        ASSERT_EQ(preview.size(), QSize(gdalSays.width, gdalSays.height));
        ASSERT_EQ(BILWidth, gdalSays.width);
        ASSERT_EQ(BILHeight, gdalSays.height);

        // 16-bit files keep their samples and missing value; others convert:
        // nearest metre, halves away from zero, clamped, the missing value to -32768.
        const bool int16 = gdalSays.type == u"Int16";
        const double nd = gdalSays.noData.value_or(std::numeric_limits<double>::quiet_NaN());
        const bool ndIsHeight = std::trunc(nd) == nd && nd >= kLowest && nd <= kHighest;
        EXPECT_EQ(BILNoData, int16 && ndIsHeight ? int32_t(nd) : kLowest);
        std::vector<int16_t> expected;
        for (double value : values)
            expected.push_back(
                int16 ? int16_t(value)
                : value == nd || std::isnan(value)
                    ? kLowest
                    : int16_t(std::clamp(std::round(value), kLowest + 1.0, double(kHighest))));
        EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + values.size()), expected);

        // Georeference as gdalinfo's geotransform, when it has no rotation.
        const auto &gt = gdalSays.geoTransform;
        if (gt && (*gt)[2] == 0 && (*gt)[4] == 0) {
            ASSERT_TRUE(BILGeoRef.has_value());
            // gdalinfo prints 15 significant digits.
            const auto close = [](double a, double b) {
                return std::abs(a - b) <= 1e-14 * std::max(1.0, std::abs(b));
            };
            EXPECT_PRED2(close, BILGeoRef->left, (*gt)[0]);
            EXPECT_PRED2(close, BILGeoRef->top, (*gt)[3]);
            EXPECT_PRED2(close, BILGeoRef->cellWidth, (*gt)[1]);
            EXPECT_PRED2(close, BILGeoRef->cellHeight, -(*gt)[5]);
            EXPECT_EQ(BILGeoRef->geographic, gdalSays.geographic);
        } else {
            EXPECT_FALSE(BILGeoRef.has_value()) << ::testing::PrintToString(*BILGeoRef);
        }
    }
}

TEST_F(TiffTest, FractionalHeightsRoundHalvesAwayFromZeroAndClamp)
{
    writeFile(path("row.asc"), "ncols 10\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                               "NODATA_value -9999\n"
                               "2.5 -2.5 0.5 -0.5 1.49 -1.5 32767.6 -40000 -9999 7\n");
    const std::vector<int16_t> expected = {3, -3, 1, -1, 1, -2, kHighest, kLowest + 1, kLowest, 7};
    const QStringList layouts[] = {
        {"-ot", "Float32", "-co", "TILED=YES", "-co", "BLOCKXSIZE=16", "-co", "BLOCKYSIZE=16",
         "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=3"},
        {"-ot", "Float64", "-co", "ENDIANNESS=BIG"},
    };
    for (const QStringList &options : layouts) {
        SCOPED_TRACE(options.join(' ').toStdString());
        open(translate("row.tif", options, "row.asc"));
        EXPECT_EQ(BILWidth, 10);
        EXPECT_EQ(BILNoData, kLowest);
        EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 10), expected);
        EXPECT_EQ(BILData[8], 0); // missing counts as 0 in the working samples
    }
}

// Little-endian unsigned numbers of n bytes inside a file's bytes.
uint32_t readLittle(const QByteArray &bytes, uint32_t at, int n)
{
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | uint8_t(bytes.at(at + i));
    return v;
}

void writeLittle(QByteArray &bytes, uint32_t at, int n, uint32_t v)
{
    for (int i = 0; i < n; ++i, v >>= 8)
        bytes[at + i] = char(v & 0xFF);
}

// Sets the first value of a tag in the first directory of a little-endian
// classic TIFF, where the tag's values stand inline or at their offset.
void patchFirstValue(QByteArray &tiff, uint16_t tag, uint32_t value)
{
    const uint32_t ifd = readLittle(tiff, 4, 4);
    const uint32_t entries = readLittle(tiff, ifd, 2);
    for (uint32_t e = ifd + 2; e < ifd + 2 + 12 * entries; e += 12) {
        if (readLittle(tiff, e, 2) != tag) continue;
        const int size = readLittle(tiff, e + 2, 2) == 3 ? 2 : 4; // SHORT or LONG
        const uint32_t count = readLittle(tiff, e + 4, 4);
        const uint32_t at = count * size <= 4 ? e + 8 : readLittle(tiff, e + 8, 4);
        writeLittle(tiff, at, size, size == 2 ? std::min<uint32_t>(value, 0xFFFF) : value);
        return;
    }
    ADD_FAILURE() << "no tag " << tag;
}

// Hostile or unreadable files: each is refused or fails with a message that
// names the file, and the grid shown before stays loaded.
TEST_F(TiffTest, BrokenFilesFailCleanlyAndKeepThePreviousGrid)
{
    const QStringList tiled = {"-ot", "Int16",         "-co", "TILED=YES",
                               "-co", "BLOCKXSIZE=16", "-co", "BLOCKYSIZE=16"};
    const auto patched = [&](const char *name, uint16_t tag, uint32_t value,
                             const QStringList &options) {
        return [=, this] {
            const QString file = translate(name, options);
            QByteArray bytes = readFile(file);
            patchFirstValue(bytes, tag, value);
            writeFile(file, bytes);
            return file;
        };
    };
    const struct
    {
        const char *name;
        std::function<QString()> make;
        const char *refusal; // shown to the user, or else
        const char *thrown;  // part of the error's text
    } cases[] = {
        // The cut falls in the rows the second core reads, through its own handle.
        {"cut short, the cores sharing its rows",
         [&] {
             const QString file =
                 translate("half.tif", {"-ot", "Int16", "-outsize", "37", "300", "-co",
                                        "BLOCKYSIZE=8", "-co", "COMPRESS=DEFLATE"});
             const QByteArray bytes = readFile(file);
             writeFile(file, bytes.left(bytes.size() * 7 / 8));
             return file;
         },
         nullptr, "cannot be read: TIFFFillStrip: Read error on strip"},
        {"tile offset past the end", patched("far-tile.tif", 324, 0x7FFFFF00u, tiled), nullptr,
         "the tile at row 0, column 0 cannot be read"},
        {"absurd tile byte count",
         patched("huge-count.tif", 325, 0xFFFFFF00u,
                 tiled + QStringList{"-co", "COMPRESS=DEFLATE"}),
         nullptr, "the tile at row 0, column 0 cannot be read"},
        {"strip offset past the end",
         patched("far-strip.tif", 273, 0x7FFFFF00u, {"-ot", "Float32"}), nullptr,
         "the strip at row 0 cannot be read: TIFFFillStrip: Read error on strip 0"},
        {"only a signature",
         [&] {
             writeFile(path("signature.tif"), QByteArray("II*\0", 4));
             return path("signature.tif");
         },
         nullptr, "libtiff cannot open it: "},
        {"1-bit samples",
         [&] {
             return translate("bits.tif", {"-ot", "Byte", "-co", "NBITS=1"});
         },
         nullptr, "1-bit unsigned integer samples"},
        {"complex samples",
         [&] {
             return translate("complex.tif", {"-ot", "CInt16"});
         },
         nullptr, "32-bit complex integer samples"},
        {"a tile far larger than the image",
         [&] {
             return translate("wide-tile.tif",
                              {"-ot", "Float32", "-outsize", "4", "4", "-co", "TILED=YES", "-co",
                               "BLOCKXSIZE=8192", "-co", "BLOCKYSIZE=8192", "-co",
                               "COMPRESS=DEFLATE"});
         },
         nullptr, "one block of its samples takes 268435456 bytes, more than 16777280."},
        {"20000 x 20000, over the capacity",
         [&] {
             return create("big.tif", {"-outsize", "20000", "20000", "-ot", "Byte", "-co",
                                       "TILED=YES", "-co", "SPARSE_OK=YES"});
         },
         "This file is too big.", nullptr},
    };
    const std::vector<int16_t> shown = {1, -2, 3, kLowest, 5, 6};
    const BILGeoReference place{1, 2, 0.5, 0.25, true};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = c.make();
        BILWidth = 3;
        BILHeight = 2;
        BILNoData = kLowest;
        BILGeoRef = place;
        std::copy(shown.begin(), shown.end(), BILRaw);
        SmoothBIL(0);
        errors.clear();

        if (c.refusal) {
            EXPECT_TRUE(open(file).isNull());
            EXPECT_EQ(errors, QStringList{c.refusal});
        } else {
            try {
                open(file);
                ADD_FAILURE() << "no error";
            } catch (const BILError &e) {
                const QString text = QString::fromStdString(e.what());
                EXPECT_TRUE(text.contains(QDir::toNativeSeparators(file))) << e.what();
                EXPECT_TRUE(text.contains(c.thrown)) << e.what();
            }
            EXPECT_TRUE(errors.isEmpty());
        }
        EXPECT_EQ(BILWidth, 3);
        EXPECT_EQ(BILHeight, 2);
        EXPECT_EQ(BILNoData, kLowest);
        EXPECT_EQ(BILGeoRef, place);
        EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 6), shown);
        EXPECT_EQ(std::vector<int16_t>(BILData, BILData + 6),
                  (std::vector<int16_t>{1, -2, 3, 0, 5, 6}));
    }
}

} // namespace
