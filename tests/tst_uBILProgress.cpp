// Reading and writing tell how far they have got, band by band, and a stop
// asked for ends them with nothing changed.

#include "elevation/uBILExport.h"
#include "elevation/uBILLoad.h"
#include "elevation/uBILProgress.h"

#include "tests/fileBytes.h"
#include "tests/gdalTools.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

struct Report
{
    bil::Doing doing;
    QString file;
    double done;
};

// Records every report; says stop at report number stopAt (from 0), if given.
bil::Progress recording(std::vector<Report> &reports, int stopAt = -1)
{
    return [&reports, stopAt](bil::Doing doing, const QString &file, double done) {
        reports.push_back({doing, file, done});
        return int(reports.size()) - 1 != stopAt;
    };
}

void expectRising(const std::vector<Report> &reports, const char *what)
{
    ASSERT_FALSE(reports.empty()) << what;
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].done, reports[i - 1].done) << what;
    EXPECT_DOUBLE_EQ(reports.back().done, 1.0) << what;
}

// Grids of 300 x 2000 cells in degrees written by GDAL in each kind the readers take.
class ProgressTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        runTool({"gdal_create", "-q", "-of", "GTiff", "-ot", "Int16", "-outsize", "300", "2000",
                 "-burn", "120", "-a_srs", "EPSG:4326", "-a_ullr", "11", "58", "11.3", "56",
                 "plain.tif"},
                dir.path());
        const std::pair<const char *, QStringList> kinds[] = {
            {"grid.bil", {"-of", "EHdr"}},
            {"tiled.tif", {"-co", "TILED=YES", "-co", "BLOCKXSIZE=64", "-co", "BLOCKYSIZE=64"}},
            {"grid.asc", {"-of", "AAIGrid"}},
            {"real.flt", {"-of", "EHdr", "-ot", "Float32"}},
        };
        for (const auto &[name, options] : kinds)
            runTool(QStringList{"gdal_translate", "-q"} + options +
                        QStringList{"plain.tif", QString::fromLatin1(name)},
                    dir.path());
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

TEST_F(ProgressTest, ReadingTellsEachFileAndStopsWhenAsked)
{
    for (const char *name : {"grid.bil", "tiled.tif", "grid.asc", "real.flt"}) {
        std::vector<Report> reports;
        bil::LoadCallbacks callbacks;
        callbacks.progress = recording(reports);
        const std::optional<bil::Grid> grid = bil::loadGrid(path(name), callbacks);
        ASSERT_TRUE(grid) << name;
        EXPECT_EQ(grid->width(), 300) << name;
        expectRising(reports, name);
        for (const Report &r : reports) {
            EXPECT_EQ(r.doing, bil::Doing::Reading) << name;
            EXPECT_EQ(r.file, path(name)) << name;
        }

        reports.clear();
        callbacks.progress = recording(reports, 0);
        EXPECT_THROW(bil::loadGrid(path(name), callbacks), bil::Cancelled) << name;
        EXPECT_EQ(reports.size(), 1u) << name; // the other threads stop too, unheard
    }
}

TEST_F(ProgressTest, AMosaicTellsEachTileItReads)
{
    runTool({"gdal_translate", "-q", "-srcwin", "0", "0", "150", "2000", "plain.tif", "west.tif"},
            dir.path());
    runTool({"gdal_translate", "-q", "-srcwin", "149", "0", "151", "2000", "plain.tif", "east.tif"},
            dir.path());
    std::vector<Report> reports;
    bil::LoadCallbacks callbacks;
    callbacks.progress = recording(reports);
    ASSERT_TRUE(bil::loadMosaic({path("west.tif"), path("east.tif")}, callbacks));
    expectRising(reports, "mosaic");
    // The first named is read last, so that its cells stand where tiles overlap.
    EXPECT_EQ(reports.front().file, path("east.tif"));
    EXPECT_EQ(reports.back().file, path("west.tif"));
}

// The files of the folder with their bytes.
std::map<QString, QByteArray> folderFiles(const QString &folder)
{
    std::map<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files[name] = readFile(QDir(folder).filePath(name));
    return files;
}

TEST_F(ProgressTest, WritingTellsEachImageAndAStopChangesNoFile)
{
    std::optional<bil::Grid> grid = bil::loadGrid(path("grid.bil"), {});
    ASSERT_TRUE(grid);
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const struct
    {
        const char *name;
        int bits, tiles;
        QStringList images; // in the order they are written
    } cases[] = {
        {"t.png", 8, 1, {"t.-tx.png", "t.-ht.png"}},
        {"t.bmp", 8, 1, {"t.-tx.bmp", "t.-ht.bmp"}},
        {"t.r16", 16, 1, {"t.-tx.png", "t.-ht.r16"}},
        {"t.exr", 32, 1, {"t.-tx.png", "t.-ht.exr"}},
        {"t.tif", 32, 1, {"t.-tx.png", "t.-ht.tif"}},
        {"t.png",
         16,
         2,
         {"t_x0_y0.-tx.png", "t_x1_y0.-tx.png", "t_x0_y1.-tx.png", "t_x1_y1.-tx.png",
          "t_x0_y0.-ht.png", "t_x1_y0.-ht.png", "t_x0_y1.-ht.png", "t_x1_y1.-ht.png"}},
    };
    for (const auto &c : cases) {
        const QString target = QDir(out).filePath(QString::fromLatin1(c.name));
        BILExportOptions options;
        options.heightmapBits = c.bits;
        options.tilesAcross = options.tilesDown = c.tiles;
        options.worldFiles = true;
        std::vector<Report> reports;
        options.progress = recording(reports);
        bil::exportRegion(grid->view(), grid->geo, target, 2, {0, 0, 299, 1999}, options, {});
        expectRising(reports, c.name);
        QStringList told;
        for (const Report &r : reports) {
            EXPECT_EQ(r.doing, bil::Doing::Writing) << c.name;
            if (told.isEmpty() || told.back() != r.file) told << r.file;
        }
        for (QString &file : told)
            file = QFileInfo(file).fileName();
        EXPECT_EQ(told, c.images) << c.name;

        // Stopped halfway, and at the last band: every file stays as the first export left it.
        const std::map<QString, QByteArray> before = folderFiles(out);
        for (const size_t stopAt : {reports.size() / 2, reports.size() - 1}) {
            std::vector<Report> stopped;
            options.progress = recording(stopped, int(stopAt));
            options.range = BILHeightRange(0, 1000); // other images than before, were they written
            EXPECT_THROW(bil::exportRegion(grid->view(), grid->geo, target, 2, {0, 0, 299, 1999},
                                           options, {}),
                         bil::Cancelled)
                << c.name;
            EXPECT_EQ(folderFiles(out), before) << c.name << " stopped at " << stopAt;
        }
    }
}

} // namespace
