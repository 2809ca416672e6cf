#include "elevation/uFMXBILUtils.h"

#include "tests/fileBytes.h"
#include "tests/gridState.h"
#include "tests/reference_smooth.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace {

std::vector<int16_t> data(int count)
{
    return {BILData, BILData + count};
}

// Every test starts from a known table: height h gets colour 0xFF000000 | (h + 32768).
void rampColors()
{
    for (int h = -32768; h <= 32767; ++h)
        BILColorOf(int16_t(h)) = 0xFF000000u | uint32_t(h + 32768);
}

// Random inputs come from a fixed seed, printed, so that a failure can be
// reproduced; RELIEVA_TEST_SEED tries another.
quint32 testSeed()
{
    static const quint32 seed = [] {
        bool ok = false;
        const quint32 given = qEnvironmentVariable("RELIEVA_TEST_SEED").toUInt(&ok);
        const quint32 chosen = ok ? given : 20261210u;
        std::printf("Random test inputs from seed %u (set RELIEVA_TEST_SEED for another)\n",
                    chosen);
        return chosen;
    }();
    return seed;
}

QByteArray samplesAsBytes(const std::vector<int16_t> &samples, bool bigEndian)
{
    QByteArray bytes(qsizetype(samples.size() * 2), Qt::Uninitialized);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto v = uint16_t(samples[i]);
        if (bigEndian)
            qToBigEndian(v, bytes.data() + 2 * i);
        else
            qToLittleEndian(v, bytes.data() + 2 * i);
    }
    return bytes;
}

QImage decode(const QString &path)
{
    QImage image(path);
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

// Starts from no file name, no colour-table problem and the ramp of colours.
class BILTest : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        BILFileName.clear();
        BILColorTableProblem.clear();
        rampColors();
    }
};

// ==================================================================== parse

TEST(BILStrToInt, ParsesTheProgramsIntegerForms)
{
    const struct
    {
        const char *text;
        int32_t value;
    } cases[] = {
        {"12", 12},
        {"  -7", -7},
        {"+5", 5},
        {"007", 7},
        {"$1F", 31},
        {"x1f", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int32_t>::min()},
        // Nothing else parses, and what does not parse is 0.
        {"", 0},
        {"   ", 0},
        {"12a", 0},
        {"1 2", 0},
        {"12 ", 0},
        {"\t5", 0},
        {"0x", 0},
        {"$", 0},
        {"-", 0},
        {"abc", 0},
        {"1.5", 0},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"99999999999999999999", 0},
        {"$G", 0},
        {"--1", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BILStrToInt(QByteArrayView(c.text)), c.value) << '"' << c.text << '"';
}

// ==================================================================== colours

TEST(BILColors, MakeColorKeepsTheLowEightBitsOfEachChannel)
{
    EXPECT_EQ(MakeColor(256, -1, 300), 0xFF00FF2Cu);
    EXPECT_EQ(MakeColor(0, 0, 0), 0xFF000000u);
    EXPECT_EQ(MakeColor(0x12, 0x34, 0x56), 0xFF123456u);
}

TEST(BILColors, HeightColorSpreadsTheScannedRangeWithHalvesToEven)
{
    const struct
    {
        int16_t min;
        uint32_t range;
        int16_t height;
        int grey;
    } cases[] = {
        {-100, 200, -100, 0},
        {-100, 200, 0, 128},
        {-100, 200, 100, 255},
        {0, 510, 1, 0},
        {0, 510, 3, 2},
        {0, 510, 5, 2},
        {kLowest, 65535, kLowest, 0},
        {kLowest, 65535, 0, 128},
        {kLowest, 65535, kHighest, 255},
        {37, 0, 37, 0},
        {10, 100, 5, 0},
        {10, 100, 200, 255},
    };
    for (const auto &c : cases) {
        BILMin = c.min;
        BILRange = c.range;
        EXPECT_EQ(HeightColor(c.height), MakeColor(c.grey, c.grey, c.grey))
            << "min " << c.min << " range " << c.range << " height " << c.height;
    }
}

TEST(BILRender, ScanFindsTheRegionsExtremes)
{
    setGrid(4, 3, {5, 5, 5, 5, 5, 37, 37, 5, 5, 37, 37, -9});
    ScanBILRange(1, 1, 3, 3);
    EXPECT_EQ(BILMin, 37);
    EXPECT_EQ(BILMax, 37);
    EXPECT_EQ(BILRange, 0u);
    ScanBILRange(0, 0, 4, 3);
    EXPECT_EQ(BILMin, -9);
    EXPECT_EQ(BILMax, 37);
    EXPECT_EQ(BILRange, 46u);

    setGrid(2, 1, {kLowest, kHighest}, 0);
    ScanBILRange(0, 0, 2, 1);
    EXPECT_EQ(BILRange, 65535u);

    // An empty region holds just its corner; one at the grid's edge reads nothing.
    setGrid(2, 2, {1, 2, 3, 4});
    ScanBILRange(1, 1, 1, 2);
    EXPECT_EQ(BILMin, 4);
    EXPECT_EQ(BILRange, 0u);
    ScanBILRange(2, 2, 2, 2);
    EXPECT_EQ(BILRange, 0u);
}

TEST(BILRender, RendersTheRegionOnePixelPerSample)
{
    rampColors();
    std::vector<int16_t> grid(7 * 5);
    for (size_t i = 0; i < grid.size(); ++i)
        grid[i] = int16_t(i * 100 - 1000);
    setGrid(7, 5, grid);
    QImage bitmap(40, 2, QImage::Format_RGB32);
    RenderBIL(bitmap, TextureColor, 1, 2, 6, 5);
    ASSERT_EQ(bitmap.size(), QSize(5, 3));
    ASSERT_EQ(bitmap.format(), QImage::Format_ARGB32);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(bitmap.pixel(i, j), BILColorOf(grid[size_t((2 + j) * 7 + 1 + i)]));

    RenderBIL(bitmap, TextureColor, 3, 3, 3, 5);
    EXPECT_EQ(bitmap.width(), 0);
}

// ==================================================================== colour table

class ColorTableTest : public BILTest
{
protected:
    void SetUp() override
    {
        BILTest::SetUp();
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        std::fill(std::begin(BILColors), std::end(BILColors), 0x12345678u);
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        BILTest::TearDown();
    }
    // Loads text as the table and returns the colour of each height asked for.
    std::vector<TAlphaColor> load(const QByteArray &text, std::initializer_list<int> heights)
    {
        std::fill(std::begin(BILColors), std::end(BILColors), 0u);
        writeFile(path("RELIEVA.txt"), text);
        LoadColorTable();
        std::vector<TAlphaColor> colors;
        for (int h : heights)
            colors.push_back(BILColorOf(int16_t(h)));
        return colors;
    }
    QString previous;
};

TEST_F(ColorTableTest, NoFileLeavesTheTableAsItWas)
{
    LoadColorTable();
    EXPECT_EQ(BILColorOf(0), 0x12345678u);
}

TEST_F(ColorTableTest, FillsBandsUpToEachThreshold)
{
    const TAlphaColor red = 0xFFFF0000, black = 0xFF000000, white = 0xFFFFFFFF;
    const TAlphaColor navy = 0xFF000080, blue = 0xFF0000FF, green = 0xFF008000;
    const QByteArray bands =
        "-32768\t0\t0\t128\n0\t0\t0\t255\n1000\t0\t128\t0\n3000\t255\t255\t255\n";
    const std::initializer_list<int> probes = {-32768, 0, 1, 1000, 1001, 3000, 3001, 32767};
    const std::vector<TAlphaColor> banded = {navy, navy, blue, blue, green, green, white, white};
    const struct
    {
        const char *name;
        QByteArray text;
        std::vector<TAlphaColor> colors;
    } cases[] = {
        {"one line colours everything", "0 255 0 0", {red, red, red, red, red, red, red, red}},
        {"tabs", bands, banded},
        {"runs of spaces", "-32768   0 0 128\n 0  0 0 255  \n1000 0 128 0\n3000 255 255 255",
         banded},
        {"CR and CR LF line ends",
         "-32768 0 0 128\r0 0 0 255\r\n1000 0 128 0\r3000 255 255 255\r\n", banded},
        {"quoted fields", "\"-32768\" 0 0 \"128\"\n\"0\" 0 0 255\n1000 0 128 0\n3000 255 255 255\n",
         banded},
        {"three fields on the first line give black",
         "bands 0 0\n0 0 0 255\n1000 0 128 0\n3000 255 255 255",
         {black, black, blue, blue, green, green, white, white}},
        {"a title line reads as black",
         "height red green blue\n0 0 0 255\n1000 0 128 0\n3000 255 255 255",
         {black, black, blue, blue, green, green, white, white}},
        {"five fields and blank lines are skipped",
         "-32768 0 0 128\n\n0 0 0 255\n500 9 9 9 9\n1000 0 128 0\n3000 255 255 255", banded},
        {"a last threshold of 32767 leaves its colour unused",
         "0 255 0 0\n32767 0 0 255",
         {red, red, red, red, red, red, red, red}},
        {"thresholds beyond 16 bits are clamped",
         "0 255 0 0\n-99999 0 0 255\n99999 0 255 0",
         {red, blue, blue, blue, blue, blue, blue, blue}},
        {"channels keep their low 8 bits, a bad threshold reads 0",
         "0 256 -1 300\nabc 1 2 3",
         {0xFF00FF2C, 0xFF00FF2C, 0xFF010203, 0xFF010203, 0xFF010203, 0xFF010203, 0xFF010203,
          0xFF010203}},
        {"an empty file leaves the table empty", "", {0, 0, 0, 0, 0, 0, 0, 0}},
        {"a blank first line gives black",
         "\n",
         {black, black, black, black, black, black, black, black}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(load(c.text, probes), c.colors) << c.name;

    // A lower threshold moves the band start back down: the line with 100 colours nothing.
    EXPECT_EQ(load("0 255 0 0\n100 0 255 0\n50 0 0 255\n200 255 255 255", {50, 51, 100, 200, 201}),
              (std::vector<TAlphaColor>{red, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, white}));
    // Two lines with one threshold: the first of them colours nothing.
    EXPECT_EQ(load("0 255 0 0\n10 0 255 0\n10 0 0 255\n", {10, 11}),
              (std::vector<TAlphaColor>{red, 0xFF0000FF}));
}

TEST_F(ColorTableTest, ARepositoryDefaultTableColoursLandAndSea)
{
    QFile defaults(QStringLiteral(RELIEVA_SOURCE_DIR "/RELIEVA.txt"));
    ASSERT_TRUE(defaults.open(QIODevice::ReadOnly));
    const auto colors = load(defaults.readAll(), {-32768, -100, 1, 500, 2000, 4000, 8000});
    for (TAlphaColor c : colors)
        EXPECT_EQ(c >> 24, 0xFFu);
    const auto blue = [](TAlphaColor c) {
        return (c & 0xFF) > (c >> 16 & 0xFF) && (c & 0xFF) > (c >> 8 & 0xFF);
    };
    EXPECT_TRUE(blue(colors[1])) << std::hex << colors[1];  // sea
    EXPECT_FALSE(blue(colors[3])) << std::hex << colors[3]; // lowland
    EXPECT_EQ(colors[6], 0xFFFFFFFFu);                      // peaks
}

TEST_F(ColorTableTest, WithoutAFileInTheWorkingDirectoryReadsTheInstalledDefault)
{
    // The program's own copy lies at <prefix>/share/relieva beside <prefix>/bin.
    EXPECT_EQ(BILDefaultColorTable(),
              QDir::cleanPath(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/relieva/RELIEVA.txt")));

    const QString installed = BILDefaultColorTable();
    QTemporaryDir share;
    BILDefaultColorTable() = share.filePath(QStringLiteral("RELIEVA.txt"));
    writeFile(BILDefaultColorTable(), "0 255 0 0");
    EXPECT_EQ(load({}, {0}), std::vector<TAlphaColor>{0}) << "an own file, even empty, comes first";
    QFile::remove(path(QStringLiteral("RELIEVA.txt")));
    LoadColorTable();
    EXPECT_EQ(BILColorOf(0), 0xFFFF0000) << "no own file: the installed default";
    EXPECT_EQ(load("0 0 0 255", {0}), std::vector<TAlphaColor>{0xFF0000FF}) << "own file first";

    QFile::remove(path(QStringLiteral("RELIEVA.txt")));
    QFile::remove(BILDefaultColorTable());
    std::fill(std::begin(BILColors), std::end(BILColors), 0x12345678u);
    LoadColorTable();
    EXPECT_EQ(BILColorOf(0), 0x12345678u) << "neither: the table stays as it was";
    BILDefaultColorTable() = installed;
}

// ==================================================================== header

class HeaderTest : public BILTest
{
protected:
    Layout read(const QByteArray &header)
    {
        writeFile(path("tile.hdr"), header);
        ReadBILHeader(path("tile.bil"));
        return layout();
    }
};

TEST_F(HeaderTest, ReadsBothKeySets)
{
    const struct
    {
        const char *name;
        QByteArray text;
        Layout expected;
    } cases[] = {
        {"ESRI keywords",
         "NROWS 6000\nNCOLS 4800\nNODATA -9999\nBYTEORDER M\n",
         {true, 4800, 6000, -9999}},
        {"ESRI little-endian", "NROWS 2\nNCOLS 3\nBYTEORDER I\n", {false, 3, 2, -500}},
        {"GDAL pads keywords to a column",
         "BYTEORDER      I\nLAYOUT         BIL\nNROWS          4800\n"
         "NCOLS          10800\nNBANDS         1\nNBITS          16\n"
         "NODATA         -32768\n",
         {false, 10800, 4800, -32768}},
        {"tabs between keyword and value",
         "NROWS\t6000\nNCOLS\t\t4800\nBYTEORDER\tI\n",
         {false, 4800, 6000, -500}},
        {"key = value form",
         "number_of_rows = 4800\nnumber_of_columns = 10800\nelev_m_missing_flag = -500\n"
         "data_byte_order = little_endian\n",
         {false, 10800, 4800, -500}},
        {"key = value big-endian",
         "data_byte_order = big_endian\nnumber_of_columns=7\n",
         {true, 7, 0, -500}},
        {"NODATA_VALUE is the missing flag", "NCOLS 2\nNODATA_VALUE -9999\n", {false, 2, 0, -9999}},
        {"other byte orders are big-endian", "NCOLS 2\nBYTEORDER MI\n", {true, 2, 0, -500}},
        {"a later line overrides",
         "NCOLS 2\nNCOLS 5\nBYTEORDER I\nBYTEORDER M\n",
         {true, 5, 0, -500}},
        {"the first key decides the line", "NROWS NCOLS 7\n", {false, 0, 0, -500}},
        {"hexadecimal values", "NCOLS $10\nNROWS 0x20\n", {false, 16, 32, -500}},
        {"CR line ends", "NCOLS 3\rNROWS 4\r\nNODATA 1", {false, 3, 4, 1}},
        {"unknown lines are ignored",
         "ULXMAP 139.0\nXDIM 0.00083\nNBITS 8\nSKIPBYTES 100\nNCOLS 3\n",
         {false, 3, 0, -500}},
        {"an empty header", "", {false, 0, 0, -500}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(read(c.text), c.expected) << c.name;
}

TEST_F(HeaderTest, IsFoundBesideTheSampleFile)
{
    writeFile(path("a.b.hdr"), "NCOLS 9\n");
    ReadBILHeader(path("a.b.bil"));
    EXPECT_EQ(BILWidth, 9);
    writeFile(path("noext.hdr"), "NCOLS 8\n");
    ReadBILHeader(path("noext"));
    EXPECT_EQ(BILWidth, 8);
    ReadBILHeader(path("missing.bil"));
    EXPECT_EQ(layout(), (Layout{false, 0, 0, -500}));
}

// ==================================================================== loading

class LoadTest : public BILTest
{
protected:
    // Writes name with the samples and, when given, a header beside it.
    QString make(const QString &name, const std::vector<int16_t> &samples, bool bigEndian,
                 const std::optional<QByteArray> &header = std::nullopt)
    {
        writeFile(path(name), samplesAsBytes(samples, bigEndian));
        if (header) writeFile(path(QString(name).section(u'.', 0, 0) + ".hdr"), *header);
        return path(name);
    }
    QImage open(const QString &file)
    {
        QImage preview;
        OpenBILFile(file, preview);
        return preview;
    }
    // Answers the layout dialog: records what it was pre-set to and sets the given layout.
    void answer(std::optional<Layout> reply)
    {
        BILAskLayout = [this, reply] {
            asked.push_back(layout());
            const Layout l = reply.value_or(Layout{false, -1, 0, kLowest});
            BILBigEndian = l.bigEndian;
            BILWidth = l.width;
            BILHeight = l.height;
            BILNoData = l.noData;
        };
    }
    std::vector<Layout> asked;
};

TEST_F(LoadTest, ReadsABILWithHeaderAndRendersThePreview)
{
    const std::vector<int16_t> samples = {1, -9999, 3, kHighest, kLowest, 6};
    for (bool big : {false, true}) {
        const QString file =
            make("grid.bil", samples, big,
                 QByteArray("NROWS 2\nNCOLS 3\nNODATA -9999\nBYTEORDER ") + (big ? "M" : "I"));
        const QImage preview = open(file);
        EXPECT_TRUE(errors.isEmpty());
        EXPECT_EQ(layout(), (Layout{big, 3, 2, -9999}));
        EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 6), samples);
        EXPECT_EQ(data(6), (std::vector<int16_t>{1, 0, 3, kHighest, kLowest, 6}));
        ASSERT_EQ(preview.size(), QSize(3, 2));
        EXPECT_EQ(preview.pixel(1, 0), BILColorOf(0));
        EXPECT_EQ(preview.pixel(0, 1), BILColorOf(kHighest));
        EXPECT_EQ(BILCaption(), "RELIEVA - grid.bil");
    }
}

TEST_F(LoadTest, HeaderWithoutMissingFlagTreatsMinus500AsMissing)
{
    open(make("grid.bil", {-500, 7}, false, "NCOLS 2\nNROWS 1\nBYTEORDER I\n"));
    EXPECT_EQ(data(2), (std::vector<int16_t>{0, 7}));
}

TEST_F(LoadTest, HeaderlessFilesAskForTheirLayoutPreSetByExtension)
{
    answer(Layout{true, 2, 2, kLowest});
    const struct
    {
        const char *name;
        Layout preset;
    } cases[] = {
        {"N35E139.hgt", {true, 1201, 1201, kLowest}}, {"tile.HGT", {true, 1201, 1201, kLowest}},
        {"tile.bin", {false, 10800, 4800, kLowest}},  {"tile.dat", {false, 10800, 4800, kLowest}},
        {"tile", {false, 10800, 4800, kLowest}},
    };
    for (const auto &c : cases) {
        asked.clear();
        // Five samples: no square tile's length.
        const QImage preview = open(make(c.name, {1, 2, 3, kLowest, 9}, true));
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_EQ(asked[0], c.preset) << c.name;
        EXPECT_EQ(data(4), (std::vector<int16_t>{1, 2, 3, 0})) << c.name;
        EXPECT_EQ(preview.size(), QSize(2, 2));
    }

    // A header without columns is no header: its values give way to the defaults.
    asked.clear();
    open(make("rows.bil", {1, 2, 3, 4}, true, "NROWS 2\nNODATA 5\nBYTEORDER I\n"));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (Layout{false, 10800, 4800, kLowest}));
}

TEST_F(LoadTest, AnHgtTileOfFullSizeIsReadAndSwapped)
{
    answer(std::nullopt);
    BILAskLayout = [] {}; // OK at once
    std::vector<int16_t> samples(1201 * 1201);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(i % 9000 - 500);
    samples[5] = kLowest;
    const QImage preview = open(make("N35E139.hgt", samples, true));
    EXPECT_EQ(QFileInfo(path("N35E139.hgt")).size(), 2884802);
    EXPECT_EQ(preview.size(), QSize(1201, 1201));
    EXPECT_EQ(BILRaw[1201 * 1201 - 1], samples.back());
    EXPECT_EQ(BILRaw[5], kLowest);
    EXPECT_EQ(BILData[5], 0);
}

TEST_F(LoadTest, CancelledAndRefusedLoadsKeepTheGrid)
{
    // The grid held: samples, layout, georeference and name stay as they were.
    open(make("held.bil", {11, 12}, true,
              "NCOLS 2\nNROWS 1\nBYTEORDER M\nNODATA 7\nULXMAP 10\nULYMAP 50\n"
              "XDIM 0.5\nYDIM 0.5\n"));
    const Layout held = layout();
    const std::optional<BILGeoReference> geo = BILGeoRef;
    ASSERT_EQ(held, (Layout{true, 2, 1, 7}));
    ASSERT_TRUE(geo.has_value());
    const auto unchanged = [&](const char *what) {
        EXPECT_EQ(BILRaw[0], 11) << what;
        EXPECT_EQ(BILData[1], 12) << what;
        EXPECT_EQ(layout(), held) << what;
        EXPECT_EQ(BILGeoRef, geo) << what;
        EXPECT_EQ(BILCaption(), "RELIEVA - held.bil") << what;
    };

    answer(std::nullopt); // Cancel
    QImage preview = open(make("tile.bin", {1, 2}, false));
    EXPECT_TRUE(preview.isNull());
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(errors.isEmpty());
    unchanged("cancel");

    BILAskLayout = nullptr; // no dialog installed acts as a cancel
    EXPECT_TRUE(open(make("tile.bin", {1, 2}, false)).isNull());
    unchanged("no dialog");

    asked.clear();
    open(make("minus.bil", {1, 2}, false, "NCOLS -1\nNROWS 1\n"));
    EXPECT_TRUE(errors.isEmpty());
    unchanged("columns -1");

    const struct
    {
        const char *header;
        const char *message;
    } refusals[] = {
        {"NCOLS 2\n", "Width or Height is not correct."},
        {"NCOLS -2\nNROWS 1\n", "Width or Height is not correct."},
        {"NCOLS\t2\nNROWS x\n", "Width or Height is not correct."},
        {"NCOLS 7201\nNROWS 7200\n", "This file is too big."},
        {"NCOLS 10800\nNROWS 4801\n", "This file is too big."},
        {"NCOLS 2147483647\nNROWS 2147483647\n", "This file is too big."},
        {"NCOLS 65536\nNROWS 65536\n", "This file is too big."},
        {"NCOLS -65536\nNROWS -65536\n", "Width or Height is not correct."},
    };
    for (const auto &r : refusals) {
        errors.clear();
        preview = open(make("refused.bil", {1, 2}, false, QByteArray(r.header)));
        EXPECT_EQ(errors, QStringList{r.message}) << r.header;
        EXPECT_TRUE(preview.isNull());
        unchanged(r.header);
    }
}

TEST_F(LoadTest, TheLargestGridsLoadInEveryShape)
{
    QByteArray bytes(qsizetype(BILCapacity) * 2, '\0');
    qToLittleEndian<uint16_t>(1234, bytes.data() + bytes.size() - 2);
    writeFile(path("full.bil"), bytes);
    bytes.clear();
    for (const char *shape : {"NCOLS 7200\nNROWS 7200\n", "NCOLS 10800\nNROWS 4800\n"}) {
        writeFile(path("full.hdr"), QByteArray(shape) + "BYTEORDER I\n");
        EXPECT_EQ(open(path("full.bil")).sizeInBytes(), qsizetype(BILCapacity) * 4) << shape;
        EXPECT_EQ(BILData[BILCapacity - 1], 1234);
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LoadTest, ASmallGridAfterALargeOneLeavesTheRestAlone)
{
    setGrid(4, 4, std::vector<int16_t>(16, 99));
    open(make("small.bil", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, false,
              "NCOLS 3\nNROWS 3\nBYTEORDER I\n"));
    EXPECT_EQ(BILRaw[8], 9);
    EXPECT_EQ(BILRaw[9], 99); // extra bytes in the file are not read
    EXPECT_EQ(BILData[15], 99);
}

TEST_F(LoadTest, ATruncatedOrMissingSampleFileFailsAndKeepsThePreviousGrid)
{
    open(make("good.bil", {1, 2, 3, 4}, false, "NCOLS 2\nNROWS 2\nBYTEORDER I\nNODATA 3\n"));
    const Layout good = layout();

    const QString shortFile = make("short.bil", {5, 6, 7}, false, "NCOLS 2\nNROWS 2\n");
    try {
        open(shortFile);
        FAIL() << "a short file must fail";
    } catch (const BILError &e) {
        const QString text = e.what();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(shortFile))) << e.what();
        EXPECT_TRUE(text.contains("8 bytes")) << e.what();
        EXPECT_TRUE(text.contains("holds 6")) << e.what();
    }
    EXPECT_EQ(layout(), good);
    EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 4), (std::vector<int16_t>{1, 2, 3, 4}));
    EXPECT_EQ(BILCaption(), "RELIEVA - good.bil");

    writeFile(path("gone.hdr"), "NCOLS 1\nNROWS 1\n");
    EXPECT_THROW(
        {
            try {
                open(path("gone.bil"));
            } catch (const BILError &e) {
                EXPECT_TRUE(QString(e.what()).contains("gone.bil")) << e.what();
                throw;
            }
        },
        BILError);
    EXPECT_EQ(layout(), good);

    // A later save exports what the window still shows.
    ExportBIL(path("after.png"), 0, 0, 0, 2, 2);
    const QImage texture = decode(path("after.-tx.png"));
    ASSERT_EQ(texture.size(), QSize(2, 2));
    EXPECT_EQ(texture.pixel(0, 1), BILColorOf(0)); // the missing 3
    EXPECT_EQ(texture.pixel(1, 1), BILColorOf(4));
}

TEST_F(LoadTest, CaptionNamesTheFileOfTheGridHeld)
{
    EXPECT_EQ(BILCaption(), "RELIEVA");
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/dir"));
    const QString tile = make("sub/dir/tile.bil", {1, 2}, false);
    answer(std::nullopt); // a cancelled open names nothing
    open(tile);
    EXPECT_EQ(BILCaption(), "RELIEVA");
    answer(Layout{false, 2, 1, kLowest});
    open(tile);
    EXPECT_EQ(BILCaption(), "RELIEVA - tile.bil");
    EXPECT_EQ(BILFileName, tile);
}

// Hostile inputs: each fails with a clear message or a clean refusal, never a crash.
TEST_F(LoadTest, MalformedInputsFailCleanly)
{
    BILAskLayout = [] {};
    const struct
    {
        const char *name;
        QByteArray header;
        int sampleBytes;
        const char *message; // shown as a refusal, or else thrown
    } cases[] = {
        {"header promises more rows than the file has", "NCOLS 100\nNROWS 100\n", 19998,
         "is too short"},
        {"odd byte count", "NCOLS 3\nNROWS 1\n", 5, "is too short"},
        {"empty sample file", "NCOLS 1\nNROWS 1\n", 0, "is too short"},
        {"dimensions near 2^31", "NCOLS 2147483647\nNROWS 2\n", 4, "This file is too big."},
        {"product wraps to a small number in 32 bits", "NCOLS 65537\nNROWS 65537\n", 4,
         "This file is too big."},
        {"negative rows", "NCOLS 4\nNROWS -4\n", 4, "Width or Height is not correct."},
        {"binary garbage columns fall back to the defaults",
         QByteArray("NCOLS \x01\xff\x00 7\nNROWS 1\n", 20), 4, "is too short"},
        {"missing rows", "NCOLS 2\nROWS 2\n", 4, "Width or Height is not correct."},
    };
    for (const auto &c : cases) {
        errors.clear();
        writeFile(path("bad.bil"), QByteArray(c.sampleBytes, '\x01'));
        writeFile(path("bad.hdr"), c.header);
        QString failure;
        try {
            EXPECT_TRUE(open(path("bad.bil")).isNull()) << c.name;
        } catch (const BILError &e) {
            failure = e.what();
        }
        if (!errors.isEmpty()) failure = errors.join(' ');
        EXPECT_TRUE(failure.contains(c.message)) << c.name << ": " << failure.toStdString();
    }

    // Random bytes as header and colour table: each round ends in a clean load,
    // a foreseen refusal, a cancel or an error naming the file, never in anything else.
    QRandomGenerator random(testSeed());
    SCOPED_TRACE(testing::Message() << "seed " << testSeed());
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QString table = QDir::toNativeSeparators(path("RELIEVA.txt"));
    const QStringList refusals = {"Width or Height is not correct.", "This file is too big."};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        QByteArray junk(int(random.bounded(200)), Qt::Uninitialized);
        for (char &c : junk)
            c = char(random.bounded(256));
        if (round % 2) junk.prepend(round % 4 == 1 ? "NCOLS " : "NROWS ");
        writeFile(path("bad.hdr"), junk);
        writeFile(path("RELIEVA.txt"), junk);

        LoadColorTable();
        if (BILColorTableProblem.isEmpty())
            EXPECT_TRUE(std::all_of(std::begin(BILColors), std::end(BILColors),
                                    [](TAlphaColor c) { return c >> 24 == 0xFF; }));
        else
            EXPECT_TRUE(BILColorTableProblem.contains(table)) << BILColorTableProblem.toStdString();
        BILColorTableProblem.clear();

        errors.clear();
        QImage preview;
        QString failure;
        try {
            OpenBILFile(path("bad.bil"), preview);
        } catch (const BILError &e) {
            failure = e.what();
        }
        if (!failure.isEmpty()) {
            EXPECT_TRUE(errors.isEmpty());
            EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(path("bad."))))
                << failure.toStdString();
        } else if (!errors.isEmpty()) {
            EXPECT_EQ(errors.size(), 1);
            EXPECT_TRUE(refusals.contains(errors.constFirst())) << errors.join(' ').toStdString();
        } else if (preview.isNull()) {
            EXPECT_EQ(BILWidth, 0) << "only a cancel hands back no preview silently";
        } else {
            EXPECT_EQ(preview.size(), QSize(BILWidth, BILHeight));
        }
    }
    QDir::setCurrent(cwd);
}

// ==================================================================== smoothing

TEST_F(BILTest, SmoothingMatchesTheDirectWindowSum)
{
    QRandomGenerator generator(testSeed());
    QRandomGenerator *random = &generator;
    SCOPED_TRACE(testing::Message() << "seed " << testSeed());
    const QSize shapes[] = {{1, 1}, {1, 7},  {7, 1},  {2, 2},    {3, 3},
                            {5, 4}, {13, 9}, {64, 3}, {37, 150}, {150, 131}};
    for (const QSize shape : shapes) {
        const int n = shape.width() * shape.height();
        for (int variant = 0; variant < 4; ++variant) {
            std::vector<int16_t> grid(size_t(n), 0);
            for (int16_t &s : grid) {
                switch (variant) {
                case 0: // extremes and many ties
                    s = std::array<int16_t, 4>{kLowest, kHighest, 0, 1}[random->bounded(4)];
                    break;
                case 1: // small values: halves happen often
                    s = int16_t(random->bounded(-3, 4));
                    break;
                default:
                    s = int16_t(random->bounded(-32768, 32768));
                }
                if (random->bounded(5) == 0) s = -500; // missing
            }
            const int32_t noData = variant == 3 ? 0 : -500;
            setGrid(shape.width(), shape.height(), grid, noData);
            for (int radius = 0; radius <= 4; ++radius) {
                const auto expected = ReferenceSmooth(radius);
                SmoothBIL(radius);
                ASSERT_EQ(data(n), expected) << shape.width() << 'x' << shape.height()
                                             << " variant " << variant << " radius " << radius;
            }
        }
    }
}

TEST_F(BILTest, WideRadiiMatchTheDirectWindowSumToo)
{
    // Beyond radius 127 the sums no longer fit 32 bits; beyond the grid's side nothing changes.
    std::vector<int16_t> grid(3 * 300);
    for (size_t i = 0; i < grid.size(); ++i)
        grid[i] = i % 7 == 0 ? kLowest : kHighest;
    setGrid(3, 300, grid, 0);
    for (int radius : {128, 200, 299, 5000}) {
        const auto expected = ReferenceSmooth(std::min(radius, 300));
        SmoothBIL(radius);
        ASSERT_EQ(data(900), expected) << "radius " << radius;
    }
}

TEST_F(BILTest, SmoothingCutsWindowsAtTheEdgesAndRoundsHalvesToEven)
{
    setGrid(3, 3, {10, 10, 10, 10, 20, 10, 10, 10, 10});
    SmoothBIL(1);
    EXPECT_EQ(data(9), (std::vector<int16_t>{12, 12, 12, 12, 11, 12, 12, 12, 12}));
    SmoothBIL(4);
    EXPECT_EQ(data(9), std::vector<int16_t>(9, 11));

    setGrid(2, 1, {12, 13});
    SmoothBIL(1);
    EXPECT_EQ(data(2), (std::vector<int16_t>{12, 12})); // 12.5

    setGrid(3, 1, {-32768, -5, -32768}, -32768);
    SmoothBIL(1);
    EXPECT_EQ(data(3), (std::vector<int16_t>{-5, -5, -5})); // holes fill from their neighbours
    setGrid(1, 1, {-32768}, -32768);
    SmoothBIL(3);
    EXPECT_EQ(BILData[0], 0);
}

// ==================================================================== export

class ExportTest : public BILTest
{
protected:
    void SetUp() override
    {
        BILTest::SetUp();
        std::vector<int16_t> grid(size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                grid[size_t(y * w + x)] = int16_t((x * 37 + y * 101) % 700 - 200);
        grid[5] = kLowest;
        setGrid(w, h, grid);
    }
    // The pixels the texture and heightmap of a region must hold.
    void expectImages(const QString &stem, const QString &ext, QRect region)
    {
        const QImage texture = decode(stem + "-tx" + ext);
        const QImage heightmap = decode(stem + "-ht" + ext);
        ASSERT_EQ(texture.size(), region.size()) << stem.toStdString();
        ASSERT_EQ(heightmap.size(), region.size());
        int16_t lo = kHighest, hi = kLowest;
        for (int y = region.top(); y <= region.bottom(); ++y)
            for (int x = region.left(); x <= region.right(); ++x) {
                lo = std::min(lo, BILData[y * w + x]);
                hi = std::max(hi, BILData[y * w + x]);
            }
        for (int y = region.top(); y <= region.bottom(); ++y)
            for (int x = region.left(); x <= region.right(); ++x) {
                const int16_t s = BILData[y * w + x];
                const QPoint p(x - region.left(), y - region.top());
                ASSERT_EQ(texture.pixel(p), BILColorOf(s)) << x << ',' << y;
                const int grey = hi == lo ? 0 : int(std::nearbyint((s - lo) * 255.0 / (hi - lo)));
                ASSERT_EQ(heightmap.pixel(p), MakeColor(grey, grey, grey)) << x << ',' << y;
            }
    }
    const int w = 150, h = 90;
};

TEST_F(ExportTest, WritesTextureAndHeightmapBesideTheChosenName)
{
    for (const char *ext : {".png", ".bmp", ".PNG"}) {
        ExportBIL(path(QString("terrain") + ext), 0, 0, 0, w, h);
        expectImages(path("terrain."), ext, {0, 0, w, h});
        EXPECT_FALSE(QFile::exists(path(QString("terrain") + ext)));
    }
    ExportBIL(path("region.png"), 2, 20, 10, 120, 60);
    expectImages(path("region."), ".png", {20, 10, 100, 50});
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ExportTest, EveryStoredVariantDecodesToTheRenderedPixels)
{
    // Few colours are stored as a palette, many as colours; with or without alpha.
    const struct
    {
        const char *name;
        TAlphaColor (*color)(int h);
    } tables[] = {
        {"few opaque", [](int h) { return MakeColor(h / 100, 0, 200); }},
        {"few with alpha", [](int h) { return TAlphaColor(h > 0 ? 0xFF00FF00 : 0x40102030); }},
        {"many opaque", [](int h) { return 0xFF000000u | uint32_t(h + 32768) * 7; }},
        {"many with alpha", [](int h) { return uint32_t(h + 32768) * 0x01030507u | 0x01000000u; }},
    };
    for (const auto &table : tables) {
        for (int h = -32768; h <= 32767; ++h)
            BILColorOf(int16_t(h)) = table.color(h);
        for (const char *ext : {".png", ".bmp"}) {
            SCOPED_TRACE(std::string(table.name) + ext);
            ExportBIL(path(QString("variant") + ext), 1, 3, 2, w - 1, h - 4);
            expectImages(path("variant."), ext, {3, 2, w - 4, h - 6});
        }
    }
}

TEST_F(ExportTest, SmoothsFromTheFileSamplesEveryTime)
{
    ExportBIL(path("a.png"), 3, 0, 0, w, h);
    EXPECT_EQ(data(w * h), ReferenceSmooth(3));
    ExportBIL(path("b.png"), 2, 0, 0, w, h);
    ExportBIL(path("c.png"), 2, 0, 0, w, h);
    EXPECT_EQ(decode(path("b.-tx.png")), decode(path("c.-tx.png")));
    EXPECT_EQ(decode(path("b.-ht.png")), decode(path("c.-ht.png")));
    ExportBIL(path("d.png"), 0, 0, 0, w, h);
    EXPECT_EQ(data(w * h), ReferenceSmooth(0));
    expectImages(path("d."), ".png", {0, 0, w, h});
}

TEST_F(ExportTest, AFlatRegionGivesABlackHeightmap)
{
    std::fill(BILRaw, BILRaw + w * h, int16_t(37));
    ExportBIL(path("flat.bmp"), 1, 3, 3, 8, 6);
    const QImage heightmap = decode(path("flat.-ht.bmp"));
    ASSERT_EQ(heightmap.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(heightmap.pixel(x, y), 0xFF000000u);
}

TEST_F(ExportTest, AnEmptyColourTableGivesATransparentTexture)
{
    std::fill(std::begin(BILColors), std::end(BILColors), 0u);
    for (const char *ext : {".png", ".bmp"}) {
        ExportBIL(path(QString("clear") + ext), 0, 0, 0, 4, 3);
        const QImage texture = decode(path(QString("clear.-tx") + ext));
        ASSERT_EQ(texture.size(), QSize(4, 3)) << ext;
        EXPECT_EQ(texture.pixel(2, 1), 0x00000000u) << ext;
    }
    // Partly transparent tables keep their alpha too.
    BILColorOf(BILData[0]) = 0x80102030;
    ExportBIL(path("half.bmp"), 0, 0, 0, 1, 1);
    EXPECT_EQ(decode(path("half.-tx.bmp")).pixel(0, 0), 0x80102030u);
}

TEST_F(ExportTest, WritesNothingWithoutAUsableGridOrRegion)
{
    const struct
    {
        int width, height;
        QRect region;
        QStringList shown;
    } cases[] = {
        {0, 0, {0, 0, 1, 1}, {}},
        {-1, 5, {0, 0, 1, 1}, {}},
        {10800, 4801, {0, 0, 1, 1}, {}},
        {w, h, {5, 5, 0, 10}, {"The selected region is empty."}},
        {w, h, {w, h, 0, 0}, {"The selected region is empty."}},
    };
    for (const auto &c : cases) {
        BILWidth = c.width;
        BILHeight = c.height;
        errors.clear();
        ExportBIL(path("none.png"), 1, c.region.left(), c.region.top(),
                  c.region.left() + c.region.width(), c.region.top() + c.region.height());
        EXPECT_EQ(errors, c.shown);
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }
}

TEST_F(ExportTest, FailuresAreReportedAndKeepWhatWasWritten)
{
    // The heightmap's name is taken by a folder: no texture without its heightmap, and the
    // error names the heightmap.
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.-ht.png"));
    try {
        ExportBIL(path("blocked.png"), 0, 0, 0, w, h);
        FAIL() << "writing over a folder must fail";
    } catch (const BILError &e) {
        EXPECT_TRUE(QString(e.what()).contains("blocked.-ht.png")) << e.what();
    }
    EXPECT_FALSE(QFile::exists(path("blocked.-tx.png")));

    // A write cut short (here by a file size limit) leaves the existing file as it was.
    writeFile(path("keep.-tx.bmp"), "precious");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(ExportBIL(path("keep.bmp"), 0, 0, 0, w, h), BILError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QFile kept(path("keep.-tx.bmp"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "precious");
    EXPECT_EQ(QDir(dir.path()).entryList({"keep*"}, QDir::Files), QStringList{"keep.-tx.bmp"});

    EXPECT_THROW(ExportBIL(path("nowhere/out.png"), 0, 0, 0, w, h), BILError);
    for (const char *name : {"terrain.tif", "terrain"})
        EXPECT_THROW(ExportBIL(path(name), 0, 0, 0, w, h), BILError) << name;
    EXPECT_THROW(ExportBIL(path("out.png"), 0, 0, 0, w + 1, h), BILError);
    EXPECT_TRUE(errors.isEmpty());
}

} // namespace

// ==================================================================== messages

// A file name is user text: "%1" or "%%" in it must reach the message as typed.
TEST_F(LoadTest, MessagesNameFilesWithPercentSignsExactly)
{
    for (const QString name : {"tile%1", "tile%2", "tile%%", "a%1b%2%3"}) {
        SCOPED_TRACE(name.toStdString());
        const auto thrown = [](const std::function<void()> &work) {
            try {
                work();
            } catch (const BILError &e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        const auto native = [&](const QString &suffix) {
            return QDir::toNativeSeparators(path(name + suffix));
        };

        const QString shortFile = make(name + ".bil", {1, 2, 3}, false, "NCOLS 2\nNROWS 2\n");
        EXPECT_TRUE(thrown([&] { open(shortFile); }).contains(native(".bil") + "\" is too short"));
        QFile::remove(shortFile);
        EXPECT_TRUE(thrown([&] { open(shortFile); }).contains(native(".bil") + "\": "));

        open(make("good.bil", {1, 2, 3, 4}, false, "NCOLS 2\nNROWS 2\n"));
        EXPECT_TRUE(thrown([&] {
                        ExportBIL(path(name + ".tif"), 0, 0, 0, 2, 2);
                    }).contains(native(".tif")));
        ASSERT_TRUE(QDir(dir.path()).mkdir(name + ".-tx.png"));
        EXPECT_TRUE(thrown([&] {
                        ExportBIL(path(name + ".png"), 0, 0, 0, 2, 2);
                    }).contains(native(".-tx.png")));

        const QString cwd = QDir::currentPath();
        ASSERT_TRUE(QDir(dir.path()).mkpath(name));
        QDir::setCurrent(path(name));
        writeFile(path(name + "/RELIEVA.txt"), "");
        LoadColorTable();
        QDir::setCurrent(cwd);
        EXPECT_TRUE(BILColorTableProblem.contains(native("/RELIEVA.txt")))
            << BILColorTableProblem.toStdString();
        BILColorTableProblem.clear();
        EXPECT_TRUE(errors.isEmpty());
    }
}

TEST_F(ColorTableTest, AnUnusableTableIsSaidOnceWhenAPreviewOrExportFirstUsesIt)
{
    const QString table = QDir::toNativeSeparators(path("RELIEVA.txt"));
    const struct
    {
        const char *name;
        std::optional<QByteArray> text; // none: a folder stands in the file's place
        QString said;
    } cases[] = {
        {"cannot be read", std::nullopt,
         "The colour table \"" + table + "\" cannot be read (%1): textures will be transparent."},
        {"empty", "", "The colour table \"" + table + "\" is empty: textures will be transparent."},
        {"no line of four fields", "height red green blue sea\n\n1 2\n",
         "The colour table \"" + table +
             "\" has no line of a height, red, green and blue: textures will be black."},
        {"a usable table", "0 0 0 255\n", ""},
    };
    writeFile(path("grid.bil"), QByteArray(8, '\0'));
    writeFile(path("grid.hdr"), "NCOLS 2\nNROWS 2\n");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("RELIEVA.txt"));
        QDir(dir.path()).rmdir("RELIEVA.txt");
        if (c.text)
            writeFile(path("RELIEVA.txt"), *c.text);
        else
            ASSERT_TRUE(QDir(dir.path()).mkdir("RELIEVA.txt"));
        LoadColorTable();
        errors.clear();
        QImage preview;
        OpenBILFile(path("grid.bil"), preview);
        ASSERT_EQ(preview.size(), QSize(2, 2));
        if (c.said.isEmpty()) {
            EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
        } else {
            ASSERT_EQ(errors.size(), 1);
            const QString expected = c.said.contains("%1") ? c.said.section("(%1)", 0, 0) : c.said;
            EXPECT_TRUE(errors[0].startsWith(expected)) << errors[0].toStdString();
        }
        // Once is enough: neither a second open nor an export says it again.
        OpenBILFile(path("grid.bil"), preview);
        ExportBIL(path("out.png"), 0, 0, 0, 2, 2);
        EXPECT_EQ(errors.size(), c.said.isEmpty() ? 0 : 1);
    }

    // Read at start-up and first used by an export, it is said there.
    writeFile(path("RELIEVA.txt"), "");
    LoadColorTable();
    errors.clear();
    ExportBIL(path("out.png"), 0, 0, 0, 2, 2);
    EXPECT_EQ(errors.size(), 1);

    // No file at all stays silent, as it always was.
    QFile::remove(path("RELIEVA.txt"));
    const QString installed = BILDefaultColorTable();
    BILDefaultColorTable() = path("nowhere/RELIEVA.txt");
    LoadColorTable();
    BILDefaultColorTable() = installed;
    EXPECT_TRUE(BILColorTableProblem.isEmpty());
}

// Runs work in a process of its own whose address space cannot grow, and
// expects it to throw exactly the message given.
void expectOutOfMemory(const std::function<void()> &work, const QString &message)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto child = [&] {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly)) std::_Exit(3);
        const rlim_t used =
            statm.readAll().split(' ').value(0).toULongLong() * rlim_t(getpagesize());
        rlimit tight{};
        getrlimit(RLIMIT_AS, &tight);
        tight.rlim_cur = used;
        setrlimit(RLIMIT_AS, &tight);
        try {
            work();
        } catch (const BILError &e) {
            std::fprintf(stderr, "%s\n", e.what());
            std::_Exit(QString::fromUtf8(e.what()) == message ? 0 : 1);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "not a BILError: %s\n", e.what());
            std::_Exit(1);
        }
        std::_Exit(2); // no failure at all
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0), "") << message.toStdString();
}

TEST_F(LoadTest, RunningOutOfMemorySaysWhatWasBeingDone)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves address space of its own";
#endif
    // Blocks this large are mapped afresh, never taken from memory the process already has.
    const QString grid =
        make("big%1.bil", std::vector<int16_t>(4000 * 4000, 7), false, "NCOLS 4000\nNROWS 4000\n");
    expectOutOfMemory(
        [&] {
            QImage preview;
            OpenBILFile(grid, preview);
        },
        "Not enough memory to open \"" + QDir::toNativeSeparators(grid) + "\".");

    const QString out = path("out%2.png");
    expectOutOfMemory(
        [&] {
            BILWidth = BILHeight = 7200;
            ExportBIL(out, 0, 0, 0, 7200, 7200);
        },
        "Not enough memory to export \"" + QDir::toNativeSeparators(out) + "\".");
    EXPECT_EQ(QDir(dir.path()).entryList({"out*"}, QDir::Files), QStringList());
}

// ==================================================================== queries

TEST_F(BILTest, HeightAtReadsTheSampleAsReadOrNothing)
{
    constexpr int32_t noData = -9999;
    // 3 x 2, one missing sample, the extremes, and a smoothing that must not show.
    setGrid(3, 2, {5, noData, kHighest, -12, int16_t(kLowest + 1), 0}, noData);
    SmoothBIL(1);
    struct Case
    {
        const char *name;
        int x, y;
        std::optional<int16_t> height;
    };
    const Case cases[] = {
        {"a normal sample", 0, 0, 5},
        {"a missing sample", 1, 0, std::nullopt},
        {"the highest height", 2, 0, kHighest},
        {"a negative height", 0, 1, -12},
        {"the lowest valid height", 1, 1, int16_t(kLowest + 1)},
        {"zero", 2, 1, 0},
        {"left of the grid", -1, 0, std::nullopt},
        {"right of the grid", 3, 0, std::nullopt},
        {"above the grid", 0, -1, std::nullopt},
        {"below the grid", 0, 2, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(BILHeightAt(c.x, c.y), c.height) << c.name;
}

TEST_F(BILTest, MapPositionIsTheCellCentreOfTheGeoreference)
{
    struct Case
    {
        const char *name;
        std::optional<BILGeoReference> geo;
        double column, row;
        std::optional<QPointF> position;
    };
    const BILGeoReference geographic{11.0, 58.0, 0.25, 0.125, true};
    const BILGeoReference projected{500000, 6400000, 30, 30, false};
    const Case cases[] = {
        {"no georeference", std::nullopt, 0, 0, std::nullopt},
        {"the upper-left cell", geographic, 0, 0, QPointF(11.125, 57.9375)},
        {"a cell further in", geographic, 3, 5, QPointF(11.875, 57.3125)},
        {"a projected cell", projected, 2, 1, QPointF(500075, 6399955)},
        {"before the first column", projected, -1, 0, QPointF(499985, 6399985)},
    };
    for (const Case &c : cases) {
        BILGeoRef = c.geo;
        EXPECT_EQ(BILMapPosition(c.column, c.row), c.position) << c.name;
    }
    BILGeoRef.reset();
}
