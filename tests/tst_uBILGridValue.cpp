// A grid as a value: loading and exporting one hears the layout question and
// the refusals through the callbacks given, and leaves the grid that the
// window holds, and its hooks, alone.
#include "elevation/uBILExport.h"
#include "elevation/uBILLoad.h"

#include "tests/gridState.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

class GridValueTest : public GridTest
{
protected:
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
};

TEST_F(GridValueTest, ALoadedValueLeavesTheGridHeldAlone)
{
    setGrid(2, 2, {1, 2, 3, 4});
    BILFileName = QStringLiteral("held.bil");
    BILAskLayout = [] { ADD_FAILURE() << "the window's layout dialog was asked"; };

    // Three rows of two big-endian samples, the last one missing.
    writeFile("value.raw", QByteArray::fromHex("0064 00c8 012c 0190 01f4 8000"));
    bil::GridLayout proposed;
    bil::LoadCallbacks callbacks;
    callbacks.askLayout = [&](const QString &, bil::GridLayout &l) {
        proposed = l;
        l = {true, 2, 3, -32768};
        return true;
    };
    std::optional<bil::Grid> grid = bil::loadGrid(path("value.raw"), callbacks);
    ASSERT_TRUE(grid);
    EXPECT_EQ(proposed.width, 10800); // the dialog's pre-set
    EXPECT_EQ(grid->width(), 2);
    EXPECT_EQ(grid->height(), 3);
    EXPECT_EQ(std::vector<int16_t>(grid->whole(), grid->whole() + 6),
              (std::vector<int16_t>{100, 200, 300, 400, 500, kLowest}));

    const BILHeightRange range =
        bil::exportRegion(grid->view(), grid->geo, path("out.png"), 0, {0, 1, 2, 3}, {}, nullptr);
    EXPECT_EQ(range, BILHeightRange(0, 500)); // the missing sample counts as 0
    EXPECT_EQ(QImage(path("out.-ht.png")).size(), QSize(2, 2));

    EXPECT_EQ(layout(), (Layout{false, 2, 2, kLowest}));
    EXPECT_EQ(std::vector<int16_t>(BILRaw, BILRaw + 4), (std::vector<int16_t>{1, 2, 3, 4}));
    EXPECT_EQ(BILFileName, QStringLiteral("held.bil"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(GridValueTest, ACancelAndARefusalLoadNothing)
{
    writeFile("value.raw", QByteArray(12, '\0'));
    QStringList refusals;
    bil::LoadCallbacks callbacks;
    callbacks.refuse = [&](const QString &text) { refusals << text; };
    EXPECT_FALSE(bil::loadGrid(path("value.raw"), callbacks)); // no question to ask: a cancel
    EXPECT_TRUE(refusals.isEmpty());

    callbacks.askLayout = [](const QString &, bil::GridLayout &l) {
        l = {false, 0, 3, 0};
        return true;
    };
    EXPECT_FALSE(bil::loadGrid(path("value.raw"), callbacks));
    EXPECT_EQ(refusals, QStringList{"Width or Height is not correct."});
    EXPECT_TRUE(errors.isEmpty()); // nothing through the window's hook
}

// The threads an export is given share its work; they change no byte of it.
TEST_F(GridValueTest, OneThreadOrSeveralWriteTheSameImages)
{
    bil::Grid grid = bil::Grid::ofWhole(300, 200, kLowest);
    for (int i = 0; i < 300 * 200; ++i)
        grid.whole()[i] = i % 7 == 0 ? kLowest : int16_t((uint32_t(i) * 2654435761u >> 20) % 900);
    BILExportOptions options;
    options.heightmapBits = 16;
    for (const int threads : {1, 3})
        bil::exportRegion(grid.view(), std::nullopt, path(QStringLiteral("t%1.png").arg(threads)),
                          2, {10, 5, 290, 195}, options, nullptr, threads);
    for (const char *image : {"-tx", "-ht"}) {
        QFile one(path(QStringLiteral("t1.%1.png").arg(image))),
            three(path(QStringLiteral("t3.%1.png").arg(image)));
        ASSERT_TRUE(one.open(QIODevice::ReadOnly) && three.open(QIODevice::ReadOnly)) << image;
        EXPECT_EQ(one.readAll(), three.readAll()) << image;
    }
}

} // namespace
