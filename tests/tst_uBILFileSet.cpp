// All files of an export or none: on a really full filesystem, and when a
// file cannot be put in place, the files there before stay as they were and
// no temporary file is left.
#include "elevation/uBILFileSet.h"
#include "elevation/uFMXBILUtils.h"

#include "tests/fileBytes.h"
#include "tests/fullDisk.h"
#include "tests/gridState.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <vector>

namespace {

// Every file in folder, hidden ones too, with its bytes.
std::map<QString, QByteArray> contents(const QString &folder)
{
    std::map<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (name != u"fill") files[name] = readFile(folder + u'/' + name);
    return files;
}

std::vector<int16_t> rising(int w, int h)
{
    std::vector<int16_t> samples(size_t(w) * size_t(h));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(i % size_t(w));
    return samples;
}

// Heights that no encoder can squeeze much: larger than any write buffer.
std::vector<int16_t> rough(int w, int h)
{
    std::vector<int16_t> samples(size_t(w) * size_t(h));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t((uint32_t(i) * 2654435761u >> 16) % 3000);
    return samples;
}

class FullDiskExport : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        BILColorTableProblem.clear();
        BILGeoRef = BILGeoReference{10, 50, 0.01, 0.01, true};
        std::copy(std::begin(BILColors), std::end(BILColors), colorsBefore);
    }
    void TearDown() override
    {
        std::copy(std::begin(colorsBefore), std::end(colorsBefore), BILColors);
        BILGeoRef.reset();
        GridTest::TearDown();
    }
    TAlphaColor colorsBefore[BILHeightCount];
};

} // namespace

TEST_F(FullDiskExport, AnExportThatDoesNotFitLeavesTheEarlierFilesAsTheyWere)
{
    const struct
    {
        const char *what;
        std::vector<int16_t> samples;
        int width, height;
        bool transparent; // a texture of one colour, which takes almost no room
        qint64 room;
        bool worldFiles;
        const char *failing;
        const char *name = "t.png";
        int heightmapBits = 8;
    } cases[] = {
        {"images within a write buffer, no room", rising(160, 120), 160, 120, false, 0, false,
         "t.-tx.png"},
        {"images beyond a write buffer, no room", rough(400, 300), 400, 300, false, 0, false,
         "t.-tx.png"},
        {"room for the texture, not the heightmap", rough(400, 300), 400, 300, true, 4096, false,
         "t.-ht.png"},
        {"world files beside the images, no room", rising(160, 120), 160, 120, false, 0, true,
         "t.-tx.png"},
        {"room for the texture, not the float heights", rough(400, 300), 400, 300, true, 4096,
         false, "t.-ht.exr", "t.exr", 32},
        {"room for the texture, not the raw levels", rough(400, 300), 400, 300, true, 4096, false,
         "t.-ht.r16", "t.r16", 16},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = path(QString::fromUtf8(c.what));
        FullDisk disk(folder);
        BILExportOptions options;
        options.worldFiles = c.worldFiles;
        options.heightmapBits = c.heightmapBits;
        const QString name = folder + u'/' + QString::fromLatin1(c.name);
        // The earlier export, of another grid.
        setGrid(c.height, c.width, rough(c.height, c.width));
        ASSERT_TRUE(ExportBIL(name, 0, 0, 0, c.height, c.width, options));
        const std::map<QString, QByteArray> before = contents(folder);
        ASSERT_EQ(before.size(), c.worldFiles ? 4u : 2u);

        setGrid(c.width, c.height, c.samples);
        if (c.transparent) std::fill(std::begin(BILColors), std::end(BILColors), 0);
        disk.leaveRoom(c.room);
        try {
            ExportBIL(name, 0, 0, 0, c.width, c.height, options);
            ADD_FAILURE() << "the export was said to succeed";
        } catch (const BILError &e) {
            const QString reason =
                disk.mounted() ? qt_error_string(ENOSPC) : qt_error_string(EFBIG);
            EXPECT_EQ(e.what(), QStringLiteral("Cannot write \"%1/%2\": %3")
                                    .arg(folder, c.failing, reason)
                                    .toStdString());
        }
        EXPECT_EQ(contents(folder), before);
    }
}

TEST(FileSet, AFileThatCannotBePutInPlacePutsBackWhatWasReplaced)
{
    const QTemporaryDir dir;
    const QString folder = dir.path();
    writeFile(folder + "/replaced.png", "old");
    writeFile(folder + "/removed.pgw", "old world");
    ASSERT_TRUE(QDir(folder).mkpath("blocked.png/inside"));
    const std::map<QString, QByteArray> before = contents(folder);
    try {
        bil::FileSet files;
        files.write(folder + "/replaced.png", "new");
        files.write(folder + "/new.png", "new");
        files.remove(folder + "/removed.pgw");
        files.write(folder + "/blocked.png", "new");
        files.commit();
        ADD_FAILURE() << "the files were said to be in place";
    } catch (const BILError &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(
            QStringLiteral("Cannot write \"%1/blocked.png\": ").arg(folder)))
            << e.what();
    }
    EXPECT_EQ(contents(folder), before);
    EXPECT_TRUE(QFileInfo(folder + "/blocked.png/inside").isDir());
}
