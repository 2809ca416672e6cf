// The preview's pointer readout: real grid files, a real preview and real
// pointer moves over it.

#include "components/uFMXImage.h"
#include "components/uFMXLine.h"
#include "components/uFMXTheme.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uFrmMain.h"
#include "mainwindow/uReadout.h"
#include "tests/answerModal.h"
#include "tests/gridState.h"
#include "tests/localeEnvironment.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPaintEvent>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// 4 x 3 cells: a normal sample, a missing one, a negative one.
constexpr const char *Samples = "1534 -9999 -12 0\n"
                                "7 8 9 10\n"
                                "-400 11 12 -9999\n";
constexpr const char *Decimals = "1534.5 -9999 -12.125 0\n"
                                 "7 8.25 9 10\n"
                                 "-400 11 12 -9999\n";

enum class Grid
{
    Plain,
    Geographic,
    Southwest,
    Projected,
    Decimal // projected, with heights of decimals
};

// Writes the grid in a form that carries the georeference asked for.
QString writeGrid(const QTemporaryDir &dir, Grid grid)
{
    if (grid == Grid::Plain) {
        const int16_t samples[] = {1534, -9999, -12, 0, 7, 8, 9, 10, -400, 11, 12, -9999};
        QFile bil(dir.filePath(QStringLiteral("plain.bil"))),
            hdr(dir.filePath(QStringLiteral("plain.hdr")));
        EXPECT_TRUE(bil.open(QIODevice::WriteOnly) && hdr.open(QIODevice::WriteOnly));
        for (const int16_t h : samples) {
            const char bytes[] = {char(h & 0xFF), char((h >> 8) & 0xFF)};
            bil.write(bytes, 2);
        }
        hdr.write("NCOLS 4\nNROWS 3\nBYTEORDER I\nNODATA -9999\n");
        return bil.fileName();
    }
    const char *corner = grid == Grid::Geographic  ? "xllcorner 11.0\nyllcorner 57.5\n"
                         : grid == Grid::Southwest ? "xllcorner -70.75\nyllcorner -33.5\n"
                                                   : "xllcorner 500000\nyllcorner 6400000\n";
    const bool projected = grid == Grid::Projected || grid == Grid::Decimal;
    const char *cell = projected ? "cellsize 30\n" : "cellsize 0.125\n";
    const QString name = QStringLiteral("grid%1").arg(int(grid));
    QFile asc(dir.filePath(name + QStringLiteral(".asc")));
    EXPECT_TRUE(asc.open(QIODevice::WriteOnly));
    asc.write(QByteArray("ncols 4\nnrows 3\n") + corner + cell + "NODATA_value -9999\n" +
              (grid == Grid::Decimal ? Decimals : Samples));
    if (!projected) {
        QFile prj(dir.filePath(name + QStringLiteral(".prj")));
        EXPECT_TRUE(prj.open(QIODevice::WriteOnly));
        prj.write(
            "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
            "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]");
    }
    return asc.fileName();
}

// Collects the area of each paint of a widget.
class PaintAreas : public QObject
{
public:
    QRegion painted;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

// A preview of 500 x 300 showing a 4 x 3 grid: 100 units a cell, the grid
// from x = 50 to 450.
class ReadoutTest : public GridTest
{
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        IsLightTheme = true;
        image = std::make_unique<TFMXImage>();
        image->resize(500, 300);
        image->setReadout(ReadoutText);
        image->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(image.get()));
    }
    void TearDown() override
    {
        image.reset();
        BILGeoRef.reset();
        GridTest::TearDown();
    }
    void open(Grid grid)
    {
        QImage preview;
        OpenBILFile(writeGrid(dir, grid), preview);
        ASSERT_EQ(preview.size(), QSize(4, 3));
        image->setBitmap(preview);
        QApplication::processEvents();
    }
    static QPoint centreOf(QPoint cell) { return {50 + cell.x() * 100 + 50, cell.y() * 100 + 50}; }
    void hover(QPoint at) { QTest::mouseMove(image.get(), at); }

    std::unique_ptr<TFMXImage> image;
};

TEST_F(ReadoutTest, SaysTheCellUnderThePointerInBothLanguages)
{
    struct Case
    {
        const char *name;
        Grid grid;
        QPoint cell;
        const char *english, *japanese;
    };
    const Case cases[] = {
        {"a normal sample", Grid::Plain, {0, 0}, "Column 0 · Row 0 · 1534 m", "列 0・行 0・1534 m"},
        {"a missing sample", Grid::Plain, {1, 0}, "Column 1 · Row 0 · missing", "列 1・行 0・欠測"},
        {"a negative height",
         Grid::Plain,
         {0, 2},
         "Column 0 · Row 2 · -400 m",
         "列 0・行 2・-400 m"},
        {"the last cell, missing",
         Grid::Plain,
         {3, 2},
         "Column 3 · Row 2 · missing",
         "列 3・行 2・欠測"},
        {"a geographic grid",
         Grid::Geographic,
         {2, 1},
         "Column 2 · Row 1 · 9 m\n57.6875° N 11.3125° E",
         "列 2・行 1・9 m\n北緯 57.6875°・東経 11.3125°"},
        {"a geographic grid south and west",
         Grid::Southwest,
         {0, 0},
         "Column 0 · Row 0 · 1534 m\n33.1875° S 70.6875° W",
         "列 0・行 0・1534 m\n南緯 33.1875°・西経 70.6875°"},
        {"a projected grid",
         Grid::Projected,
         {3, 0},
         "Column 3 · Row 0 · 0 m\nx 500105.00 · y 6400075.00",
         "列 3・行 0・0 m\nx 500105.00・y 6400075.00"},
        {"a height with decimals",
         Grid::Decimal,
         {1, 1},
         "Column 1 · Row 1 · 8.25 m\nx 500045.00 · y 6400045.00",
         "列 1・行 1・8.25 m\nx 500045.00・y 6400045.00"},
        {"a negative height with decimals",
         Grid::Decimal,
         {2, 0},
         "Column 2 · Row 0 · -12.13 m\nx 500075.00 · y 6400075.00",
         "列 2・行 0・-12.13 m\nx 500075.00・y 6400075.00"},
    };
    for (const Case &c : cases) {
        open(c.grid);
        {
            const LocaleEnvironment english = englishUser();
            hover(centreOf(c.cell));
            EXPECT_EQ(image->readoutText(), QString::fromUtf8(c.english)) << c.name;
        }
        // A pixel's text is asked for again only when the pointer reaches another pixel.
        hover({5, 5});
        {
            const LocaleEnvironment japanese = japaneseUser();
            hover(centreOf(c.cell) + QPoint(30, -30));
            EXPECT_EQ(image->readoutText(), QString::fromUtf8(c.japanese)) << c.name;
        }
        hover({5, 5});
    }
}

TEST_F(ReadoutTest, HidesWhereNoCellIsUnderThePointer)
{
    struct Case
    {
        const char *name;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"left of the grid",
         [this] {
             hover({49, 150});
         }},
        {"right of the grid",
         [this] {
             hover({450, 150});
         }},
        {"the pointer leaves",
         [this] {
             QEvent leave(QEvent::Leave);
             QApplication::sendEvent(image.get(), &leave);
         }},
        {"the grid goes away", [this] { image->setBitmap(QImage()); }},
        {"the preview is resized", [this] { image->resize(480, 300); }},
    };
    for (const Case &c : cases) {
        open(Grid::Plain);
        const LocaleEnvironment english = englishUser();
        // Qt passes on no move to where the pointer already is.
        hover({5, 5});
        hover(centreOf({2, 1}));
        ASSERT_EQ(image->readoutText(), QStringLiteral("Column 2 · Row 1 · 9 m")) << c.name;
        ASSERT_FALSE(image->readoutRect().isEmpty()) << c.name;
        c.act();
        EXPECT_EQ(image->readoutText(), QString()) << c.name;
        EXPECT_TRUE(image->readoutRect().isEmpty()) << c.name;
        image->resize(500, 300);
    }
    // Nothing shown, a move over the empty preview shows nothing.
    image->setBitmap(QImage());
    hover({250, 150});
    EXPECT_EQ(image->readoutText(), QString());
}

TEST_F(ReadoutTest, AMoveRepaintsOnlyThePanel)
{
    open(Grid::Geographic);
    const LocaleEnvironment english = englishUser();
    hover(centreOf({0, 0}));
    QApplication::processEvents();
    const QRect before = image->readoutRect();
    PaintAreas areas;
    image->installEventFilter(&areas);
    hover(centreOf({3, 2}));
    QApplication::processEvents();
    const QRect after = image->readoutRect();
    EXPECT_FALSE(areas.painted.isEmpty());
    EXPECT_TRUE((QRegion(before) + after).contains(areas.painted.boundingRect()))
        << "painted " << areas.painted.boundingRect().width() << " x "
        << areas.painted.boundingRect().height();
    image->removeEventFilter(&areas);
}

TEST_F(ReadoutTest, ThePanelTakesTheLook)
{
    open(Grid::Plain);
    struct Case
    {
        const char *name;
        bool light;
    };
    for (const Case c : {Case{"light", true}, Case{"dark", false}}) {
        IsLightTheme = c.light;
        hover(centreOf({1, 1}));
        const QRect box = image->readoutRect();
        ASSERT_FALSE(box.isEmpty()) << c.name;
        // Inside the panel's padding, left of the text.
        const QColor panel = image->grab().toImage().pixelColor(box.left() + 3, box.center().y());
        if (c.light)
            EXPECT_GT(panel.lightness(), 200) << c.name;
        else
            EXPECT_LT(panel.lightness(), 80) << c.name;
        hover({5, 5});
    }
    IsLightTheme = true;
}

TEST_F(ReadoutTest, ThePanelGivesWayToThePointer)
{
    open(Grid::Geographic);
    struct Case
    {
        const char *name;
        QPoint at;
        bool onTheRight;
    };
    const Case cases[] = {
        {"far from the top-left corner", centreOf({2, 2}), false},
        {"in the top-left corner", {60, 20}, true},
        {"in the top-right corner", {440, 20}, false},
    };
    for (const Case &c : cases) {
        hover(c.at);
        const QRect box = image->readoutRect();
        ASSERT_FALSE(box.isEmpty()) << c.name;
        EXPECT_FALSE(box.contains(c.at)) << c.name;
        // Inside the drawn grid, which runs from x = 50 to 450.
        EXPECT_GE(box.left(), 50) << c.name;
        EXPECT_LT(box.right(), 450) << c.name;
        EXPECT_EQ(box.center().x() > 250, c.onTheRight) << c.name;
    }
}

// In the main window: the readout of the grid opened, and the crop untouched by hovering.
TEST_F(ReadoutTest, TheMainWindowShowsTheReadoutAndHoveringLeavesTheCrop)
{
    image.reset();
    const LocaleEnvironment english = englishUser();
    TFrmMain window([] {});
    window.resize(640, 60 + 10 + 336 + 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString path = writeGrid(dir, Grid::Projected);
    answerModal([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        edit->setText(path);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    window.btOpenClick(nullptr);
    auto *preview = window.findChild<TFMXImage *>(QStringLiteral("Image1"));
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(preview->bitmap().size(), QSize(4, 3));
    const auto crop = [&window] {
        QList<int> values;
        for (const char *name : {"SpinBoxX0", "SpinBoxY0", "SpinBoxX1", "SpinBoxY1"})
            values << window.findChild<QSpinBox *>(QLatin1String(name))->value();
        return values;
    };
    const QList<int> before = crop();
    const TImageFit fit = preview->fit();
    const QPoint cell(1, 2);
    QTest::mouseMove(preview, QPoint(int(fit.offsetX + (cell.x() + 0.5) * fit.zoom),
                                     int(fit.offsetY + (cell.y() + 0.5) * fit.zoom)));
    EXPECT_EQ(preview->readoutText(),
              QStringLiteral("Column 1 · Row 2 · 11 m\nx 500045.00 · y 6400015.00"));
    EXPECT_EQ(crop(), before);
}

// The crop lines lie on the grid's edge cells; the readout follows the
// pointer over them.
TEST_F(ReadoutTest, TheReadoutFollowsThePointerOverTheCropLines)
{
    image.reset();
    const LocaleEnvironment english = englishUser();
    TFrmMain window([] {});
    window.resize(640, 60 + 10 + 336 + 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.openFile(writeGrid(dir, Grid::Plain));
    auto *preview = window.findChild<TFMXImage *>(QStringLiteral("Image1"));
    auto *left = window.findChild<TFMXLine *>(QStringLiteral("LineX0"));
    ASSERT_TRUE(preview && left && left->isVisible());
    const TImageFit fit = preview->fit();
    // Down the left line, over cells (0, 0) and (0, 2).
    const auto onLine = [&](int row) {
        const QPoint inPreview(int(fit.offsetX + 1), int(fit.offsetY + (row + 0.5) * fit.zoom));
        return left->mapFromGlobal(preview->mapToGlobal(inPreview));
    };
    ASSERT_TRUE(left->rect().contains(onLine(0)));
    QTest::mouseMove(left, onLine(0));
    EXPECT_EQ(preview->readoutText(), "Column 0 · Row 0 · 1534 m");
    QTest::mouseMove(left, onLine(2));
    EXPECT_EQ(preview->readoutText(), "Column 0 · Row 2 · -400 m");
    EXPECT_EQ(window.cropRect(), (std::array<int32_t, 4>{0, 0, 4, 3})) << "hovering moves no line";
}

} // namespace
