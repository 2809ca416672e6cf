// The command line: its arguments parsed directly, and the built program run
// as a separate process without any display, its images compared pixel for
// pixel with what the export routine writes in this process.
#include "cli/uCliExport.h"
#include "cli/uCliOptions.h"
#include "elevation/uBILEngines.h"
#include "elevation/uBILExport.h"
#include "elevation/uBILLoad.h"

#include "tests/fileBytes.h"
#include "tests/fullDisk.h"
#include "tests/gdalTools.h"
#include "tests/reference_smooth.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace {

QStringList arguments(std::initializer_list<const char *> list)
{
    QStringList result{QStringLiteral("relieva")};
    for (const char *a : list)
        result << QString::fromUtf8(a);
    return result;
}

// ==================================================================== parsing

TEST(CliParse, OptionsBecomeTheExportsSettings)
{
    const struct
    {
        const char *name;
        QStringList args;
        CliOptions expected;
    } cases[] = {
        {"defaults", arguments({"-o", "out.png", "N57E011.hgt"}),
         [] {
             CliOptions o;
             o.output = "out.png";
             o.inputs = QStringList{"N57E011.hgt"};
             return o;
         }()},
        {"everything, several inputs into a folder",
         arguments({"--export", "tiles", "--type", "png16", "--smooth", "3", "--crop", "1,2,30,40",
                    "--common-range", "--world-file", "--layout", "1201,1201,be,-9999", "--colors",
                    RELIEVA_SOURCE_DIR "/RELIEVA.txt", "-q", "a.bil", "b.bil"}),
         [] {
             CliOptions o;
             o.output = "tiles";
             o.outputIsFolder = true;
             o.inputs = QStringList{"a.bil", "b.bil"};
             o.radius = 3;
             o.crop = CliCrop{1, 2, 30, 40};
             o.exportOptions.heightmapBits = 16;
             o.exportOptions.worldFiles = true;
             o.commonRange = true;
             o.layout = CliLayout{1201, 1201, true, -9999};
             o.colors = RELIEVA_SOURCE_DIR "/RELIEVA.txt";
             o.quiet = true;
             return o;
         }()},
        {"fixed range, type from the name",
         arguments({"--export=t.BMP", "--range=-100,2000", "--layout", "10,20,le,0", "t.raw"}),
         [] {
             CliOptions o;
             o.output = "t.BMP";
             o.extension = ".bmp";
             o.inputs = QStringList{"t.raw"};
             o.exportOptions.range = BILHeightRange{-100, 2000};
             o.layout = CliLayout{10, 20, false, 0};
             return o;
         }()},
        {"type adds the extension", arguments({"-o", "terrain", "--type", "bmp", "t.hgt"}),
         [] {
             CliOptions o;
             o.output = "terrain.bmp";
             o.extension = ".bmp";
             o.inputs = QStringList{"t.hgt"};
             return o;
         }()},
        {"a raw heightmap resampled",
         arguments({"-o", "t", "--type", "r16", "--size", "4033x2017", "--resample", "Bilinear",
                    "t.hgt"}),
         [] {
             CliOptions o;
             o.output = "t.r16";
             o.extension = ".r16";
             o.inputs = QStringList{"t.hgt"};
             o.exportOptions.heightmapBits = 16;
             o.exportOptions.width = 4033;
             o.exportOptions.height = 2017;
             o.exportOptions.resampling = BILResampling::Bilinear;
             return o;
         }()},
        {"an engine's type and sizes", arguments({"-o", "t", "--engine", "Unity", "t.hgt"}),
         [] {
             CliOptions o;
             o.output = "t.r16";
             o.extension = ".r16";
             o.inputs = QStringList{"t.hgt"};
             o.exportOptions.heightmapBits = 16;
             o.engineSizes = {33, 65, 129, 257, 513, 1025, 2049, 4097};
             o.exportOptions.sidecar = true;
             return o;
         }()},
        {"a folder by its slash", arguments({"-o", "tiles/", "t.hgt"}),
         [] {
             CliOptions o;
             o.output = "tiles/";
             o.outputIsFolder = true;
             o.inputs = QStringList{"t.hgt"};
             return o;
         }()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CliCommand command = ParseCommandLine(c.args);
        ASSERT_EQ(command.action, CliCommand::Action::Export) << command.text.toStdString();
        const CliOptions &o = command.options;
        EXPECT_EQ(o.output, c.expected.output);
        EXPECT_EQ(o.outputIsFolder, c.expected.outputIsFolder);
        EXPECT_EQ(o.extension, c.expected.extension);
        EXPECT_EQ(o.inputs, c.expected.inputs);
        EXPECT_EQ(o.radius, c.expected.radius);
        EXPECT_EQ(o.crop, c.expected.crop);
        EXPECT_EQ(o.exportOptions.heightmapBits, c.expected.exportOptions.heightmapBits);
        EXPECT_EQ(o.exportOptions.range, c.expected.exportOptions.range);
        EXPECT_EQ(o.exportOptions.worldFiles, c.expected.exportOptions.worldFiles);
        EXPECT_EQ(o.exportOptions.width, c.expected.exportOptions.width);
        EXPECT_EQ(o.exportOptions.height, c.expected.exportOptions.height);
        EXPECT_EQ(o.exportOptions.resampling, c.expected.exportOptions.resampling);
        EXPECT_EQ(o.commonRange, c.expected.commonRange);
        EXPECT_EQ(o.layout, c.expected.layout);
        EXPECT_EQ(o.colors, c.expected.colors);
        EXPECT_EQ(o.quiet, c.expected.quiet);
        EXPECT_EQ(o.engineSizes, c.expected.engineSizes);
        EXPECT_EQ(o.exportOptions.sidecar, c.expected.exportOptions.sidecar);
    }
}

TEST(CliParse, AnEngineTakesTheSizeNearestToTheRegionsLongerSide)
{
    const std::vector<int> unreal{127, 253, 505, 1009, 2017, 4033, 8129};
    const std::vector<int> unity{33, 65, 129, 257, 513, 1025, 2049, 4097};
    EXPECT_EQ(bil::nearestEngineSize(unreal, 1201), 1009);
    EXPECT_EQ(bil::nearestEngineSize(unity, 1201), 1025);
    EXPECT_EQ(bil::nearestEngineSize(unreal, 3601), 4033);
    EXPECT_EQ(bil::nearestEngineSize(unity, 3073), 4097); // as near to 2049 as to 4097
    EXPECT_EQ(bil::nearestEngineSize(unity, 10), 33);
    EXPECT_EQ(bil::nearestEngineSize(unreal, 20000), 8129);
}

TEST(CliParse, EachInputOfAFolderGetsItsOwnName)
{
    const CliCommand command = ParseCommandLine(
        arguments({"-o", "out", "--type", "bmp", "a/N57E011.hgt", "b/tile.v2.tif"}));
    ASSERT_EQ(command.action, CliCommand::Action::Export) << command.text.toStdString();
    EXPECT_EQ(CliOutputName(command.options, "a/N57E011.hgt"), "out/N57E011.bmp");
    EXPECT_EQ(CliOutputName(command.options, "b/tile.v2.tif"), "out/tile.v2.bmp");
}

TEST(CliParse, UsageErrorsNameWhatIsWrong)
{
    const struct
    {
        QStringList args;
        const char *named;
    } cases[] = {
        {arguments({"--smooth", "2", "a.hgt"}), "--export"},
        {arguments({"-o", "out.jpg", "a.hgt"}), ".png, .bmp, .r16, .exr or .tif"},
        {arguments({"-o", "out.png", "--size", "0", "a.hgt"}), "--size 0"},
        {arguments({"-o", "out.png", "--size", "10x", "a.hgt"}), "--size 10x"},
        {arguments({"-o", "out.png", "--size", "8000x8000", "a.hgt"}), "--size 8000x8000"},
        {arguments({"-o", "out.png", "--size", "4033", "--resample", "lanczos", "a.hgt"}),
         "--resample lanczos"},
        {arguments({"-o", "out.png", "--engine", "cryengine", "a.hgt"}), "--engine cryengine"},
        {arguments({"-o", "out.png", "--engine", "unity", "a.hgt"}),
         "--engine unity does not match --export out.png"},
        {arguments({"-o", "out.png"}), "No input"},
        {arguments({"-o", "out.png", "--smooth", "5", "a.hgt"}), "--smooth 5"},
        {arguments({"-o", "out.png", "--smooth", "two", "a.hgt"}), "--smooth two"},
        {arguments({"-o", "out.png", "--crop", "5,0,5,10", "a.hgt"}), "--crop 5,0,5,10"},
        {arguments({"-o", "out.png", "--crop", "0,0,5", "a.hgt"}), "--crop 0,0,5"},
        {arguments({"-o", "out.png", "--type", "gif", "a.hgt"}), "--type gif"},
        {arguments({"-o", "out.bmp", "--type", "png16", "a.hgt"}), "--type png16"},
        {arguments({"-o", "out.png", "--range", "10,5", "a.hgt"}), "--range 10,5"},
        {arguments({"-o", "out.png", "--range", "0,40000", "a.hgt"}), "--range 0,40000"},
        {arguments({"-o", "out.png", "--range", "0,9", "--common-range", "a.hgt"}),
         "--common-range"},
        {arguments({"-o", "out.png", "--layout", "1201,1201", "a.raw"}), "--layout 1201,1201"},
        {arguments({"-o", "out.png", "--layout", "0,5,le,0", "a.raw"}), "--layout 0,5,le,0"},
        {arguments({"-o", "out.png", "--layout", "4,5,middle,0", "a.raw"}),
         "--layout 4,5,middle,0"},
        {arguments({"-o", "out.png", "--layout", "4,5,be,40000", "a.raw"}),
         "--layout 4,5,be,40000"},
        {arguments({"-o", "out.png", "--colors", "no-such-table.txt", "a.hgt"}),
         "--colors no-such-table.txt"},
        {arguments({"-o", "out.png", "a.hgt", "b.hgt"}), "folder"},
        {arguments({"-o", "out", "x/t.hgt", "y/t.tif"}), "x/t.hgt and y/t.tif"},
        {arguments({"-o", "out.png", "--frobnicate", "a.hgt"}), "frobnicate"},
        {arguments({"-o", "out.png", "--bbox", "12,57,11,58", "a.hgt"}), "--bbox 12,57,11,58"},
        {arguments({"-o", "out.png", "--bbox", "11,57,12", "a.hgt"}), "--bbox 11,57,12"},
        {arguments({"-o", "out.png", "--bbox-lonlat", "a.hgt"}), "--bbox-lonlat needs --bbox"},
        {arguments({"-o", "out.png", "--bbox", "11,57,12,58", "--crop", "0,0,5,5", "a.hgt"}),
         "--crop and --bbox"},
        {arguments({"-o", "tiles/", "--mosaic", "a.hgt", "b.hgt"}), "a mosaic is one image name"},
        {arguments({"-o", "out.png", "--fill-voids=0", "a.hgt"}), "--fill-voids=0"},
        {arguments({"-o", "out.png", "--fill-voids=far", "a.hgt"}), "--fill-voids=far"},
        {arguments({"-o"}), "-o"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliCommand command = ParseCommandLine(c.args);
        EXPECT_EQ(command.action, CliCommand::Action::UsageError);
        EXPECT_TRUE(command.text.contains(QString::fromUtf8(c.named)))
            << command.text.toStdString();
    }
}

TEST(CliParse, OnlyTheCommandLinesOwnOptionsLeaveTheWindow)
{
    const struct
    {
        QStringList args;
        bool commandLine;
    } cases[] = {
        {arguments({}), false},
        {arguments({"N57E011.hgt"}), false},
        {arguments({"-reverse", "-style", "fusion", "N57E011.hgt"}), false},
        {arguments({"--", "--help"}), false},
        {arguments({"-o", "out.png", "N57E011.hgt"}), true},
        {arguments({"--export=out.png", "N57E011.hgt"}), true},
        {arguments({"--smooth", "2", "N57E011.hgt"}), true},
        {arguments({"-h"}), true},
        {arguments({"--version"}), true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WantsCommandLine(c.args), c.commandLine) << c.args.join(' ').toStdString();
}

// ==================================================================== the program

constexpr int kWidth = 29, kHeight = 17;

// Heights that change in both directions, with a few missing samples.
std::vector<int16_t> grid(int base, int noData)
{
    std::vector<int16_t> heights(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            heights[size_t(y) * kWidth + size_t(x)] =
                int16_t((x + y) % 13 == 5 ? noData : base + x * 37 + (x * y * 7919) % 211);
    return heights;
}

QByteArray asciiGrid(const std::vector<int16_t> &heights, int width, int noData)
{
    const int height = int(heights.size()) / width;
    QByteArray text = "ncols " + QByteArray::number(width) + "\nnrows " +
                      QByteArray::number(height) +
                      "\nxllcorner 11\nyllcorner 57\ncellsize 0.01\nNODATA_value " +
                      QByteArray::number(noData) + '\n';
    for (size_t i = 0; i < heights.size(); ++i)
        text += QByteArray::number(heights[i]) + ((i + 1) % size_t(width) ? " " : "\n");
    return text;
}

testing::AssertionResult samePixels(const QString &actual, const QString &expected)
{
    const QImage a(actual), e(expected);
    if (a.isNull() || e.isNull())
        return testing::AssertionFailure()
               << (a.isNull() ? actual : expected).toStdString() << " does not decode";
    if (a.size() != e.size() || a.format() != e.format())
        return testing::AssertionFailure()
               << actual.toStdString() << " is " << a.width() << " x " << a.height() << ", format "
               << a.format() << "; expected " << e.width() << " x " << e.height() << ", format "
               << e.format();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixelColor(x, y) != e.pixelColor(x, y))
                return testing::AssertionFailure()
                       << actual.toStdString() << " differs at " << x << ", " << y;
    return testing::AssertionSuccess();
}

struct ProgramRun
{
    int exitCode = -1;
    QString out, err;
};

class CliProgram : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(RELIEVA_SOURCE_DIR "/RELIEVA.txt"), path("RELIEVA.txt")));
        ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
        ASSERT_TRUE(QDir(dir.path()).mkdir("ref"));
    }
    void TearDown() override { BILAskLayout = nullptr; }

    QString path(const QString &name) const { return dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // A GeoTIFF as GDAL writes it, from an ASCII grid of the heights.
    void geoTiff(const QString &name, const std::vector<int16_t> &heights, int width)
    {
        write(name + ".asc", asciiGrid(heights, width, -9999));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start("gdal_translate", {"-q", "-ot", "Int16", name + ".asc", name + ".tif"});
        ASSERT_TRUE(p.waitForFinished(-1) && p.exitCode() == 0) << p.readAllStandardError().data();
        QFile::remove(path(name + ".asc"));
    }

    // The built program in the fixture folder, with no display of any kind.
    ProgramRun relieva(const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(RELIEVA_EXECUTABLE), args);
        ProgramRun run;
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "relieva did not finish: " << p.readAllStandardError().data();
            return run;
        }
        run.exitCode = p.exitCode();
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

    // What the export routine writes here for the same input and settings.
    void exportHere(const QString &input, const QString &output, int radius,
                    const BILExportOptions &options, std::optional<CliLayout> layout = {})
    {
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        LoadColorTable();
        QDir::setCurrent(before);
        BILAskLayout = [layout] {
            if (!layout) {
                BILWidth = -1; // a cancel
                return;
            }
            BILWidth = layout->width;
            BILHeight = layout->height;
            BILBigEndian = layout->bigEndian;
            BILNoData = layout->noData;
        };
        QImage preview;
        OpenBILFile(path(input), preview);
        ASSERT_FALSE(preview.isNull()) << input.toStdString();
        ASSERT_TRUE(
            ExportBIL(path(output), radius, 0, 0, BILWidth, BILHeight, options).has_value());
    }

    // A little-endian BIL with an ESRI header, rough enough that its images
    // take a while to encode.
    void roughBil(const QString &name, int width, int height)
    {
        QByteArray samples(qsizetype(width) * height * 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < qsizetype(width) * height; ++i)
            qToLittleEndian<int16_t>(int16_t((uint32_t(i) * 2654435761u >> 16) % 3000),
                                     samples.data() + 2 * i);
        write(name + ".bil", samples);
        write(name + ".hdr", QStringLiteral("NCOLS %1\nNROWS %2\nBYTEORDER I\n")
                                 .arg(QString::number(width), QString::number(height))
                                 .toLatin1());
    }

    QStringList files(const QString &folder) const
    {
        return QDir(path(folder)).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
};

TEST_F(CliProgram, HelpVersionAndUsageErrorsNeedNoDisplay)
{
    const struct
    {
        QStringList args;
        int exitCode;
        bool onStdout;
        const char *says;
    } cases[] = {
        {{"--help"}, CliExitSuccess, true, "--common-range"},
        {{"--version"}, CliExitSuccess, true, "relieva " RELIEVA_PROJECT_VERSION},
        {{"-o", "out/x.png", "--smooth", "9", "a.tif"}, CliExitUsage, false, "--smooth 9"},
        {{"-o", "out/x.png", "--nonsense", "a.tif"}, CliExitUsage, false, "nonsense"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramRun run = relieva(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE((c.onStdout ? run.out : run.err).contains(QString::fromUtf8(c.says)))
            << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE((c.onStdout ? run.err : run.out).isEmpty());
    }
    EXPECT_TRUE(files("out").isEmpty());
}

TEST_F(CliProgram, NeighbouringTilesWithACommonRangeAgreeAlongTheirSharedEdge)
{
    // West and east tiles share a column of samples, as adjacent tiles do;
    // the east one stands far higher.
    const std::vector<int16_t> west = grid(0, -9999);
    std::vector<int16_t> east = grid(1500, -9999);
    for (int y = 0; y < kHeight; ++y)
        east[size_t(y) * kWidth] = west[size_t(y) * kWidth + kWidth - 1];
    geoTiff("west", west, kWidth);
    geoTiff("east", east, kWidth);

    const ProgramRun run =
        relieva({"--export", "out", "--common-range", "--type", "png16", "west.tif", "east.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    auto valid = [](int16_t h) { return h != -9999; };
    std::vector<int16_t> all;
    std::copy_if(west.begin(), west.end(), std::back_inserter(all), valid);
    std::copy_if(east.begin(), east.end(), std::back_inserter(all), valid);
    all.push_back(0); // missing samples count as 0
    const BILHeightRange common{*std::min_element(all.begin(), all.end()),
                                *std::max_element(all.begin(), all.end())};
    EXPECT_TRUE(
        run.err.contains(QStringLiteral("Common height range: %1 to %2 m")
                             .arg(QString::number(common.lowest), QString::number(common.highest))))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Exported 2 of 2 inputs.")) << run.err.toStdString();

    const QImage westMap(path("out/west.-ht.png")), eastMap(path("out/east.-ht.png"));
    ASSERT_EQ(westMap.format(), QImage::Format_Grayscale16);
    for (int y = 0; y < kHeight; ++y)
        EXPECT_EQ(westMap.pixelColor(kWidth - 1, y), eastMap.pixelColor(0, y)) << "row " << y;

    BILExportOptions options;
    options.heightmapBits = 16;
    options.range = common;
    for (const char *name : {"west", "east"}) {
        exportHere(QString::fromLatin1(name) + ".tif", QStringLiteral("ref/%1.png").arg(name), 0,
                   options);
        for (const char *image : {".-tx.png", ".-ht.png"})
            EXPECT_TRUE(samePixels(path("out/") + name + image, path("ref/") + name + image));
    }
}

TEST_F(CliProgram, AHeaderlessGridIsReadWithTheGivenLayout)
{
    // Big-endian samples, with the layout's own missing-sample value.
    const std::vector<int16_t> heights = grid(-200, -500);
    QByteArray bytes;
    for (int16_t h : heights) {
        const int16_t big = qToBigEndian(h);
        bytes.append(reinterpret_cast<const char *>(&big), 2);
    }
    write("raw.bil", bytes);

    const QString layout =
        QStringLiteral("%1,%2,be,-500").arg(QString::number(kWidth), QString::number(kHeight));
    const ProgramRun run =
        relieva({"-o", "out/raw.png", "--layout", layout, "--smooth", "2", "raw.bil"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("[1/1] raw.bil -> out/raw.-tx.png, out/raw.-ht.png"))
        << run.err.toStdString();

    exportHere("raw.bil", "ref/raw.png", 2, {}, CliLayout{kWidth, kHeight, true, -500});
    for (const char *image : {"raw.-tx.png", "raw.-ht.png"})
        EXPECT_TRUE(samePixels(path("out/") + image, path("ref/") + image));
}

TEST_F(CliProgram, AFailingInputLeavesNoImageAndTheOthersAreExported)
{
    geoTiff("good1", grid(10, -9999), kWidth);
    geoTiff("good2", grid(900, -9999), kWidth);
    write("broken.tif", QByteArray("II*\0", 4) + QByteArray(40, '\x7f'));
    write("nolayout.bil", QByteArray(kWidth * kHeight * 2, '\0'));

    // The folder is made.
    const ProgramRun run = relieva({"-o", "bmps", "--type", "bmp", "good1.tif", "broken.tif",
                                    "missing.hgt", "nolayout.bil", "good2.tif"});
    EXPECT_EQ(run.exitCode, CliExitSomeFailed) << run.err.toStdString();
    EXPECT_EQ(files("bmps"),
              QStringList({"good1.-ht.bmp", "good1.-tx.bmp", "good2.-ht.bmp", "good2.-tx.bmp"}));
    // A headerless file that the layout dialog's pre-set does not fit is not read with it.
    for (const char *failed :
         {"[2/5] broken.tif: failed: ", "[3/5] missing.hgt: failed: ",
          "[4/5] nolayout.bil: failed: \"nolayout.bil\" has no header, and its 986 bytes are not "
          "the 103680000 that 10800 x 4800 samples need: give its layout with --layout "
          "COLUMNS,ROWS,le|be,NODATA.",
          "Exported 2 of 5 inputs; failed: broken.tif, missing.hgt, nolayout.bil."})
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(failed))) << failed << "\n"
                                                                 << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("no header; read as")) << run.err.toStdString();

    exportHere("good2.tif", "ref/good2.bmp", 0, {});
    for (const char *image : {"good2.-tx.bmp", "good2.-ht.bmp"})
        EXPECT_TRUE(samePixels(path("bmps/") + image, path("ref/") + image));
}

TEST_F(CliProgram, ACropARangeWorldFilesAndAnotherColourTable)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    write("red.txt", "0 255 0 0\n");
    const ProgramRun run = relieva({"-o", "out/tile.png", "--crop", "2,1,7,5", "--range", "-50,900",
                                    "--world-file", "--colors", "red.txt", "-q", "tile.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(files("out"),
              QStringList({"tile.-ht.pgw", "tile.-ht.png", "tile.-tx.pgw", "tile.-tx.png"}));

    LoadColorTable(path("red.txt"));
    BILAskLayout = nullptr;
    QImage preview;
    OpenBILFile(path("tile.tif"), preview);
    BILExportOptions options;
    options.range = BILHeightRange{-50, 900};
    options.worldFiles = true;
    ASSERT_TRUE(ExportBIL(path("ref/tile.png"), 0, 2, 1, 7, 5, options).has_value());
    for (const char *name : {"tile.-tx.png", "tile.-ht.png"})
        EXPECT_TRUE(samePixels(path("out/") + name, path("ref/") + name));
    for (const char *name : {"tile.-tx.pgw", "tile.-ht.pgw"}) {
        QFile ours(path("out/") + name), reference(path("ref/") + name);
        ASSERT_TRUE(ours.open(QIODevice::ReadOnly) && reference.open(QIODevice::ReadOnly));
        EXPECT_EQ(ours.readAll(), reference.readAll()) << name;
    }

    // A crop beyond the grid fails that input, not silently clamped.
    const ProgramRun beyond = relieva({"-o", "out/far.png", "--crop", "0,0,999,5", "tile.tif"});
    EXPECT_EQ(beyond.exitCode, CliExitSomeFailed);
    EXPECT_TRUE(beyond.err.contains("tile.tif: failed")) << beyond.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("out/far.-tx.png")));
}

// A GeoTIFF turned against north has no georeference here: asked for world
// files, the export says why it writes none.
TEST_F(CliProgram, AGridTurnedAgainstNorthIsToldToHaveNoWorldFile)
{
    write("tile.asc", asciiGrid(grid(100, -9999), kWidth, -9999));
    write("turned.vrt",
          QStringLiteral("<VRTDataset rasterXSize=\"%1\" rasterYSize=\"%2\">\n"
                         "  <GeoTransform>10, 0.1, 0.02, 50, 0.01, -0.1</GeoTransform>\n"
                         "  <VRTRasterBand dataType=\"Int16\" band=\"1\"><SimpleSource>\n"
                         "    <SourceFilename relativeToVRT=\"1\">tile.asc</SourceFilename>\n"
                         "  </SimpleSource></VRTRasterBand>\n"
                         "</VRTDataset>\n")
              .arg(kWidth)
              .arg(kHeight)
              .toLatin1());
    runTool({"gdal_translate", "-q", "turned.vrt", "turned.tif"}, dir.path());
    const ProgramRun run = relieva({"-o", "out/t.png", "--world-file", "turned.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("relieva: warning: turned.tif lies turned against north, which "
                                 "no world file here can place; none is written."))
        << run.err.toStdString();
    EXPECT_EQ(files("out"), QStringList({"t.-ht.png", "t.-tx.png"}));
}

TEST_F(CliProgram, AnExportThatDoesNotFitFailsAndKeepsTheEarlierImages)
{
    roughBil("tile", 300, 200);
    FullDisk disk(path("full"));
    ASSERT_EQ(relieva({"-q", "-o", "full/t.png", "tile.bil"}).exitCode, CliExitSuccess);
    const QByteArray texture = readFile(path("full/t.-tx.png"));
    const QByteArray heightmap = readFile(path("full/t.-ht.png"));

    disk.leaveRoom(0);
    const ProgramRun run = relieva({"-o", "full/t.png", "--smooth", "1", "tile.bil"});
    const QString reason = disk.mounted() ? qt_error_string(ENOSPC) : qt_error_string(EFBIG);
    EXPECT_EQ(run.exitCode, CliExitSomeFailed);
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("tile.bil: failed: Cannot write \"full/t.-tx.png\": %1").arg(reason)))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Exported 0 of 1 input; failed: tile.bil."))
        << run.err.toStdString();
    EXPECT_EQ(readFile(path("full/t.-tx.png")), texture);
    EXPECT_EQ(readFile(path("full/t.-ht.png")), heightmap);
    EXPECT_EQ(QDir(path("full")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({"fill", "t.-ht.png", "t.-tx.png"}));
}

// Tiles, a sidecar, world files and a float heightmap: a full disk leaves
// every file of the export before as it was, and no temporary file.
TEST_F(CliProgram, AManyFileExportThatDoesNotFitKeepsEveryEarlierFile)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    FullDisk disk(path("full"));
    // Every file in the folder but the one that fills it, hidden ones too.
    const auto contents = [this] {
        std::map<QString, QByteArray> bytes;
        for (const QString &name : QDir(path("full")).entryList(QDir::Files | QDir::Hidden))
            if (name != "fill") bytes[name] = readFile(path("full/") + name);
        return bytes;
    };
    for (const QStringList &type :
         {QStringList{"full/t.png", "--type", "png16", "--sidecar", "--world-file"},
          QStringList{"full/t.exr", "--engine", "godot"}, QStringList{"full/t.tif"}}) {
        SCOPED_TRACE(type.join(' ').toStdString());
        disk.leaveRoom(1 << 20);
        for (const QString &name : files("full"))
            if (name != "fill") QFile::remove(path("full/") + name);
        const QStringList args = QStringList{"-q", "--tiles", "2x2", "-o"} + type;
        ASSERT_EQ(relieva(args + QStringList{"tile.tif"}).exitCode, CliExitSuccess);
        const std::map<QString, QByteArray> before = contents();
        ASSERT_GE(before.size(), size_t(8)); // 4 tiles of two images, at least

        disk.leaveRoom(0);
        const ProgramRun run = relieva(args + QStringList{"--smooth", "1", "tile.tif"});
        EXPECT_EQ(run.exitCode, CliExitSomeFailed);
        EXPECT_TRUE(run.err.contains("tile.tif: failed: Cannot write \"full/t_x"))
            << run.err.toStdString();
        EXPECT_EQ(contents(), before);
    }
}

// Two programs saving to the same names at once leave the texture and the
// heightmap of one of them, never one of each.
TEST_F(CliProgram, TwoExportsToTheSameNamesLeaveOnePair)
{
    roughBil("wide", 600, 400);
    roughBil("tall", 400, 600);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        QProcess wide, tall;
        for (auto [process, input] : {std::pair{&wide, "wide.bil"}, std::pair{&tall, "tall.bil"}}) {
            process->setWorkingDirectory(dir.path());
            process->start(QStringLiteral(RELIEVA_EXECUTABLE),
                           {"-q", "-o", "out/same.png", QString::fromLatin1(input)});
        }
        for (QProcess *process : {&wide, &tall})
            ASSERT_TRUE(process->waitForFinished(-1) && process->exitCode() == 0)
                << process->readAllStandardError().data();
        EXPECT_EQ(QImage(path("out/same.-tx.png")).size(), QImage(path("out/same.-ht.png")).size());
        EXPECT_EQ(files("out"), QStringList({"same.-ht.png", "same.-tx.png"}));
    }
}

TEST_F(CliProgram, TheOutputsFolderIsMadeForOneInput)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    const ProgramRun run = relieva({"-q", "-o", "new/deeper/tile.png", "tile.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_EQ(files("new/deeper"), QStringList({"tile.-ht.png", "tile.-tx.png"}));
}

// Inputs that are not what they claim, and headers that give no layout, are
// refused at once, each naming the file and the cause; nothing is written.
TEST_F(CliProgram, InputsThatAreNotWhatTheyClaimAreRefused)
{
    const QByteArray samples(kWidth * kHeight * 2, '\0');
    const struct
    {
        const char *name;
        QByteArray header; // beside name as NAME.hdr, when not empty
        const char *message;
    } headers[] = {
        {"decimal.bil", "NCOLS 29.0\nNROWS 17\n",
         "The header \"decimal.hdr\" gives NCOLS 29.0, which cannot be read: a whole number of "
         "columns from 1 to 2147483647 is needed."},
        {"comment.bil", "ncols 29 # columns\nnrows 17\n",
         "The header \"comment.hdr\" gives ncols 29 # columns, which cannot be read"},
        {"range.bil", "NCOLS 29\nNROWS 99999999999\n",
         "The header \"range.hdr\" gives NROWS 99999999999, which cannot be read: a whole number "
         "of rows"},
        {"minus.bil", "NCOLS -1\nNROWS 17\n", "The header \"minus.hdr\" gives NCOLS -1, which"},
        {"bom.bil", "\xEF\xBB\xBFNCOLS 29\nNROWS 17\n",
         "The header \"bom.hdr\" starts with a UTF-8 byte-order mark, which hides its first key"},
        {"norows.bil", "NCOLS 29\n",
         "The header \"norows.hdr\" gives no NROWS: it needs the number of rows."},
    };
    QStringList inputs;
    QStringList expected;
    for (const auto &h : headers) {
        const QString name = QString::fromLatin1(h.name);
        write(name, samples);
        write(name.chopped(4) + ".hdr", h.header);
        inputs << name;
        expected << name + ": failed: " + QString::fromUtf8(h.message);
    }
    write("loop.bil", samples);
    ASSERT_TRUE(QFile::link("loop.hdr", path("loop.hdr")));
    inputs << "loop.bil";
    expected << "loop.bil: failed: The header \"loop.hdr\" cannot be read: " +
                    qt_error_string(ELOOP);

    ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.bil")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bil"));
    write("text.tif", "no tiff");
    write("words.asc", "no grid");
    inputs << "pipe.bil"
           << "folder.bil"
           << "text.tif"
           << "words.asc";
    expected << "pipe.bil: failed: Cannot open \"pipe.bil\": it is not a regular file."
             << "folder.bil: failed: Cannot open \"folder.bil\": it is a folder."
             << "text.tif: failed: Cannot open \"text.tif\": it is named as a TIFF file, but it "
                "is not one."
             << "words.asc: failed: Cannot open \"words.asc\": it is named as an ASCII grid, but "
                "it is not one.";

    // Pictures, as GDAL writes them.
    runTool({"gdal_create", "-q", "-of", "GTiff", "-ot", "Byte", "-bands", "3", "-outsize", "16",
             "16", "-co", "PHOTOMETRIC=RGB", "rgb.tif"},
            dir.path());
    runTool({"gdal_create", "-q", "-of", "GTiff", "-ot", "Byte", "-bands", "3", "-outsize", "16",
             "16", "-co", "PHOTOMETRIC=YCBCR", "-co", "COMPRESS=JPEG", "ycbcr.tif"},
            dir.path());
    runTool({"gdal_create", "-q", "-of", "GTiff", "-ot", "Byte", "-outsize", "8", "8", "-burn", "1",
             "index.tif"},
            dir.path());
    write("palette.vrt", R"(<VRTDataset rasterXSize="8" rasterYSize="8">
  <VRTRasterBand dataType="Byte" band="1"><ColorInterp>Palette</ColorInterp>
    <ColorTable><Entry c1="0" c2="0" c3="0" c4="255"/><Entry c1="255" c2="0" c3="0" c4="255"/></ColorTable>
    <SimpleSource><SourceFilename relativeToVRT="1">index.tif</SourceFilename></SimpleSource>
  </VRTRasterBand></VRTDataset>)");
    runTool({"gdal_translate", "-q", "palette.vrt", "palette.tif"}, dir.path());
    for (const auto &[name, colours] :
         {std::pair{"rgb.tif", "RGB colours"}, std::pair{"ycbcr.tif", "YCbCr colours"},
          std::pair{"palette.tif", "palette colours"}}) {
        inputs << QString::fromLatin1(name);
        expected << QStringLiteral("%1: failed: Cannot read the TIFF file \"%1\": it holds a "
                                   "picture in %2, not heights.")
                        .arg(QString::fromLatin1(name), QString::fromLatin1(colours));
    }

    const ProgramRun run = relieva(QStringList{"-o", "out/"} + inputs);
    EXPECT_EQ(run.exitCode, CliExitSomeFailed);
    for (const QString &line : expected)
        EXPECT_TRUE(run.err.contains(line)) << line.toStdString() << "\n" << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("no header; read as")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Exported 0 of %1 inputs").arg(inputs.size())));
    EXPECT_TRUE(files("out").isEmpty());
}

// A headerless file is read with the layout dialog's pre-set only when that
// fits its size exactly, as an SRTM tile sized by its length does.
TEST_F(CliProgram, AHeaderlessTileThatThePresetFitsIsRead)
{
    write("N57E011.hgt", QByteArray(2 * 3 * 3, '\1'));
    const ProgramRun run = relieva({"-o", "out/", "N57E011.hgt"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("N57E011.hgt: no header; read as 3 x 3, be, missing -32768"))
        << run.err.toStdString();
    EXPECT_EQ(QImage(path("out/N57E011.-ht.png")).size(), QSize(3, 3));
}

// Beyond the window's 51,840,000 samples the command line still reads a
// grid, in the memory it needs, and its far corner is where it should be.
TEST_F(CliProgram, AGridBeyondTheWindowsCapacityIsExported)
{
    constexpr int width = 7200, height = 7201;
    static_assert(int64_t(width) * height > BILCapacity);
    QByteArray samples(qsizetype(width) * height * 2, Qt::Uninitialized);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            qToLittleEndian<int16_t>(int16_t((x + y) % 3000),
                                     samples.data() + 2 * (qsizetype(y) * width + x));
    write("big.raw", samples);
    samples.clear();

    const ProgramRun run = relieva({"-o", "out/big.png", "--layout", "7200,7201,le,-32768",
                                    "--crop", "7190,7191,7200,7201", "big.raw"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    // x + y runs from 14381 to 14399 there.
    EXPECT_TRUE(run.err.contains("(heights 2381 to 2399 m")) << run.err.toStdString();
    const QImage heightmap(path("out/big.-ht.png"));
    ASSERT_EQ(heightmap.size(), QSize(10, 10));
    EXPECT_EQ(qGray(heightmap.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(heightmap.pixel(9, 9)), 255);
}

// A grid whose memory cannot be had is refused by its size, before a sample
// is read: this file holds none of them.
TEST_F(CliProgram, AGridLargerThanMemoryIsRefusedBeforeReading)
{
    write("huge.raw", QByteArray(16, '\0'));
    const ProgramRun run =
        relieva({"-o", "out/huge.png", "--layout", "1000000,1000000,le,0", "huge.raw"});
    EXPECT_EQ(run.exitCode, CliExitSomeFailed);
    EXPECT_TRUE(run.err.contains("huge.raw: failed: This grid of 1000000 x 1000000 samples needs "
                                 "1862.6 GB of memory, more than can be had."))
        << run.err.toStdString();
    EXPECT_TRUE(files("out").isEmpty());
}

// A raw heightmap holds the levels a 16-bit PNG would, resampled to the size
// asked for; its texture is a PNG of the same size beside it.
TEST_F(CliProgram, ARawHeightmapHoldsThePngsLevelsAtTheSizeAskedFor)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    const ProgramRun raw =
        relieva({"-o", "out/raw.r16", "--size", "40x23", "--smooth", "1", "tile.tif"});
    ASSERT_EQ(raw.exitCode, CliExitSuccess) << raw.err.toStdString();
    EXPECT_TRUE(raw.err.contains("tile.tif -> out/raw.-tx.png, out/raw.-ht.r16"))
        << raw.err.toStdString();
    const ProgramRun png = relieva(
        {"-o", "out/png.png", "--type", "png16", "--size", "40x23", "--smooth", "1", "tile.tif"});
    ASSERT_EQ(png.exitCode, CliExitSuccess) << png.err.toStdString();

    EXPECT_EQ(QImage(path("out/raw.-tx.png")).size(), QSize(40, 23));
    const QImage levels(path("out/png.-ht.png"));
    ASSERT_EQ(levels.size(), QSize(40, 23));
    ASSERT_EQ(levels.format(), QImage::Format_Grayscale16);
    const QByteArray bytes = readFile(path("out/raw.-ht.r16"));
    ASSERT_EQ(bytes.size(), 40 * 23 * 2);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(qFromLittleEndian<uint16_t>(bytes.constData() + 2 * (y * 40 + x)),
                      reinterpret_cast<const uint16_t *>(levels.constScanLine(y))[x])
                << x << ", " << y;
}

// An EXR holds the smoothed heights in metres as OpenEXR's own reader gives
// them back: unrounded, NaN where a window has no valid sample.
TEST_F(CliProgram, AnExrHoldsTheSmoothedHeightsInMetres)
{
    const std::vector<int16_t> heights = grid(100, -9999);
    geoTiff("tile", heights, kWidth);
    const ProgramRun run = relieva({"-o", "out/t.exr", "--smooth", "1", "tile.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("tile.tif -> out/t.-tx.png, out/t.-ht.exr"))
        << run.err.toStdString();
    EXPECT_EQ(QImage(path("out/t.-tx.png")).size(), QSize(kWidth, kHeight));

    Imf::InputFile file(QFile::encodeName(path("out/t.-ht.exr")).constData());
    const Imath::Box2i box = file.header().dataWindow();
    ASSERT_EQ(box.max.x - box.min.x + 1, kWidth);
    ASSERT_EQ(box.max.y - box.min.y + 1, kHeight);
    ASSERT_NE(file.header().channels().findChannel("Y"), nullptr);
    std::vector<float> metres(size_t(kWidth) * kHeight);
    Imf::FrameBuffer frame;
    frame.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(metres.data()), sizeof(float),
                                 sizeof(float) * kWidth));
    file.setFrameBuffer(frame);
    file.readPixels(box.min.y, box.max.y);

    std::vector<double> read(heights.begin(), heights.end());
    for (double &h : read)
        if (h == -9999) h = std::nan("");
    const std::vector<double> expected = ReferenceMeans(read, kWidth, kHeight, 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(metres[i])) << i;
        else
            EXPECT_NEAR(metres[i], expected[i], 1e-3) << i;
    }
}

TEST_F(CliProgram, AnEngineGetsItsTypeAtTheSizeItTakes)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    const ProgramRun unreal = relieva({"-o", "out/u", "--engine", "unreal", "tile.tif"});
    ASSERT_EQ(unreal.exitCode, CliExitSuccess) << unreal.err.toStdString();
    const QImage heightmap(path("out/u.-ht.png"));
    EXPECT_EQ(heightmap.size(), QSize(127, 127));
    EXPECT_EQ(heightmap.format(), QImage::Format_Grayscale16);

    const ProgramRun unity = relieva({"-o", "out/v", "--engine", "unity", "tile.tif"});
    ASSERT_EQ(unity.exitCode, CliExitSuccess) << unity.err.toStdString();
    EXPECT_EQ(readFile(path("out/v.-ht.r16")).size(), 33 * 33 * 2);
    EXPECT_EQ(QImage(path("out/v.-tx.png")).size(), QSize(33, 33));

    // The numbers to type, from the heightmap's own size, spacing and range.
    const QJsonObject json = QJsonDocument::fromJson(readFile(path("out/u.-ht.json"))).object();
    ASSERT_FALSE(json.isEmpty());
    EXPECT_EQ(json[u"size"].toArray(), (QJsonArray{127, 127}));
    const double low = json[u"height_range_m"][0].toDouble(),
                 high = json[u"height_range_m"][1].toDouble();
    EXPECT_TRUE(unreal.err.contains(
        QStringLiteral("(heights %1 to %2 m").arg(BILHeightText(low), BILHeightText(high))))
        << unreal.err.toStdString();
    const double dx = json[u"spacing"][0].toDouble(), dy = json[u"spacing"][1].toDouble();
    // The tile has no coordinate system: its own units, spread over 127 samples.
    EXPECT_EQ(json[u"spacing_units"].toString(), "map units");
    EXPECT_DOUBLE_EQ(dx, 0.01 * kWidth / 127);
    EXPECT_DOUBLE_EQ(dy, 0.01 * kHeight / 127);
    const QJsonObject ue = json[u"unreal"].toObject();
    EXPECT_DOUBLE_EQ(ue[u"x_scale"].toDouble(), dx * 100);
    EXPECT_DOUBLE_EQ(ue[u"z_scale"].toDouble(), (high - low) * 100 * 128 / 65535);
    EXPECT_DOUBLE_EQ(ue[u"z_location"].toDouble(),
                     low * 100 + 32768 * ue[u"z_scale"].toDouble() / 128);
    const QJsonObject unityNumbers = json[u"unity"].toObject();
    EXPECT_DOUBLE_EQ(unityNumbers[u"width"].toDouble(), 126 * dx);
    EXPECT_DOUBLE_EQ(unityNumbers[u"height"].toDouble(), high - low);
    EXPECT_DOUBLE_EQ(unityNumbers[u"y_position"].toDouble(), low);
}

// --utm reprojects only what says where it lies, and leaves map coordinates be.
TEST_F(CliProgram, UtmNeedsAGridThatSaysWhereItLies)
{
    geoTiff("mapped", grid(100, -9999), kWidth); // a georeference without a coordinate system
    const ProgramRun mapped = relieva({"-o", "out/m.png", "--utm", "mapped.tif"});
    ASSERT_EQ(mapped.exitCode, CliExitSuccess) << mapped.err.toStdString();
    EXPECT_TRUE(mapped.err.contains("warning: The grid is in map coordinates already"))
        << mapped.err.toStdString();
    EXPECT_EQ(QImage(path("out/m.-ht.png")).size(), QSize(kWidth, kHeight));

    write("raw.bin", QByteArray(2 * 4 * 3, '\1'));
    const ProgramRun raw =
        relieva({"-o", "out/r.png", "--utm", "--layout", "4,3,le,-32768", "raw.bin"});
    EXPECT_EQ(raw.exitCode, CliExitSomeFailed);
    EXPECT_TRUE(raw.err.contains("in UTM: the grid does not say where it lies."))
        << raw.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("out/r.-ht.png")));
}

// Tiles cut from a grid by GDAL export, joined, as that grid does; a box in
// the grid's coordinates, or in degrees on a projected grid, crops the cells
// whose centres lie in it.
TEST_F(CliProgram, AMosaicAndBoxesByCoordinates)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    for (const auto &[name, x0] : {std::pair{"left.tif", 0}, std::pair{"right.tif", 14}})
        runTool({"gdal_translate", "-q", "-srcwin", QString::number(x0), "0", "15",
                 QString::number(kHeight), "tile.tif", name},
                dir.path());
    const ProgramRun joined =
        relieva({"-o", "out/m.png", "--mosaic", "--smooth", "2", "right.tif", "left.tif"});
    ASSERT_EQ(joined.exitCode, CliExitSuccess) << joined.err.toStdString();
    EXPECT_TRUE(joined.err.contains("right.tif + 1 -> out/m.-tx.png")) << joined.err.toStdString();
    ASSERT_EQ(relieva({"-q", "-o", "ref/w.png", "--smooth", "2", "tile.tif"}).exitCode, 0);
    for (const char *image : {".-tx.png", ".-ht.png"})
        EXPECT_TRUE(samePixels(path("out/m") + image, path("ref/w") + image));

    // Cell centres lie at 11.005 + 0.01 i east and 57.165 - 0.01 j north.
    ASSERT_EQ(
        relieva({"-q", "-o", "out/b.png", "--bbox", "11.027,57.087,11.103,57.143", "tile.tif"})
            .exitCode,
        0);
    ASSERT_EQ(relieva({"-q", "-o", "ref/b.png", "--crop", "3,3,10,8", "tile.tif"}).exitCode, 0);
    for (const char *image : {".-tx.png", ".-ht.png"})
        EXPECT_TRUE(samePixels(path("out/b") + image, path("ref/b") + image));
    const ProgramRun outside = relieva({"-o", "out/x.png", "--bbox", "20,20,21,21", "tile.tif"});
    EXPECT_EQ(outside.exitCode, CliExitUsage);
    EXPECT_TRUE(outside.err.contains("--bbox 20,20,21,21 holds no cell centre of the grid."))
        << outside.err.toStdString();

    // The same cells placed in UTM zone 33 in 100 m cells; the box in degrees
    // is the one GDAL gives for a rectangle of metres.
    runTool({"gdal_translate", "-q", "-a_srs", "EPSG:32633", "-a_ullr", "500000", "6300000",
             "502900", "6298300", "tile.tif", "utm.tif"},
            dir.path());
    const auto transformed = [this](const QByteArray &points, const QString &from,
                                    const QString &to) {
        std::vector<std::pair<double, double>> out;
        for (const QByteArray &line :
             runTool({"gdaltransform", "-s_srs", from, "-t_srs", to, "-output_xy"}, dir.path(),
                     points)
                 .trimmed()
                 .split('\n')) {
            const QList<QByteArray> xy = line.simplified().split(' ');
            out.emplace_back(xy[0].toDouble(), xy[1].toDouble());
        }
        return out;
    };
    const auto corners = transformed("500720 6298730\n502130 6298730\n500720 6299570\n"
                                     "502130 6299570\n",
                                     "EPSG:32633", "EPSG:4326");
    double west = 180, south = 90, east = -180, north = -90;
    for (const auto &[lon, lat] : corners) {
        west = std::min(west, lon), east = std::max(east, lon);
        south = std::min(south, lat), north = std::max(north, lat);
    }
    const auto box = [](double a, double b, double c, double d) {
        return QStringLiteral("%1,%2,%3,%4")
            .arg(a, 0, 'f', 9)
            .arg(b, 0, 'f', 9)
            .arg(c, 0, 'f', 9)
            .arg(d, 0, 'f', 9);
    };
    const auto back = transformed(QStringLiteral("%1 %2\n%3 %2\n%1 %4\n%3 %4\n")
                                      .arg(west, 0, 'f', 9)
                                      .arg(south, 0, 'f', 9)
                                      .arg(east, 0, 'f', 9)
                                      .arg(north, 0, 'f', 9)
                                      .toLatin1(),
                                  "EPSG:4326", "EPSG:32633");
    double e0 = 1e9, n0 = 1e9, e1 = -1e9, n1 = -1e9;
    for (const auto &[e, n] : back) {
        e0 = std::min(e0, e), e1 = std::max(e1, e);
        n0 = std::min(n0, n), n1 = std::max(n1, n);
    }
    // Cells whose centres lie in the box: centre of column i at 500050 + 100 i.
    const int x0 = int(std::ceil((e0 - 500000) / 100 - 0.5)),
              x1 = int(std::floor((e1 - 500000) / 100 - 0.5)) + 1,
              y0 = int(std::ceil((6300000 - n1) / 100 - 0.5)),
              y1 = int(std::floor((6300000 - n0) / 100 - 0.5)) + 1;
    ASSERT_LT(x0, x1);
    ASSERT_LT(y0, y1);
    const ProgramRun lonLat = relieva({"-q", "-o", "out/ll.png", "--bbox",
                                       box(west, south, east, north), "--bbox-lonlat", "utm.tif"});
    ASSERT_EQ(lonLat.exitCode, 0) << lonLat.err.toStdString();
    ASSERT_EQ(relieva({"-q", "-o", "ref/ll.png", "--crop",
                       QStringLiteral("%1,%2,%3,%4").arg(x0).arg(y0).arg(x1).arg(y1), "utm.tif"})
                  .exitCode,
              0);
    for (const char *image : {".-tx.png", ".-ht.png"})
        EXPECT_TRUE(samePixels(path("out/ll") + image, path("ref/ll") + image));
}

// Voids filled before the export as far as the distance asked for: the
// default reaches a hole's middle, a distance of 1 only its rim.
TEST_F(CliProgram, VoidsAreFilledAsFarAsAsked)
{
    std::vector<int16_t> heights = grid(100, 100); // no sample missing
    for (int y = 5; y < 12; ++y)
        for (int x = 10; x < 17; ++x)
            heights[size_t(y) * kWidth + size_t(x)] = -9999;
    geoTiff("holed", heights, kWidth);
    for (const auto &[option, middleFilled] :
         {std::pair{"--fill-voids", true}, std::pair{"--fill-voids=1", false}}) {
        SCOPED_TRACE(option);
        const ProgramRun run = relieva({"-q", "-o", "out/f.tif", option, "holed.tif"});
        ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
        const std::optional<bil::Grid> filled = bil::loadGrid(path("out/f.-ht.tif"), {});
        ASSERT_TRUE(filled);
        const float *h = filled->view().real;
        EXPECT_FALSE(std::isnan(h[5 * kWidth + 10])); // the rim
        EXPECT_EQ(!std::isnan(h[8 * kWidth + 13]), middleFilled);
        EXPECT_EQ(h[0], 100); // valid cells as they were
    }
}

// A float GeoTIFF that GDAL reads back as the smoothed heights of the crop,
// placed where the crop lies, missing samples its nodata.
TEST_F(CliProgram, AFloatGeoTiffIsReadBackByGdal)
{
    const std::vector<int16_t> heights = grid(100, -9999);
    write("tile.asc", asciiGrid(heights, kWidth, -9999));
    runTool({"gdal_translate", "-q", "-a_srs", "EPSG:4326", "-ot", "Int16", "tile.asc", "tile.tif"},
            dir.path());
    const ProgramRun run =
        relieva({"-o", "out/t.tif", "--smooth", "1", "--crop", "3,2,25,15", "tile.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("tile.tif -> out/t.-tx.png, out/t.-ht.tif"))
        << run.err.toStdString();

    const GdalInfo info = gdalInfo(path("out/t.-ht.tif"));
    EXPECT_EQ(info.type, "Float32");
    EXPECT_EQ(QSize(info.width, info.height), QSize(22, 13));
    EXPECT_TRUE(info.geographic);
    ASSERT_TRUE(info.noData && std::isnan(*info.noData));
    ASSERT_TRUE(info.geoTransform);
    // The tile's corner is 11 east, 57 + 17 cells of 0.01 north.
    EXPECT_NEAR((*info.geoTransform)[0], 11 + 3 * 0.01, 1e-9);
    EXPECT_NEAR((*info.geoTransform)[3], 57 + (kHeight - 2) * 0.01, 1e-9);
    EXPECT_NEAR((*info.geoTransform)[1], 0.01, 1e-12);
    EXPECT_NEAR((*info.geoTransform)[5], -0.01, 1e-12);

    // GDAL's own reading of the samples, as text.
    runTool({"gdal_translate", "-q", "-of", "AAIGrid", "out/t.-ht.tif", "out/read.asc"},
            dir.path());
    QList<QByteArray> words = readFile(path("out/read.asc")).simplified().split(' ');
    const qsizetype first = words.size() - 22 * 13;
    std::vector<double> read(heights.begin(), heights.end());
    for (double &h : read)
        if (h == -9999) h = std::nan("");
    const std::vector<double> means = ReferenceMeans(read, kWidth, kHeight, 1);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 22; ++x) {
            const double expected = means[size_t(y + 2) * kWidth + size_t(x + 3)];
            const QByteArray word = words[first + y * 22 + x];
            if (std::isnan(expected))
                EXPECT_EQ(word.toLower(), "nan") << x << ", " << y;
            else
                EXPECT_NEAR(word.toDouble(), expected, 1e-3) << x << ", " << y;
        }
}

// Tiles share their edge row and column and one height range, so that
// neighbours meet without a seam; sizes that do not divide are named.
TEST_F(CliProgram, TilesShareTheirEdges)
{
    geoTiff("tile", grid(100, -9999), kWidth);
    const ProgramRun run =
        relieva({"-o", "out/t.png", "--type", "png16", "--tiles", "2x2", "tile.tif"});
    ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("in 2 x 2 tiles")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("out/t.-ht.png")));
    const auto image = [&](int c, int r, const char *kind) {
        return QImage(path(QStringLiteral("out/t_x%1_y%2.%3.png").arg(c).arg(r).arg(kind)));
    };
    // 29 x 17 samples in 15 x 9 tiles.
    for (const char *kind : {"-ht", "-tx"}) {
        SCOPED_TRACE(kind);
        const QImage left = image(0, 0, kind), right = image(1, 0, kind), below = image(0, 1, kind);
        ASSERT_EQ(left.size(), QSize(15, 9));
        for (int y = 0; y < 9; ++y)
            EXPECT_EQ(left.pixelColor(14, y), right.pixelColor(0, y)) << y;
        for (int x = 0; x < 15; ++x)
            EXPECT_EQ(left.pixelColor(x, 8), below.pixelColor(x, 0)) << x;
    }
    // One range for all: white only where the highest height lies, in the east.
    const auto brightest = [&](int c, int r) {
        const QImage h = image(c, r, "-ht");
        int most = 0;
        for (int y = 0; y < h.height(); ++y)
            for (int x = 0; x < h.width(); ++x)
                most =
                    std::max<int>(most, reinterpret_cast<const uint16_t *>(h.constScanLine(y))[x]);
        return most;
    };
    EXPECT_EQ(std::max(brightest(1, 0), brightest(1, 1)), 65535);
    EXPECT_LT(std::max(brightest(0, 0), brightest(0, 1)), 65535);

    const ProgramRun odd = relieva({"-o", "out/odd.png", "--tiles", "3x2", "tile.tif"});
    EXPECT_EQ(odd.exitCode, CliExitSomeFailed);
    EXPECT_TRUE(odd.err.contains("29 x 17 samples less one do not divide into them; 28 or 31 "
                                 "columns and 17 or 19 rows would."))
        << odd.err.toStdString();
    EXPECT_TRUE(QDir(path("out")).entryList({"odd*"}).isEmpty());
}

} // namespace

// A crop reads only the rows, or the compressed blocks, that it and its
// smoothing margin touch: it exports what the crop of the whole grid gives,
// from tiled and striped GeoTIFFs and big-endian samples alike.
TEST_F(CliProgram, ACropReadsOnlyWhatItTouchesAndExportsAsTheWholeGridDoes)
{
    constexpr int width = 301, height = 203;
    roughBil("rough", width, height);
    runTool({"gdal_translate", "-q", "-co", "TILED=YES", "-co", "BLOCKXSIZE=32", "-co",
             "BLOCKYSIZE=32", "-co", "COMPRESS=DEFLATE", "rough.bil", "tiled.tif"},
            dir.path());
    runTool({"gdal_translate", "-q", "-co", "BLOCKYSIZE=5", "-co", "COMPRESS=DEFLATE", "rough.bil",
             "strips.tif"},
            dir.path());
    QFile little(path("rough.bil"));
    ASSERT_TRUE(little.open(QIODevice::ReadOnly));
    QByteArray samples = little.readAll();
    qToBigEndian<int16_t>(samples.constData(), samples.size() / 2, samples.data());
    write("swapped.be", samples); // no header beside it
    // The crop of the grid read whole, exported here.
    const std::optional<bil::Grid> whole = bil::loadGrid(path("rough.bil"), {});
    ASSERT_TRUE(whole);
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    LoadColorTable();
    QDir::setCurrent(before);

    const QStringList inputs[] = {
        {"tiled.tif"},
        {"strips.tif"},
        {"rough.bil"},
        {"--layout", QStringLiteral("%1,%2,be,-32768").arg(width).arg(height), "swapped.be"}};
    for (const bil::CellRegion &crop :
         {bil::CellRegion{0, 0, 40, 30}, bil::CellRegion{137, 61, 201, 150},
          bil::CellRegion{250, 180, width, height}}) {
        const QString corners =
            QStringLiteral("%1,%2,%3,%4").arg(crop.x0).arg(crop.y0).arg(crop.x1).arg(crop.y1);
        SCOPED_TRACE(corners.toStdString());
        bil::exportRegion(whole->view(), whole->geo, path("ref/c.png"), 3, crop, {}, {});
        for (const QStringList &input : inputs) {
            SCOPED_TRACE(input.last().toStdString());
            const ProgramRun run = relieva(
                QStringList{"-q", "--smooth", "3", "--crop", corners, "-o", "out/c.png"} + input);
            ASSERT_EQ(run.exitCode, CliExitSuccess) << run.err.toStdString();
            for (const char *image : {".-tx.png", ".-ht.png"})
                EXPECT_TRUE(samePixels(path("out/c") + image, path("ref/c") + image));
        }
    }
}

namespace {

// On a terminal the command line shows how far each input has got, on one
// line drawn again in place; not with -q, and never into a pipe or a file.
TEST(CliProgress, OnlyATerminalSeesHowFarTheWorkHasGot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    runTool({"gdal_create", "-q", "-of", "EHdr", "-ot", "Int16", "-outsize", "200", "300", "-burn",
             "5", "grid.bil"},
            dir.path());
    const QString relieva = QStringLiteral(RELIEVA_EXECUTABLE);
    const auto onTerminal = [&](const QString &options) {
        // script gives the program a terminal of its own and copies what it shows.
        return QString::fromUtf8(runTool(
            {"script", "-qec", relieva + " --export out.png " + options + " grid.bil", "/dev/null"},
            dir.path()));
    };
    const QString shown = onTerminal({});
    EXPECT_TRUE(shown.contains("\rReading grid.bil… 100 %\x1b[K")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("\rWriting out.-tx.png… 50 %\x1b[K")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("\rWriting out.-ht.png… 100 %\x1b[K\r\x1b[K[1/1] grid.bil -> "))
        << shown.toStdString();
    EXPECT_FALSE(onTerminal("-q").contains("Reading"));

    QProcess piped;
    piped.setWorkingDirectory(dir.path());
    piped.start(relieva, {"--export", "out.png", "grid.bil"});
    ASSERT_TRUE(piped.waitForFinished(-1));
    const QByteArray log = piped.readAllStandardError();
    EXPECT_TRUE(log.contains("[1/1] grid.bil -> ")) << log.toStdString();
    EXPECT_FALSE(log.contains('\r')) << log.toStdString();
}

} // namespace
