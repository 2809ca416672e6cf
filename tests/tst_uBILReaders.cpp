// The readers of self-describing files, held against GDAL: every fixture is
// written by GDAL's tools, and what OpenBILFile loads must be what GDAL reads
// from the same file.
#include "elevation/uFMXBILUtils.h"

#include "tests/gdalTools.h"
#include "tests/gridState.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace {

// The source of every fixture: negative heights, halves either side of zero,
// values beyond 16 bits and a missing cell.
const QByteArray sourceGrid = "ncols 7\n"
                              "nrows 5\n"
                              "xllcorner 100.0\n"
                              "yllcorner 200.0\n"
                              "cellsize 0.5\n"
                              "NODATA_value -9999\n"
                              "0 1 -1 10.5 -10.5 2.4 -2.6\n"
                              "100 -100 -9999 0.5 -0.5 1.5 -1.5\n"
                              "40000 -40000 32767 -32767 32766.5 -32767.5 7\n"
                              "255 256 -129 65535 3 4 5\n"
                              "-7 8 -9 10 -11 12 -13\n";

// A second band, so that reading anything but band 1 shows.
const QByteArray secondBand = "ncols 7\n"
                              "nrows 5\n"
                              "xllcorner 100.0\n"
                              "yllcorner 200.0\n"
                              "cellsize 0.5\n"
                              "NODATA_value -9999\n"
                              "901 902 903 904 905 906 907\n"
                              "908 909 910 911 912 913 914\n"
                              "915 916 917 918 919 920 921\n"
                              "922 923 924 925 926 927 928\n"
                              "929 930 931 932 933 934 935\n";

// The georeference of the source, as ESRI headers give it.
#define SOURCE_PLACE "ULXMAP 100.25\nULYMAP 202.25\nXDIM 0.5\nYDIM 0.5\n"

// What GDAL reads from band 1 of a file.
struct GdalView
{
    int width = 0, height = 0;
    bool storedAsIs = false; // 16-bit signed samples, which the program keeps as they are
    std::optional<double> noData;
    std::optional<BILGeoReference> geo;
    std::vector<float> values; // every sample of these fixtures fits a float exactly
};

class ReaderTest : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        // The layout dialog: records what it was pre-set to, and is left with OK.
        BILAskLayout = [this] { asked.push_back(layout()); };
        BILFileName.clear();
        write("src.asc", sourceGrid);
        write("band2.asc", secondBand);
        write("centres.asc", QByteArray(sourceGrid)
                                 .replace("xllcorner 100.0", "XLLCENTER 100.25")
                                 .replace("yllcorner 200.0", "YLLCENTER 200.25"));
    }
    void write(const QString &name, const QByteArray &bytes) { writeFile(path(name), bytes); }
    QByteArray read(const QString &name) { return readFile(path(name)); }

    // Runs a GDAL tool in the fixture folder and gives what it printed.
    QByteArray run(const QStringList &command) { return runTool(command, dir.path()); }

    GdalView gdalView(const QString &name)
    {
        const GdalInfo info = gdalInfo(name, dir.path());
        GdalView view;
        view.width = info.width;
        view.height = info.height;
        view.storedAsIs = info.type == "Int16" && info.driver != "AAIGrid";
        view.noData = info.noData;
        if (const auto &t = info.geoTransform)
            view.geo = BILGeoReference{(*t)[0], (*t)[3], (*t)[1], -(*t)[5], info.geographic};
        // GDAL's own decoding of band 1, as little-endian floats.
        run({"gdal_translate", "-q", "-of", "ENVI", "-ot", "Float32", "-b", "1", name,
             "gdal-view.raw"});
        const QByteArray bytes = read("gdal-view.raw");
        view.values.resize(size_t(view.width) * size_t(view.height));
        EXPECT_EQ(size_t(bytes.size()), view.values.size() * sizeof(float)) << name.toStdString();
        std::memcpy(view.values.data(), bytes.constData(),
                    std::min(size_t(bytes.size()), view.values.size() * sizeof(float)));
        return view;
    }

    QImage open(const QString &name)
    {
        QImage preview;
        OpenBILFile(path(name), preview);
        return preview;
    }

    std::vector<Layout> asked;
};

// The samples the program must hold for what GDAL read: 16-bit signed samples
// as they are, others to the nearest metre, halves away from zero, within
// -32767..32767, missing ones -32768.
std::vector<int16_t> expectedRaw(const GdalView &g)
{
    std::vector<int16_t> raw;
    raw.reserve(g.values.size());
    for (const float v : g.values) {
        if (g.storedAsIs)
            raw.push_back(int16_t(v));
        else if (!std::isfinite(v) || (g.noData && double(v) == *g.noData))
            raw.push_back(kLowest);
        else
            raw.push_back(
                int16_t(std::clamp(std::round(double(v)), -double(kHighest), double(kHighest))));
    }
    return raw;
}

// Compares n samples, saying where they first differ rather than printing millions.
::testing::AssertionResult sameSamples(const int16_t *got, const std::vector<int16_t> &want)
{
    size_t wrong = 0, first = 0;
    for (size_t i = want.size(); i-- > 0;)
        if (got[i] != want[i]) {
            ++wrong;
            first = i;
        }
    if (!wrong) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " samples differ, the first at " << first
                                         << ": " << got[first] << " instead of " << want[first];
}

void expectNear(double got, double want, const char *what)
{
    EXPECT_NEAR(got, want, 1e-9 * std::max(1.0, std::abs(want))) << what;
}

// A fixture: a hand-written header and a zero-filled sample file for GDAL to
// write into (when given), GDAL commands, then a header replacing the writer's.
struct Fixture
{
    const char *name;
    const char *file; // what the program opens
    std::vector<QStringList> commands;
    QByteArray headerBefore = {};
    int blankBytes = 0;
    QByteArray headerAfter = {};
};

QString headerOf(const QString &file)
{
    return file.section(u'.', 0, 0) + ".hdr";
}

const QStringList twoBands = {"gdalbuildvrt", "-q",      "-separate",
                              "multi.vrt",    "src.asc", "band2.asc"};

// GDAL writes samples into an existing file as its header lays them out.
QStringList warpInto(const char *file, const char *source = "src.asc")
{
    return {"gdalwarp", "-q", "-wo", "INIT_DEST=NO_DATA", source, file};
}

QStringList translate(const QStringList &options, const char *file, const char *source = "src.asc")
{
    return QStringList{"gdal_translate", "-q"} + options + QStringList{source, file};
}

TEST_F(ReaderTest, EveryVariantReadsWhatGdalReads)
{
    const Fixture fixtures[] = {
        {"EHdr Int16 with its nodata, projected",
         "i16.bil",
         {translate({"-of", "EHdr", "-ot", "Int16", "-a_nodata", "-9999", "-a_srs", "EPSG:32633"},
                    "i16.bil")}},
        {"EHdr Float32, geographic",
         "f32.bil",
         {translate({"-of", "EHdr", "-ot", "Float32", "-a_srs", "EPSG:4326"}, "f32.bil")}},
        {"EHdr UInt16", "u16.bil", {translate({"-of", "EHdr", "-ot", "UInt16"}, "u16.bil")}},
        {"EHdr Byte", "u8.bil", {translate({"-of", "EHdr", "-ot", "Byte"}, "u8.bil")}},
        {"EHdr Int32", "i32.bil", {translate({"-of", "EHdr", "-ot", "Int32"}, "i32.bil")}},
        {"EHdr UInt32", "u32.bil", {translate({"-of", "EHdr", "-ot", "UInt32"}, "u32.bil")}},
        {"Int16 MSBFIRST under lower-case keys",
         "be16.bil",
         {warpInto("be16.bil")},
         "nrows 5\nncols 7\nnbits 16\npixeltype signedint\nbyteorder MSBFIRST\nnodata -9999\n"
         "ulxmap 100.25\nulymap 202.25\nxdim 0.5\nydim 0.5\n",
         70},
        {"Float32 MSBFIRST",
         "be32.bil",
         {warpInto("be32.bil")},
         "NROWS 5\nNCOLS 7\nNBITS 32\nPIXELTYPE FLOAT\nBYTEORDER MSBFIRST\nNODATA_VALUE "
         "-9999\n" SOURCE_PLACE,
         140},
        {"EHdr two bands, BIL",
         "bands.bil",
         {twoBands, translate({"-of", "EHdr", "-ot", "Int16"}, "bands.bil", "multi.vrt")}},
        {"BIP samples from ENVI under an ESRI header",
         "bip.img",
         {twoBands, translate({"-of", "ENVI", "-ot", "Int16", "-co", "INTERLEAVE=BIP"}, "bip.img",
                              "multi.vrt")},
         {},
         0,
         "NROWS 5\nNCOLS 7\nNBANDS 2\nNBITS 16\nPIXELTYPE SIGNEDINT\nLAYOUT BIP\nBYTEORDER "
         "I\nNODATA "
         "-9999\n" SOURCE_PLACE},
        {"BSQ float samples from ENVI under an ESRI header",
         "bsq.img",
         {twoBands, translate({"-of", "ENVI", "-ot", "Float32", "-co", "INTERLEAVE=BSQ"}, "bsq.img",
                              "multi.vrt")},
         {},
         0,
         "NROWS 5\nNCOLS 7\nNBANDS 2\nNBITS 32\nPIXELTYPE FLOAT\nLAYOUT BSQ\nBYTEORDER I\n"
         "NODATA -9999\n" SOURCE_PLACE},
        {"BIL with skipped bytes",
         "skip.bil",
         {twoBands, warpInto("skip.bil", "multi.vrt")},
         "NROWS 5\nNCOLS 7\nNBANDS 2\nNBITS 16\nPIXELTYPE SIGNEDINT\nLAYOUT BIL\nSKIPBYTES 10\n"
         "BANDROWBYTES 14\nTOTALROWBYTES 28\nBYTEORDER I\nNODATA -9999\n" SOURCE_PLACE,
         10 + 5 * 28},
        {"BSQ with skipped bytes and a band gap",
         "gap.bil",
         {twoBands, warpInto("gap.bil", "multi.vrt")},
         "NROWS 5\nNCOLS 7\nNBANDS 2\nNBITS 16\nPIXELTYPE SIGNEDINT\nLAYOUT BSQ\nSKIPBYTES "
         "4\nBANDGAPBYTES 6\n"
         "BYTEORDER I\nNODATA -9999\n" SOURCE_PLACE,
         4 + 70 + 6 + 70},
        {"GridFloat pair under lower-case keys",
         "grid.flt",
         {translate({"-of", "EHdr", "-ot", "Float32"}, "grid.flt")},
         {},
         0,
         "ncols 7\nnrows 5\nxllcorner 100\nyllcorner 200\ncellsize 0.5\nNODATA_value -9999\n"
         "byteorder LSBFIRST\n"},
        {"ASCII grid of integers, geographic",
         "int.asc",
         {translate({"-of", "AAIGrid", "-ot", "Int16", "-a_srs", "EPSG:4326"}, "int.asc")}},
        {"ASCII grid of decimals",
         "dec.asc",
         {translate({"-of", "AAIGrid", "-ot", "Float32", "-co", "DECIMAL_PRECISION=2"},
                    "dec.asc")}},
        {"ASCII grid with dx and dy",
         "dxdy.asc",
         {translate({"-of", "AAIGrid", "-a_ullr", "100", "203", "103.5", "200"}, "dxdy.asc")}},
        {"ASCII grid typed by hand", "src.asc", {}},
        {"ASCII grid typed by hand with cell centres", "centres.asc", {}},
        {"SRTM tile at three seconds",
         "N57E011.hgt",
         {srtmTile("src.asc", "N57E011.hgt", 11, 57, 1201)}},
        {"SRTM tile at one second, south and west",
         "S12W077.hgt",
         {srtmTile("src.asc", "S12W077.hgt", -77, -12, 3601)}},
    };
    for (const Fixture &f : fixtures) {
        SCOPED_TRACE(f.name);
        if (!f.headerBefore.isEmpty()) {
            write(headerOf(f.file), f.headerBefore);
            write(f.file, QByteArray(f.blankBytes, '\0'));
        }
        for (const QStringList &command : f.commands)
            run(command);
        if (!f.headerAfter.isEmpty()) write(headerOf(f.file), f.headerAfter);
        const GdalView g = gdalView(f.file);
        ASSERT_GT(g.width * g.height, 0);

        asked.clear();
        errors.clear();
        const QImage preview = open(f.file);
        EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
        const bool tile = QString(f.file).endsWith(".hgt");
        if (tile)
            EXPECT_EQ(asked, (std::vector<Layout>{{true, g.width, g.height, kLowest}}));
        else
            EXPECT_TRUE(asked.empty());
        ASSERT_EQ(BILWidth, g.width);
        ASSERT_EQ(BILHeight, g.height);
        EXPECT_EQ(preview.size(), QSize(g.width, g.height));
        const int32_t noData = g.storedAsIs ? int32_t(g.noData.value_or(-500)) : kLowest;
        EXPECT_EQ(BILNoData, noData);

        const std::vector<int16_t> raw = expectedRaw(g);
        std::vector<int16_t> working(raw);
        for (int16_t &h : working)
            h = h == noData ? int16_t(0) : h;
        EXPECT_TRUE(sameSamples(BILRaw, raw));
        EXPECT_TRUE(sameSamples(BILData, working));

        ASSERT_EQ(BILGeoRef.has_value(), g.geo.has_value());
        if (g.geo) {
            expectNear(BILGeoRef->left, g.geo->left, "left");
            expectNear(BILGeoRef->top, g.geo->top, "top");
            expectNear(BILGeoRef->cellWidth, g.geo->cellWidth, "cell width");
            expectNear(BILGeoRef->cellHeight, g.geo->cellHeight, "cell height");
            EXPECT_EQ(BILGeoRef->geographic, g.geo->geographic);
        }
    }
}

// Hostile files: each is refused with a message naming what is wrong, and the
// grid loaded before stays loaded.
TEST_F(ReaderTest, WhatCannotBeReadIsRefusedAndTheGridBeforeStays)
{
    run(translate({"-of", "EHdr", "-ot", "Int16", "-a_nodata", "-9999", "-a_srs", "EPSG:4326"},
                  "good.bil"));
    run(translate({"-of", "EHdr", "-ot", "Int16"}, "int16.bil")); // samples for the lying headers
    const QByteArray int16Samples = read("int16.bil");
    const QByteArray asciiStart = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
    const struct
    {
        const char *name;
        const char *file;
        QByteArray text; // the header beside the 16-bit samples, or the ASCII grid
        const char *message;
        bool shown = false;      // a refusal through BILShowError rather than an error
        bool keepsLayout = true; // a refused 16-bit header keeps the header's layout, as ever
    } cases[] = {
        {"header says 32 bits of 16-bit samples", "lie.bil",
         "NROWS 5\nNCOLS 7\nNBITS 32\nPIXELTYPE SIGNEDINT\n", "is too short"},
        {"12-bit samples", "b12.bil", "NROWS 5\nNCOLS 7\nNBITS 12\n", "NBITS 12"},
        {"complex samples", "cx.bil", "NROWS 5\nNCOLS 7\nNBITS 32\nPIXELTYPE COMPLEX\n",
         "PIXELTYPE COMPLEX"},
        {"16-bit floats", "f16.bil", "NROWS 5\nNCOLS 7\nNBITS 16\nPIXELTYPE FLOAT\n",
         "PIXELTYPE FLOAT"},
        {"unknown layout", "xyz.bil", "NROWS 5\nNCOLS 7\nLAYOUT XYZ\n", "LAYOUT XYZ"},
        {"rows shorter than their samples", "rows.bil", "NROWS 5\nNCOLS 7\nTOTALROWBYTES 10\n",
         "TOTALROWBYTES 10"},
        {"band rows shorter than their samples", "brows.bil",
         "NROWS 5\nNCOLS 7\nNBANDS 2\nBANDROWBYTES 13\n", "BANDROWBYTES 13"},
        {"no band", "none.bil", "NROWS 5\nNCOLS 7\nNBANDS 0\n", "NBANDS 0"},
        {"a GridFloat header over 16-bit samples", "short.flt",
         "ncols 7\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n",
         "is too short"},
        {"float grid over the capacity", "huge.flt", "ncols 10800\nnrows 4801\n",
         "This file is too big.", true, false},
        {"ASCII grid with too few values", "few.asc", asciiStart + "1 2 3\n4 5\n",
         "line 7 ends the values"},
        {"ASCII grid with a word for a value", "word.asc", asciiStart + "1 2 3\n4 x5 6\n",
         "line 7 holds \"x5\", which is not a number"},
        {"ASCII grid with an over-long number", "long.asc",
         asciiStart + "1 2 3\n\n4 5 " + QByteArray(100, '7') + "\n", "line 8 holds \"77777"},
        {"ASCII grid of fractional columns", "frac.asc", "ncols 2.5\nnrows 2\n1 2 3 4 5\n",
         "NCOLS 2.5"},
        {"ASCII grid over the capacity", "big.asc",
         "NCOLS 10800\nNROWS 4801\nXLLCORNER 0\nYLLCORNER 0\nCELLSIZE 1\n1 2 3\n",
         "This file is too big.", true},
    };

    open("good.bil");
    ASSERT_TRUE(errors.isEmpty());
    const Layout before = layout();
    const std::optional<BILGeoReference> geoBefore = BILGeoRef;
    const std::vector<int16_t> raw(BILRaw, BILRaw + 35), working(BILData, BILData + 35);
    ASSERT_TRUE(geoBefore.has_value());

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        open("good.bil");
        const bool ascii = QString(c.file).endsWith(".asc");
        write(ascii ? c.file : headerOf(c.file), c.text);
        if (!ascii) write(c.file, int16Samples);
        errors.clear();
        QString failure;
        QImage preview;
        try {
            preview = open(c.file);
        } catch (const BILError &e) {
            failure = e.what();
            EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(path(c.file)).chopped(4)))
                << e.what();
        }
        EXPECT_TRUE(preview.isNull());
        if (c.shown) {
            EXPECT_EQ(errors, QStringList{c.message}) << failure.toStdString();
        } else {
            EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
            EXPECT_TRUE(failure.contains(c.message)) << failure.toStdString();
        }
        if (c.keepsLayout) {
            EXPECT_EQ(layout(), before);
        }
        EXPECT_EQ(BILGeoRef, geoBefore);
        EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 35), raw);
        EXPECT_EQ(std::vector<int16_t>(BILData, BILData + 35), working);
    }
}

} // namespace
