#include "mainwindow/uFrmMain.h"

#include "components/uFMXFlatBtn.h"
#include "components/uFMXImage.h"
#include "components/uFMXLine.h"
#include "components/uFMXNote.h"
#include "components/uFMXPath.h"
#include "components/uFMXProgress.h"
#include "components/uFMXTheme.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uApplication.h"
#include "mainwindow/uBackgroundWork.h"
#include "tests/answerModal.h"
#include "tests/fileBytes.h"
#include "tests/fullDisk.h"
#include "tests/localeEnvironment.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <optional>

namespace {

using Rect = std::array<int32_t, 4>;

// Writes a little-endian BIL with an ESRI header; heights rise along the rows.
QString writeGrid(const QTemporaryDir &dir, const QString &name, int w, int h,
                  const char *extraHeader = "")
{
    QByteArray samples(qsizetype(w) * h * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < qsizetype(w) * h; ++i)
        qToLittleEndian<int16_t>(int16_t(i % w), samples.data() + 2 * i);
    const QString path = dir.filePath(name + ".bil");
    QFile bil(path), hdr(dir.filePath(name + ".hdr"));
    EXPECT_TRUE(bil.open(QIODevice::WriteOnly) && hdr.open(QIODevice::WriteOnly));
    bil.write(samples);
    hdr.write(QStringLiteral("NCOLS %1\nNROWS %2\nBYTEORDER I\n%3")
                  .arg(w)
                  .arg(h)
                  .arg(extraHeader)
                  .toLatin1());
    return path;
}

// A grid of 0.001° cells from 11° east and 58° north down, with a .prj
// that says it is in degrees.
QString writeGridInDegrees(const QTemporaryDir &dir, const QString &name, int w, int h)
{
    const QString path =
        writeGrid(dir, name, w, h, "ULXMAP 11.0005\nULYMAP 57.9995\nXDIM 0.001\nYDIM 0.001\n");
    QFile prj(dir.filePath(name + ".prj"));
    EXPECT_TRUE(prj.open(QIODevice::WriteOnly));
    prj.write("GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\"]]");
    return path;
}

// Types a path into Qt's own file dialog and presses Enter, as a user would.
void enterFileName(QFileDialog *dialog, const QString &path)
{
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->setText(path);
    // The name completer's list would take the Enter, as it does for a user.
    if (QCompleter *completer = edit->completer()) completer->popup()->hide();
    QTest::keyClick(edit, Qt::Key_Return);
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
        // The folders the dialogs remember go here, never to the user's settings.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        BILShowError = TApplication::ShowError;
        IsLightTheme = true;
        restart();
    }
    // A fresh window, with the texts of the locale in force.
    void restart()
    {
        window.reset();
        window = std::make_unique<TFrmMain>([this] { ++aboutShown; });
        // The preview area comes out at 620 x 336.
        window->resize(640, 60 + 10 + 336 + 10);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_EQ(image()->size(), QSize(620, 336));
    }
    void TearDown() override
    {
        window.reset();
        BILShowError = nullptr;
        BILAskLayout = nullptr;
    }

    template <typename T> T *child(const char *name) const
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    TFMXImage *image() const { return child<TFMXImage>("Image1"); }
    TFMXLine *line(const char *name) const { return child<TFMXLine>(name); }
    TFMXNote *note() const { return child<TFMXNote>("note"); }
    QSpinBox *spin(const char *name) const { return child<QSpinBox>(name); }
    Rect shown() const
    {
        return {spin("SpinBoxX0")->value(), spin("SpinBoxY0")->value(), spin("SpinBoxX1")->value(),
                spin("SpinBoxY1")->value()};
    }

    // Clicks a flat button; the dialog it opens is answered by answer.
    void click(const char *button, std::function<void(QWidget *)> answer = {})
    {
        if (answer) answerModal(std::move(answer));
        QTest::mouseClick(child<TFMXFlatBtn>(button), Qt::LeftButton, {}, QPoint(30, 30));
    }
    // Opens path; then answers the box the load shows, if any.
    void open(const QString &path, std::function<void(QWidget *)> then = {})
    {
        click("fbOpen", [path, then](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            ASSERT_NE(dialog, nullptr);
            if (then) answerModal(then);
            enterFileName(dialog, path);
        });
    }
    // Saves under name with the file type at index choice (0 BMP, 1 PNG, 2 PNG
    // with a 16-bit heightmap).
    void save(const QString &name, int choice, QString *preselected = nullptr,
              std::function<void(QWidget *)> then = {})
    {
        click("fbSave", [=](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            ASSERT_NE(dialog, nullptr);
            if (then) answerModal(then);
            if (preselected) *preselected = dialog->selectedNameFilter();
            dialog->selectNameFilter(dialog->nameFilters().value(choice));
            enterFileName(dialog, name);
        });
    }
    // Enters text into a spin box as a user would and commits it with Enter.
    void type(const char *spinBox, const QString &text)
    {
        QSpinBox *box = spin(spinBox);
        QLineEdit *edit = box->findChild<QLineEdit *>();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void setRect(Rect r)
    {
        // Widest first, so that no value is pushed by its partner on the way.
        type("SpinBoxX1", QString::number(r[2]));
        type("SpinBoxY1", QString::number(r[3]));
        type("SpinBoxX0", QString::number(r[0]));
        type("SpinBoxY0", QString::number(r[1]));
        ASSERT_EQ(window->cropRect(), r);
    }
    // The display point in the middle of grid cell (c, r).
    QPoint cell(int c, int r) const
    {
        const float z = window->zoom();
        return QPointF((c + 0.5) * z + window->offset().x(), (r + 0.5) * z + window->offset().y())
            .toPoint();
    }

    QTemporaryDir dir;
    QTemporaryDir settingsDir;
    std::unique_ptr<TFrmMain> window;
    int aboutShown = 0;
};

TEST(MainWindowFit, FitsTheGridIntoTheArea)
{
    const struct
    {
        QSize grid;
        double zoom, offsetX, offsetY;
    } cases[] = {
        {{1201, 1201}, 336.0 / 1201, 142, 0},
        {{10800, 4800}, 620.0 / 10800, 0, 30.2222},
        {{100, 100}, 3.36, 142, 0},
        {{1200, 600}, 0.516667, 0, 13},
        {{0, 0}, 0, 0, 0},
    };
    for (const auto &c : cases) {
        const TImageFit fit = TFMXImage::Fit(QSizeF(620, 336), c.grid);
        EXPECT_NEAR(fit.zoom, c.zoom, 1e-6) << c.grid.width();
        EXPECT_NEAR(fit.offsetX, c.offsetX, 1e-3) << c.grid.width();
        EXPECT_NEAR(fit.offsetY, c.offsetY, 1e-3) << c.grid.width();
    }
}

TEST(MainWindowFilters, ConvertsFiltersAndForcesExtensions)
{
    EXPECT_EQ(QtNameFilters("All Type|*.bil;*.hgt;*.bin;*|BIL File|*.bil"),
              (QStringList{"All Type (*.bil *.hgt *.bin *)", "BIL File (*.bil)"}));
    const struct
    {
        const char *path, *extension, *result;
    } cases[] = {
        {"/out/terrain", ".bmp", "/out/terrain.bmp"},
        {"/out/terrain.png", ".bmp", "/out/terrain.bmp"},
        {"/out/terrain.tif", ".png", "/out/terrain.png"},
        {"/out/terrain.tar.gz", ".png", "/out/terrain.tar.png"},
        {"/out.d/terrain", ".png", "/out.d/terrain.png"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ForceExtension(c.path, c.extension), c.result);
}

TEST_F(MainWindowTest, StartsEmptyInEnglish)
{
    EXPECT_EQ(window->windowTitle(), "RELIEVA");
    EXPECT_EQ(child<QLabel>("Label1")->text(), "Height Smoothing");
    EXPECT_EQ(child<TFMXFlatBtn>("fbOpen")->Text(), "Open");
    EXPECT_EQ(child<TFMXFlatBtn>("fbAbout")->Color(), FlatBtnOrange);
    EXPECT_EQ(shown(), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(spin("SpinBoxX1")->maximum(), 0);
    EXPECT_EQ(spin("SpinBox1")->maximum(), 4);
    EXPECT_FALSE(line("LineX0")->isVisible());
    EXPECT_EQ(
        window->findChildren<QFileDialog *>().value(0)->nameFilters(),
        (QStringList{"All Type (*.bil *.hgt *.bin *.tif *.tiff *.asc *.flt *)", "BIL File (*.bil)",
                     "HGT File (*.hgt)", "BIN File (*.bin)", "GeoTIFF File (*.tif *.tiff)",
                     "ASCII Grid File (*.asc)", "GridFloat File (*.flt)"}));
    EXPECT_EQ(window->findChildren<QFileDialog *>().value(1)->nameFilters(),
              (QStringList{
                  "Bitmap File (*.bmp)", "PNG File (*.png)", "PNG File, 16-bit heightmap (*.png)",
                  "RAW File, 16-bit heightmap (*.r16)", "OpenEXR File, heights in metres (*.exr)",
                  "GeoTIFF File, heights in metres (*.tif)"}));

    // Presses on an empty preview do nothing.
    QTest::mousePress(image(), Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseRelease(image(), Qt::LeftButton, {}, QPoint(300, 100));
    EXPECT_EQ(window->cropRect(), (Rect{0, 0, 0, 0}));

    // Save before any Open says at once, before asking for a name, that
    // there is nothing to save.
    BILWidth = 10800;
    BILHeight = 4800;
    QString refusal;
    click("fbSave", [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr) << "a name was asked for first";
        refusal = box->text();
        modal->close();
    });
    EXPECT_EQ(refusal, "The selected region is empty.");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(MainWindowTest, SpeaksJapaneseToJapaneseUsers)
{
    const auto japanese = japaneseUser();
    TFrmMain jp([] {});
    EXPECT_EQ(jp.findChild<QLabel *>("Label1")->text(), "高度平滑化");
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbOpen")->Text(), "開く");
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbSave")->Text(), "保存");
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbAbout")->Text(), "…について");
    const auto dialogs = jp.findChildren<QFileDialog *>();
    ASSERT_EQ(dialogs.size(), 2);
    EXPECT_EQ(dialogs[0]->nameFilters(),
              (QStringList{"全ての対応ファイル (*.bil *.hgt *.bin *.tif *.tiff *.asc *.flt *)",
                           "BIL ファイル (*.bil)", "HGT ファイル (*.hgt)", "BIN ファイル (*.bin)",
                           "GeoTIFF ファイル (*.tif *.tiff)", "ASCII グリッド ファイル (*.asc)",
                           "GridFloat ファイル (*.flt)"}));
    EXPECT_EQ(dialogs[1]->nameFilters(),
              (QStringList{"Bitmap ファイル (*.bmp)", "PNG ファイル (*.png)",
                           "PNG ファイル（16 ビット高さ） (*.png)",
                           "RAW ファイル（16 ビット高さ） (*.r16)",
                           "OpenEXR ファイル（メートル単位の高さ） (*.exr)",
                           "GeoTIFF ファイル（メートル単位の高さ） (*.tif)"}));
}

TEST_F(MainWindowTest, FollowsTheLook)
{
    for (bool light : {false, true}) {
        IsLightTheme = light;
        window->ThemeUpdate();
        const QColor ink = light ? Qt::black : Qt::white;
        EXPECT_EQ(child<TFMXPath>("Path1")->fillColor(), ink);
        EXPECT_EQ(child<TFMXPath>("Path2")->strokeColor(), ink);
        for (const char *name : {"LineX0", "LineX1", "LineY0", "LineY1"})
            EXPECT_EQ(line(name)->strokeColor(), ink) << name;
        QFile sheet(light ? ":/WIN11LIGHT" : ":/WIN11DARK");
        ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
        EXPECT_EQ(qApp->styleSheet(), QString::fromUtf8(sheet.readAll()));
    }
    qApp->setStyleSheet({});
}

TEST_F(MainWindowTest, TheCoordinateGroupFollowsTheRightEdge)
{
    const QStringList moving = {"Path1",  "Label2",    "SpinBoxX0", "Path2",
                                "Label4", "SpinBoxY1", "fbAbout"};
    const QStringList staying = {"fbOpen", "fbSave", "Label1", "SpinBox1"};
    QMap<QString, int> before;
    for (const QString &name : moving + staying)
        before[name] = window->findChild<QWidget *>(name)->x();
    EXPECT_EQ(before["fbAbout"], 580);
    window->resize(840, window->height());
    QTest::qWait(0);
    for (const QString &name : moving)
        EXPECT_EQ(window->findChild<QWidget *>(name)->x(), before[name] + 200)
            << name.toStdString();
    for (const QString &name : staying)
        EXPECT_EQ(window->findChild<QWidget *>(name)->x(), before[name]) << name.toStdString();
    EXPECT_GE(window->minimumWidth(), 640);
}

TEST_F(MainWindowTest, TheStripKeepsEveryPlaceAtAnyWidth)
{
    // Places in a 640-wide window; the right-hand group keeps its distance to the right edge.
    const struct
    {
        const char *name;
        QRect at640;
        bool right;
    } places[] = {
        {"fbOpen", {0, 0, 60, 60}, false},      {"fbSave", {60, 0, 60, 60}, false},
        {"Label1", {129, 8, 108, 16}, false},   {"SpinBox1", {134, 30, 99, 22}, false},
        {"Path1", {250, 24, 20, 20}, true},     {"Label2", {278, 11, 16, 16}, true},
        {"Label5", {278, 40, 16, 16}, true},    {"SpinBoxX0", {299, 8, 99, 22}, true},
        {"SpinBoxY0", {299, 34, 99, 22}, true}, {"Path2", {418, 24, 20, 20}, true},
        {"Label3", {448, 11, 16, 16}, true},    {"Label4", {448, 37, 16, 16}, true},
        {"SpinBoxX1", {467, 8, 99, 22}, true},  {"SpinBoxY1", {467, 34, 99, 22}, true},
        {"fbAbout", {580, 0, 60, 60}, true},
    };
    const struct
    {
        int asked, got;
    } widths[] = {{1200, 1200}, {641, 641}, {500, 640}, {640, 640}};
    for (const auto &w : widths) {
        window->resize(w.asked, window->height());
        QTest::qWait(0);
        ASSERT_EQ(window->width(), w.got);
        EXPECT_EQ(child<QWidget>("LayoutT")->geometry(), QRect(0, 0, w.got, 60));
        for (const auto &p : places)
            EXPECT_EQ(child<QWidget>(p.name)->geometry(),
                      p.at640.translated(p.right ? w.got - 640 : 0, 0))
                << p.name << " at width " << w.asked;
    }
}

TEST_F(MainWindowTest, OpenShowsTheWholeGridAndFitsIt)
{
    open(writeGrid(dir, "tile", 1200, 600));
    EXPECT_EQ(window->windowTitle(), "RELIEVA - tile.bil");
    EXPECT_EQ(image()->bitmap().size(), QSize(1200, 600));
    EXPECT_EQ(shown(), (Rect{0, 0, 1200, 600}));
    EXPECT_EQ(spin("SpinBoxX0")->maximum(), 1200);
    EXPECT_EQ(spin("SpinBoxY1")->maximum(), 600);
    EXPECT_NEAR(window->zoom(), 0.516667, 1e-6);
    EXPECT_NEAR(window->offset().y(), 13, 1e-4);

    setRect({100, 50, 1100, 550});
    EXPECT_NEAR(line("LineX0")->position().x(), 51.667, 1e-3);
    EXPECT_NEAR(line("LineX1")->position().x(), 563.333, 1e-3);
    EXPECT_NEAR(line("LineY0")->position().y(), 38.833, 1e-3);
    EXPECT_NEAR(line("LineY1")->position().y(), 292.167, 1e-3);
    EXPECT_EQ(line("LineX0")->height(), 336);
    EXPECT_EQ(line("LineY0")->width(), 620);

    // Resizing moves the lines with the preview; the rectangle stays.
    window->resize(840, window->height());
    QTest::qWait(0);
    EXPECT_EQ(window->cropRect(), (Rect{100, 50, 1100, 550}));
    EXPECT_NEAR(line("LineX0")->position().x(), 100 * window->zoom() + window->offset().x(), 1e-3);

    // A new, smaller grid resets the rectangle whatever it was.
    setRect({600, 300, 1100, 550});
    open(writeGrid(dir, "small", 100, 50));
    EXPECT_EQ(window->windowTitle(), "RELIEVA - small.bil");
    EXPECT_EQ(shown(), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(window->cropRect(), (Rect{0, 0, 100, 50}));
}

// Beyond the 51,840,000 samples the arrays hold, a grid opens with a preview
// of every other cell; the crop, the lines and the save stay in cells.
TEST_F(MainWindowTest, AGridBeyondTheCapacityOpensWithAReducedPreview)
{
    open(writeGrid(dir, "big", 7200, 7201)); // heights are the column numbers
    EXPECT_EQ(window->windowTitle(), "RELIEVA - big.bil");
    EXPECT_EQ(image()->bitmap().size(), QSize(3600, 3601));
    EXPECT_EQ(shown(), (Rect{0, 0, 7200, 7201}));
    EXPECT_EQ(spin("SpinBoxX1")->maximum(), 7200);
    EXPECT_EQ(spin("SpinBoxY1")->maximum(), 7201);
    EXPECT_NEAR(window->zoom(), 336.0 / 3601 / 2, 1e-6); // a preview pixel is two cells

    setRect({7100, 7000, 7200, 7201});
    EXPECT_NEAR(line("LineX0")->position().x(), 7100 * window->zoom() + window->offset().x(), 1e-3);
    save(dir.filePath("corner.png"), 1);
    const QImage heightmap(dir.filePath("corner.-ht.png"));
    ASSERT_EQ(heightmap.size(), QSize(100, 201));
    EXPECT_EQ(qGray(heightmap.pixel(0, 200)), 0);    // column 7100
    EXPECT_EQ(qGray(heightmap.pixel(99, 200)), 255); // column 7199
}

TEST_F(MainWindowTest, LinesAreDraggedAndPushTheirPartners)
{
    open(writeGrid(dir, "tile", 300, 150));
    setRect({25, 12, 125, 75});
    TFMXLine *x0 = line("LineX0");
    const QPoint grab(2, 100);
    QTest::mousePress(x0, Qt::LeftButton, {}, grab);
    // Past LineX1: it moves along.
    QTest::mouseMove(x0, x0->mapFrom(image(), cell(175, 0)));
    EXPECT_EQ(window->cropRect(), (Rect{175, 12, 175, 75}));
    EXPECT_EQ(shown(), (Rect{175, 12, 175, 75}));
    // Beyond the preview, even outside the window: the grid's edge.
    QTest::mouseMove(x0, x0->mapFrom(image(), QPoint(2000, 10)));
    EXPECT_EQ(window->cropRect()[0], 300);
    QTest::mouseMove(x0, x0->mapFrom(image(), QPoint(-500, 10)));
    EXPECT_EQ(window->cropRect(), (Rect{0, 12, 300, 75}));
    QTest::mouseRelease(x0, Qt::LeftButton, {}, x0->mapFrom(image(), QPoint(-500, 10)));

    TFMXLine *y1 = line("LineY1");
    QTest::mousePress(y1, Qt::RightButton, {}, QPoint(100, 2));
    QTest::mouseMove(y1, y1->mapFrom(image(), cell(0, 20)));
    EXPECT_EQ(window->cropRect(), (Rect{0, 12, 300, 20}));
    QTest::mouseRelease(y1, Qt::RightButton, {}, QPoint(100, 2));
}

TEST_F(MainWindowTest, AHeaderlessTileAsksForItsLayout)
{
    QByteArray samples(1201 * 1201 * 2, '\0');
    qToBigEndian<int16_t>(1234, samples.data() + samples.size() - 2);
    QFile tile(dir.filePath("N35E139.hgt"));
    ASSERT_TRUE(tile.open(QIODevice::WriteOnly));
    tile.write(samples);
    tile.close();

    QString title;
    open(tile.fileName(), [&title](QWidget *modal) {
        title = modal->windowTitle();
        QTest::keyClick(modal, Qt::Key_Return); // OK is the default button
    });
    EXPECT_EQ(title, "Option");
    EXPECT_EQ(image()->bitmap().size(), QSize(1201, 1201));
    EXPECT_EQ(shown(), (Rect{0, 0, 1201, 1201}));
    EXPECT_EQ(BILData[1201 * 1201 - 1], 1234); // read big-endian, as pre-set
}

TEST_F(MainWindowTest, DrawingARectangleOnThePreview)
{
    // Two display units per cell, so that every pointer position names one cell.
    open(writeGrid(dir, "tile", 300, 150));
    const struct
    {
        Rect start;
        QPoint press, move;
        Rect afterPress, afterMove;
        Qt::MouseButton button;
    } cases[] = {
        {{25, 12, 125, 75},
         {175, 25},
         {180, 30},
         {125, 25, 175, 75},
         {125, 25, 180, 30},
         Qt::LeftButton},
        {{25, 12, 125, 75},
         {75, 50},
         {50, 62},
         {75, 50, 125, 75},
         {50, 50, 50, 62},
         Qt::MiddleButton},
        {{25, 12, 125, 75},
         {75, 50},
         {62, 62},
         {75, 50, 125, 75},
         {62, 50, 62, 62},
         Qt::RightButton},
    };
    for (const auto &c : cases) {
        setRect(c.start);
        QTest::mousePress(image(), c.button, {}, cell(c.press.x(), c.press.y()));
        EXPECT_EQ(window->cropRect(), c.afterPress);
        QTest::mouseMove(image(), cell(c.move.x(), c.move.y()));
        EXPECT_EQ(window->cropRect(), c.afterMove);
        QTest::mouseRelease(image(), c.button, {}, cell(c.move.x(), c.move.y()));
    }
    // A press in the band beside the preview is the first column.
    open(writeGrid(dir, "square", 100, 100));
    QTest::mousePress(image(), Qt::LeftButton, {}, QPoint(20, 100));
    EXPECT_EQ(window->cropRect()[0], 0);
    QTest::mouseRelease(image(), Qt::LeftButton, {}, QPoint(20, 100));
}

TEST_F(MainWindowTest, SpinBoxesSwapAndClampTypedValues)
{
    open(writeGrid(dir, "tile", 1201, 300));
    setRect({10, 0, 50, 300});
    type("SpinBoxX0", "80");
    EXPECT_EQ(window->cropRect(), (Rect{50, 0, 80, 300}));
    EXPECT_EQ(shown(), (Rect{50, 0, 80, 300}));
    type("SpinBoxX1", "5000");
    EXPECT_EQ(window->cropRect()[2], 1201);
    EXPECT_EQ(spin("SpinBoxX1")->value(), 1201);
    EXPECT_NEAR(line("LineX1")->position().x(), 1201 * window->zoom() + window->offset().x() - 5,
                1e-3);
}

// Tiles chosen together in the Open dialog open as one grid named by the
// first; tiles that do not say where they lie are refused, naming one, and
// the grid shown stays.
TEST_F(MainWindowTest, SeveralTilesChosenOpenAsOneGrid)
{
    const QString west = writeGrid(dir, "west", 60, 40, "ULXMAP 0.5\nULYMAP 39.5\n");
    const QString east = writeGrid(dir, "east", 50, 40, "ULXMAP 59.5\nULYMAP 39.5\n");
    open(QStringLiteral("\"%1\" \"%2\"").arg(west, east));
    EXPECT_EQ(window->windowTitle(), "RELIEVA - west.bil + 1");
    EXPECT_EQ(shown(), (Rect{0, 0, 109, 40})); // the shared column once

    const QString plain = writeGrid(dir, "plain", 60, 40);
    QString shownError;
    open(QStringLiteral("\"%1\" \"%2\"").arg(plain, east), [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        shownError = box->text();
        box->accept();
    });
    EXPECT_TRUE(shownError.contains("plain.bil")) << shownError.toStdString();
    EXPECT_TRUE(shownError.contains("does not say where it lies")) << shownError.toStdString();
    EXPECT_EQ(window->windowTitle(), "RELIEVA - west.bil + 1");
    EXPECT_EQ(shown(), (Rect{0, 0, 109, 40}));
}

TEST_F(MainWindowTest, FailedLoadsKeepTheGrid)
{
    open(writeGrid(dir, "good", 200, 100));
    setRect({10, 20, 30, 40});

    // A file that cannot be read: the error is shown and the window keeps the grid.
    const QString truncated = writeGrid(dir, "short", 200, 100);
    QFile::resize(truncated, 1000);
    QString shownError;
    open(truncated, [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        shownError = box->text();
        box->accept();
    });
    EXPECT_TRUE(shownError.contains("short.bil")) << shownError.toStdString();
    EXPECT_EQ(window->windowTitle(), "RELIEVA - good.bil");
    EXPECT_EQ(image()->bitmap().size(), QSize(200, 100));
    EXPECT_EQ(shown(), (Rect{10, 20, 30, 40}));

    // A cancelled dialog changes nothing.
    click("fbOpen", [](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    EXPECT_EQ(window->windowTitle(), "RELIEVA - good.bil");
    EXPECT_EQ(shown(), (Rect{10, 20, 30, 40}));
}

// A cancelled layout dialog and each refusal leave the grid, preview, crop,
// boxes, caption and layout as they were, and Save still writes that grid.
TEST_F(MainWindowTest, CancelledAndRefusedOpensKeepTheGrid)
{
    QFile headerless(dir.filePath("raw.hgt"));
    ASSERT_TRUE(headerless.open(QIODevice::WriteOnly));
    headerless.write(QByteArray(64, '\0'));
    headerless.close();

    const struct
    {
        const char *what;
        QString path;
        std::function<void(QWidget *)> answer;
        QString message; // of the box shown, if any
    } cases[] = {
        {"Escape in the layout dialog",
         headerless.fileName(),
         [](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); },
         {}},
        {"Cancel in the layout dialog",
         headerless.fileName(),
         [](QWidget *modal) {
             QTest::mouseClick(modal->findChild<QWidget *>(QStringLiteral("btCancel")),
                               Qt::LeftButton);
         },
         {}},
        {"no rows", writeGrid(dir, "norows", 200, 100, "NROWS 0\n"),
         [](QWidget *modal) { modal->close(); }, "Width or Height is not correct."},
        {"beyond memory", writeGrid(dir, "big", 200, 100, "NCOLS 1000000\nNROWS 1000000\n"),
         [](QWidget *modal) { modal->close(); },
         "This grid of 1000000 x 1000000 samples needs 1862.6 GB of memory, more than can be "
         "had."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        window->openFile(writeGrid(dir, "good", 200, 100, "NODATA 5\n"));
        setRect({10, 20, 30, 40});
        const QImage before = image()->bitmap();
        const QImage texture = image()->grab().toImage();
        const int32_t width = BILWidth, height = BILHeight, noData = BILNoData;

        // Through the routine Open, a drop and the command line share.
        QString shownMessage;
        answerModal([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal)) shownMessage = box->text();
            c.answer(modal);
        });
        TApplication::ReportErrors([&] { window->openFile(c.path); });
        EXPECT_EQ(shownMessage, c.message);
        EXPECT_EQ(window->windowTitle(), "RELIEVA - good.bil");
        EXPECT_EQ(BILCaption(), "RELIEVA - good.bil");
        EXPECT_EQ(image()->bitmap(), before);
        EXPECT_EQ(image()->grab().toImage(), texture);
        EXPECT_EQ(window->cropRect(), (Rect{10, 20, 30, 40}));
        EXPECT_EQ(shown(), (Rect{10, 20, 30, 40}));
        EXPECT_EQ(spin("SpinBoxX1")->maximum(), 200);
        EXPECT_EQ(spin("SpinBoxY1")->maximum(), 100);
        EXPECT_TRUE(line("LineX0")->isVisible());
        EXPECT_EQ(BILWidth, width);
        EXPECT_EQ(BILHeight, height);
        EXPECT_EQ(BILNoData, noData);

        const QString name = dir.filePath(QStringLiteral("after"));
        QFile::remove(name + ".-tx.png");
        QFile::remove(name + ".-ht.png");
        save(name, 1);
        const QImage written(name + ".-tx.png");
        EXPECT_EQ(written.size(), QSize(20, 20));
    }
}

TEST_F(MainWindowTest, ARefusalOnAnEmptyWindowLeavesItEmpty)
{
    QString shownError;
    open(writeGrid(dir, "refused", 200, 100, "NROWS 0\n"), [&](QWidget *modal) {
        shownError = qobject_cast<QMessageBox *>(modal)->text();
        modal->close();
    });
    EXPECT_EQ(shownError, "Width or Height is not correct.");
    EXPECT_EQ(window->windowTitle(), "RELIEVA");
    EXPECT_TRUE(image()->bitmap().isNull());
    EXPECT_EQ(shown(), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(spin("SpinBoxX1")->maximum(), 0);
    EXPECT_FALSE(line("LineX0")->isVisible());

    // Save then writes nothing and says at once what it says before any Open.
    QString refusal;
    click("fbSave", [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr) << "a name was asked for first";
        refusal = box->text();
        modal->close();
    });
    EXPECT_EQ(refusal, "The selected region is empty.");
    EXPECT_FALSE(QFile::exists(dir.filePath("nothing.-tx.png")));
}

TEST_F(MainWindowTest, SaveWritesTheCropWithTheChosenTypeAndRadius)
{
    open(writeGrid(dir, "tile", 200, 100));
    setRect({20, 10, 120, 60});
    type("SpinBox1", "3");
    QString preselected;
    save(dir.filePath("terrain.png"), 0, &preselected);
    EXPECT_EQ(preselected, "PNG File (*.png)");
    const QImage texture(dir.filePath("terrain.-tx.bmp"));
    EXPECT_EQ(texture.size(), QSize(100, 50));
    EXPECT_TRUE(QFile::exists(dir.filePath("terrain.-ht.bmp")));

    // PNG is offered again after a BMP save; a typed extension gives way to the type.
    save(dir.filePath("second.bmp"), 1, &preselected);
    EXPECT_EQ(preselected, "PNG File (*.png)");
    EXPECT_EQ(QImage(dir.filePath("second.-ht.png")).size(), QSize(100, 50));

    // The window stays as it was; a cancelled dialog writes nothing.
    EXPECT_EQ(window->cropRect(), (Rect{20, 10, 120, 60}));
    click("fbSave", [](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    EXPECT_EQ(QDir(dir.path()).entryList({"*.-tx.*"}).size(), 2);
}

TEST_F(MainWindowTest, TheThirdTypeWritesA16BitHeightmap)
{
    // Heights are the column numbers, so a crop's lowest and highest are its
    // first and last column. A range of 2 puts the middle level on a half.
    const Rect crops[] = {{20, 10, 120, 60}, {20, 0, 23, 5}, {37, 0, 38, 4}};
    const QString grid = writeGrid(dir, "tile", 200, 100);
    for (const Rect &crop : crops) {
        open(grid);
        setRect(crop);
        // Fresh names each time: saving over the last ones would ask first.
        for (const char *name : {"plain.-tx.png", "plain.-ht.png", "deep.-tx.png", "deep.-ht.png"})
            QFile::remove(dir.filePath(name));
        save(dir.filePath("plain"), 1);
        QString preselected;
        save(dir.filePath("deep.bmp"), 2, &preselected);
        EXPECT_EQ(preselected, "PNG File (*.png)");

        const QImage texture(dir.filePath("deep.-tx.png"));
        const QImage plain(dir.filePath("plain.-tx.png"));
        ASSERT_FALSE(texture.isNull());
        EXPECT_EQ(texture.convertToFormat(QImage::Format_ARGB32),
                  plain.convertToFormat(QImage::Format_ARGB32));

        const QImage heightmap(dir.filePath("deep.-ht.png"));
        const int w = crop[2] - crop[0], h = crop[3] - crop[1];
        ASSERT_EQ(heightmap.format(), QImage::Format_Grayscale16);
        ASSERT_EQ(heightmap.size(), QSize(w, h));
        const int lowest = crop[0], highest = crop[2] - 1;
        long wrong = 0;
        for (int j = 0; j < h; ++j) {
            const auto *row = reinterpret_cast<const uint16_t *>(heightmap.constScanLine(j));
            for (int i = 0; i < w; ++i) {
                const int height = crop[0] + i;
                // Halves go to the even level: the default rounding of nearbyint.
                const auto level = uint16_t(
                    highest > lowest
                        ? std::nearbyint(double(height - lowest) / (highest - lowest) * 65535.0)
                        : 0.0);
                if (row[i] != level && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << i << ", " << j << ": " << row[i] << ", expected "
                                  << level;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    // A 16-bit save leaves PNG pre-selected for the next one.
    QString preselected;
    save(dir.filePath("next"), 1, &preselected);
    EXPECT_EQ(preselected, "PNG File (*.png)");
    EXPECT_FALSE(QFile::exists(dir.filePath("deep.bmp")));
    EXPECT_TRUE(QDir(dir.path()).entryList({"*w"}).isEmpty()); // no world files
}

TEST_F(MainWindowTest, AfterASaveTheNoteTellsTheRangeAndTheGreyStep)
{
    // Heights 0..1599 along the rows: columns 12..1534 span 1522 m.
    const Rect ramp{12, 0, 1535, 2}, flat{37, 0, 38, 2};
    const struct
    {
        const char *locale;
        int choice;
        Rect crop;
        const char *text;
    } cases[] = {
        {"en_US.UTF-8", 0, ramp, "Heights 12 m to 1534 m · 5.97 m per grey level"},
        {"en_US.UTF-8", 1, ramp, "Heights 12 m to 1534 m · 5.97 m per grey level"},
        {"en_US.UTF-8", 2, ramp,
         "Heights 12 m to 1534 m · 0.0232 m per grey level\nUnreal Z scale 297.27 · Unity height "
         "1522 m"},
        {"en_US.UTF-8", 5, ramp, "Heights 12 m to 1534 m"},
        {"en_US.UTF-8", 2, flat, "All heights 37 m"},
        {"ja_JP.UTF-8", 0, ramp, "高さ 12 m ～ 1534 m・1 階調 5.97 m"},
        {"ja_JP.UTF-8", 2, ramp,
         "高さ 12 m ～ 1534 m・1 階調 0.0232 m\nUnreal の Z スケール 297.27・Unity の高さ 1522 m"},
        {"ja_JP.UTF-8", 1, flat, "高さは全て 37 m"},
    };
    const QString grid = writeGrid(dir, "ramp", 1600, 2);
    int saved = 0; // each save under a new name, so that none asks to replace
    for (const auto &c : cases) {
        const LocaleEnvironment locale({nullptr, nullptr, c.locale});
        restart();
        open(grid);
        setRect(c.crop);
        EXPECT_FALSE(note()->isVisible());
        save(dir.filePath(QStringLiteral("out%1").arg(++saved)), c.choice);
        EXPECT_TRUE(note()->isVisible()) << c.text;
        EXPECT_EQ(note()->text(), QString::fromUtf8(c.text));
        // Over the preview, near its bottom.
        EXPECT_EQ(note()->parentWidget(), image());
        EXPECT_GT(note()->geometry().top(), image()->height() / 2);
    }
    // Very small steps keep three digits.
    const auto english = englishUser();
    EXPECT_EQ(SavedRangeNote({0, 1}, 16), "Heights 0 m to 1 m · 0.0000153 m per grey level\n"
                                          "Unreal Z scale 0.20 · Unity height 1 m");
    EXPECT_EQ(SavedRangeNote({-500, 8848}, 8), "Heights -500 m to 8848 m · 36.7 m per grey level");
}

TEST_F(MainWindowTest, TheNoteGivesWayToTheNextAction)
{
    const QString grid = writeGrid(dir, "tile", 300, 150);
    open(grid);
    bool hiddenWhileDialogOpen = false;
    const auto cancel = [&](QWidget *modal) {
        hiddenWhileDialogOpen = !note()->isVisible();
        qobject_cast<QDialog *>(modal)->reject();
    };
    const struct
    {
        const char *action;
        std::function<void()> act;
    } actions[] = {
        // Through the window system, so the press lands where the pointer is:
        // on the preview under the note.
        {"a press on the preview",
         [&] {
             const QPoint inImage = note()->geometry().center();
             const QPoint at = image()->mapTo(window.get(), inImage);
             QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at);
             QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at);
             // The press set the rectangle's corner in the row under the note.
             EXPECT_EQ(window->cropRect()[1],
                       int(std::trunc((inImage.y() - window->offset().y()) / window->zoom())));
         }},
        {"a press on a line",
         [&] {
             QTest::mousePress(line("LineY0"), Qt::LeftButton, {}, QPoint(100, 2));
             QTest::mouseRelease(line("LineY0"), Qt::LeftButton, {}, QPoint(100, 2));
         }},
        {"a key in a spin box", [&] { type("SpinBoxX0", "5"); }},
        {"a key in the smoothing box", [&] { type("SpinBox1", "1"); }},
        {"Open", [&] { click("fbOpen", cancel); }},
        {"Save", [&] { click("fbSave", cancel); }},
        {"About", [&] { click("fbAbout"); }},
    };
    int saved = 0; // each save under a new name, so that none asks to replace
    for (const auto &a : actions) {
        setRect({0, 0, 300, 150});
        save(dir.filePath(QStringLiteral("out%1").arg(++saved)), 1);
        ASSERT_TRUE(note()->isVisible()) << a.action;
        hiddenWhileDialogOpen = true;
        a.act();
        EXPECT_FALSE(note()->isVisible()) << a.action;
        EXPECT_TRUE(hiddenWhileDialogOpen) << a.action;
    }

    // Left alone, it goes after its time.
    note()->setDuration(20);
    save(dir.filePath("last"), 1);
    EXPECT_TRUE(note()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !note()->isVisible(); }));
}

TEST_F(MainWindowTest, AboutOpensTheAboutDialog)
{
    click("fbAbout");
    EXPECT_EQ(aboutShown, 1);
}

} // namespace

// Each command's key, pressed in the window, runs the command.
TEST_F(MainWindowTest, ShortcutsRunTheCommands)
{
    window->openFile(writeGrid(dir, "tile", 20, 10)); // something to save
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const struct
    {
        QKeyCombination key;
        QFileDialog::AcceptMode dialog;
    } dialogs[] = {
        {Qt::CTRL | Qt::Key_O, QFileDialog::AcceptOpen},
        {Qt::CTRL | Qt::Key_S, QFileDialog::AcceptSave},
    };
    // A closed dialog hands activation back later; a key goes to the active window.
    const auto activate = [&] {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }));
    };
    for (const auto &d : dialogs) {
        activate();
        std::optional<QFileDialog::AcceptMode> shown;
        answerModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            ASSERT_NE(dialog, nullptr);
            shown = dialog->acceptMode();
            dialog->reject();
        });
        QTest::keyClick(window.get(), d.key.key(), d.key.keyboardModifiers());
        EXPECT_EQ(shown, d.dialog) << QKeySequence(d.key).toString().toStdString();
    }
    activate();
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(aboutShown, 1);
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, TheButtonsNameTheirShortcuts)
{
    EXPECT_EQ(child<TFMXFlatBtn>("fbOpen")->toolTip(), "Open a grid (Ctrl+O)");
    EXPECT_EQ(child<TFMXFlatBtn>("fbSave")->toolTip(),
              "Save the texture and the heightmap (Ctrl+S)");
    EXPECT_EQ(child<TFMXFlatBtn>("fbAbout")->toolTip(), "About RELIEVA (F1)");
    const auto japanese = japaneseUser();
    TFrmMain jp([] {});
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbOpen")->toolTip(), "グリッドを開く (Ctrl+O)");
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbSave")->toolTip(),
              "テクスチャと高さマップを保存 (Ctrl+S)");
    EXPECT_EQ(jp.findChild<TFMXFlatBtn *>("fbAbout")->toolTip(), "RELIEVA について (F1)");
}

// Tab walks the strip from left to right, and Enter or Space runs the focused button.
TEST_F(MainWindowTest, TabReachesTheButtonsAndKeysPressThem)
{
    window->openFile(writeGrid(dir, "tile", 20, 10)); // something to save
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const char *order[] = {"fbOpen",    "fbSave",    "SpinBox1",  "SpinBoxX0",
                           "SpinBoxY0", "SpinBoxX1", "SpinBoxY1", "fbAbout"};
    child<QWidget>("fbAbout")->setFocus(Qt::TabFocusReason);
    const auto focused = [] {
        for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (!w->objectName().isEmpty() && w->objectName() != "qt_spinbox_lineedit")
                return w->objectName();
        return QString();
    };
    for (const char *name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(focused(), name);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focused(), "SpinBoxY1");

    const struct
    {
        const char *button;
        Qt::Key key;
    } presses[] = {{"fbOpen", Qt::Key_Return}, {"fbSave", Qt::Key_Space}};
    for (const auto &p : presses) {
        child<QWidget>(p.button)->setFocus(Qt::TabFocusReason);
        bool dialogShown = false;
        answerModal([&](QWidget *modal) {
            dialogShown = qobject_cast<QFileDialog *>(modal) != nullptr;
            qobject_cast<QDialog *>(modal)->reject();
        });
        QTest::keyClick(child<QWidget>(p.button), p.key);
        EXPECT_TRUE(dialogShown) << p.button;
    }
    child<QWidget>("fbAbout")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(child<QWidget>("fbAbout"), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(aboutShown, 1);
}

// The focused button shows a ring in either look; a click gives focus without one.
TEST_F(MainWindowTest, TheFocusedButtonShowsARing)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto *save = child<TFMXFlatBtn>("fbSave");
    for (bool light : {true, false}) {
        IsLightTheme = light;
        window->ThemeUpdate();
        child<QWidget>("SpinBox1")->setFocus(Qt::TabFocusReason);
        const QImage plain = save->grab().toImage();
        save->setFocus(Qt::TabFocusReason);
        const QImage ringed = save->grab().toImage();
        EXPECT_NE(ringed, plain) << (light ? "light" : "dark");
        // The ring's colour reads on the look's background.
        EXPECT_EQ(ringed.pixel(1, ringed.height() / 2) & 0xFFFFFF, light ? 0x000000u : 0xFFFFFFu);
        child<QWidget>("SpinBox1")->setFocus(Qt::TabFocusReason);
        QTest::mousePress(save, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::mouseRelease(save, Qt::LeftButton, {}, QPoint(300, 300)); // outside: no save
        EXPECT_TRUE(save->hasFocus());
        EXPECT_EQ(save->grab().toImage(), plain);
    }
    IsLightTheme = true;
}

// A dropped local file opens as if chosen in the Open dialog; anything else is ignored.
TEST_F(MainWindowTest, ADroppedFileOpens)
{
    // Placed side by side in map units: dropped together, one grid.
    const QString first = writeGrid(dir, "first", 200, 100, "ULXMAP 0.5\nULYMAP 99.5\n");
    const QString second = writeGrid(dir, "second", 100, 50, "ULXMAP 200.5\nULYMAP 99.5\n");
    const struct
    {
        const char *what;
        QList<QUrl> urls;
        QString title; // afterwards, starting from second.bil
        Rect shown{0, 0, 200, 100};
    } cases[] = {
        {"one file", {QUrl::fromLocalFile(first)}, "RELIEVA - first.bil"},
        {"several files",
         {QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)},
         "RELIEVA - first.bil + 1",
         {0, 0, 300, 100}},
        {"a web address", {QUrl("https://example.org/first.bil")}, "RELIEVA - second.bil"},
        {"a folder", {QUrl::fromLocalFile(dir.path())}, "RELIEVA - second.bil"},
        {"no address", {}, "RELIEVA - second.bil"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        open(second);
        ASSERT_EQ(window->windowTitle(), "RELIEVA - second.bil");
        QMimeData data;
        if (c.urls.isEmpty())
            data.setText("first.bil");
        else
            data.setUrls(c.urls);
        const QPoint at = image()->mapTo(window.get(), QPoint(300, 150));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window.get(), &enter);
        const bool opens = c.title != "RELIEVA - second.bil";
        EXPECT_EQ(enter.isAccepted(), opens);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window.get(), &drop);
        QCoreApplication::processEvents(); // the open is queued
        EXPECT_EQ(window->windowTitle(), c.title);
        if (opens) {
            EXPECT_EQ(shown(), c.shown);
        }
    }
}

// At start the note tells how to open a grid, and why textures will be
// transparent when the colour table is missing or of no use.
TEST_F(MainWindowTest, TheStartNote)
{
    const QString savedDefault = BILDefaultColorTable();
    const QString savedFolder = QDir::currentPath();
    QTemporaryDir empty;
    ASSERT_TRUE(QDir::setCurrent(empty.path()));
    const QString here = QDir::toNativeSeparators(QDir(empty.path()).filePath("RELIEVA.txt"));
    const QString installed = QDir::toNativeSeparators(dir.filePath("RELIEVA.txt"));
    const auto useTable = [&](bool present, const QString &problem) {
        QFile::remove(installed);
        if (present) {
            QFile table(installed);
            EXPECT_TRUE(table.open(QIODevice::WriteOnly));
        }
        BILDefaultColorTable() = installed;
        BILColorTableProblem = problem;
    };
    const QString hint = "Open a grid with the Open button, Ctrl+O, or by dropping its file here.";
    const struct
    {
        const char *what;
        bool present;
        QString problem;
        bool opening;
        QString note;
    } cases[] = {
        {"a table", true, {}, false, hint},
        {"a table, a file given", true, {}, true, {}},
        {"no table",
         false,
         {},
         false,
         "No colour table was found: textures will be transparent.\nLooked for " + here + " and " +
             installed + ".\n" + hint},
        {"no table, a file given",
         false,
         {},
         true,
         "No colour table was found: textures will be transparent.\nLooked for " + here + " and " +
             installed + "."},
        {"an empty table", true, "The colour table is empty: textures will be transparent.", false,
         "The colour table is empty: textures will be transparent.\n" + hint},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        useTable(c.present, c.problem);
        restart();
        window->showStartNote(c.opening);
        EXPECT_EQ(note()->isVisible(), !c.note.isEmpty());
        if (!c.note.isEmpty()) {
            EXPECT_EQ(note()->text(), c.note);
        }
        // Said here, so the core does not say it again in a box.
        EXPECT_TRUE(BILColorTableProblem.isEmpty());
    }

    // The first preview the table leaves blank repeats the reason, without a box.
    useTable(true, "The colour table is empty: textures will be transparent.");
    restart();
    window->showStartNote(false);
    open(writeGrid(dir, "blank", 20, 10));
    EXPECT_TRUE(note()->isVisible());
    EXPECT_EQ(note()->text(), "The colour table is empty: textures will be transparent.");
    open(writeGrid(dir, "again", 20, 10));
    EXPECT_FALSE(note()->isVisible());

    const auto japanese = japaneseUser();
    useTable(false, {});
    restart();
    window->showStartNote(false);
    EXPECT_EQ(note()->text(),
              "色テーブルが見つからないため、テクスチャは透明になります。\n探した場所: " + here +
                  "、" + installed +
                  "\n「開く」ボタン、Ctrl+O、またはファイルのドロップでグリッドを開きます。");

    QFile::remove(installed);
    BILDefaultColorTable() = savedDefault;
    ASSERT_TRUE(QDir::setCurrent(savedFolder));
}

// Either derived name taken: one question naming both; No writes nothing.
TEST_F(MainWindowTest, SavingOverEarlierImagesAsksFirst)
{
    open(writeGrid(dir, "tile", 20, 10));
    const QString texture = dir.filePath("terrain.-tx.png");
    const QString heightmap = dir.filePath("terrain.-ht.png");
    const struct
    {
        const char *what;
        QString existing;
        QMessageBox::StandardButton answer;
        bool written;
    } cases[] = {
        {"texture there, No", texture, QMessageBox::No, false},
        {"heightmap there, No", heightmap, QMessageBox::No, false},
        {"texture there, Escape", texture, QMessageBox::Escape, false},
        {"texture there, Yes", texture, QMessageBox::Yes, true},
        {"heightmap there, Yes", heightmap, QMessageBox::Yes, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(texture);
        QFile::remove(heightmap);
        {
            QFile old(c.existing);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        QString question;
        save(dir.filePath("terrain"), 1, nullptr, [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_NE(box, nullptr);
            question = box->text();
            if (c.answer == QMessageBox::Escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(c.answer)->click();
        });
        EXPECT_EQ(question, "\"terrain.-tx.png\" or \"terrain.-ht.png\" already exists.\n"
                            "Do you want to replace them?");
        EXPECT_EQ(QImage(texture).size(), c.written ? QSize(20, 10) : QSize(0, 0));
        EXPECT_EQ(QFile::exists(heightmap), c.written || c.existing == heightmap);
    }
    // Fresh names: no question.
    save(dir.filePath("fresh"), 1);
    EXPECT_TRUE(QFile::exists(dir.filePath("fresh.-tx.png")));
}

// A save that does not fit on the disk says why and leaves the earlier images.
TEST_F(MainWindowTest, ASaveThatDoesNotFitKeepsTheEarlierImages)
{
    const QString folder = dir.filePath("full");
    FullDisk disk(folder);
    open(writeGrid(dir, "tile", 300, 200));
    save(folder + "/terrain", 1);
    const QByteArray texture = readFile(folder + "/terrain.-tx.png");
    const QByteArray heightmap = readFile(folder + "/terrain.-ht.png");
    ASSERT_FALSE(texture.isEmpty());

    type("SpinBox1", "2");
    disk.leaveRoom(0);
    QString shownError;
    save(folder + "/terrain", 1, nullptr, [&](QWidget *question) {
        answerModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_NE(box, nullptr);
            shownError = box->text();
            box->accept();
        });
        qobject_cast<QMessageBox *>(question)->button(QMessageBox::Yes)->click();
    });
    const QString reason = disk.mounted() ? qt_error_string(ENOSPC) : qt_error_string(EFBIG);
    EXPECT_EQ(shownError,
              QStringLiteral("Cannot write \"%1/terrain.-tx.png\": %2").arg(folder, reason));
    EXPECT_EQ(readFile(folder + "/terrain.-tx.png"), texture);
    EXPECT_EQ(readFile(folder + "/terrain.-ht.png"), heightmap);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({"fill", "terrain.-ht.png", "terrain.-tx.png"}));
}

// Choosing an engine picks its type and nearest size; tiles and the engine's
// sidecar are written, the note gives the engines' scales, and the choices
// are there again in the next run. Square metres squeeze a grid in degrees.
TEST_F(MainWindowTest, TheSaveChoicesMakeAnEnginesTilesAndAreKept)
{
    const QString grid = writeGridInDegrees(dir, "geo", 300, 200);
    open(grid);
    setRect({0, 0, 260, 200});

    const auto choice = [](QFileDialog *dialog, const char *name) {
        QWidget *w = dialog->findChild<QWidget *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    };
    QString type, size;
    bool squareOffered = false;
    click("fbSave", [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        auto *engine = qobject_cast<QComboBox *>(choice(dialog, "engine"));
        engine->setFocus();
        QTest::keyClick(engine, Qt::Key_Down); // Unreal Engine
        QTest::keyClick(engine, Qt::Key_Down); // Unity
        type = dialog->selectedNameFilter();
        size = qobject_cast<QComboBox *>(choice(dialog, "size"))->currentText();
        squareOffered = choice(dialog, "squareMetres")->isEnabled();
        qobject_cast<QSpinBox *>(choice(dialog, "tilesAcross"))->setValue(2);
        qobject_cast<QSpinBox *>(choice(dialog, "tilesDown"))->setValue(2);
        qobject_cast<QCheckBox *>(choice(dialog, "fillVoids"))->setChecked(true);
        enterFileName(dialog, dir.filePath("unity"));
    });
    EXPECT_EQ(type, "RAW File, 16-bit heightmap (*.r16)");
    EXPECT_EQ(size, "Nearest, 257 × 257");
    EXPECT_TRUE(squareOffered);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            const QString stem = dir.filePath(QStringLiteral("unity_x%1_y%2.-").arg(c).arg(r));
            EXPECT_EQ(QFileInfo(stem + "ht.r16").size(), 129 * 129 * 2) << c << r;
            EXPECT_EQ(QImage(stem + "tx.png").size(), QSize(129, 129)) << c << r;
            EXPECT_TRUE(QFile::exists(stem + "ht.json")) << c << r;
        }
    EXPECT_TRUE(note()->text().contains("Unreal Z scale")) << note()->text().toStdString();

    restart();
    open(grid);
    setRect({0, 0, 260, 200});
    click("fbSave", [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(qobject_cast<QComboBox *>(choice(dialog, "engine"))->currentText(), "Unity");
        EXPECT_EQ(dialog->selectedNameFilter(), "RAW File, 16-bit heightmap (*.r16)");
        EXPECT_EQ(qobject_cast<QSpinBox *>(choice(dialog, "tilesDown"))->value(), 2);
        EXPECT_TRUE(qobject_cast<QCheckBox *>(choice(dialog, "fillVoids"))->isChecked());
        // Back to no engine, one tile, square metres: PNG as cropped, squeezed east-west.
        auto *engine = qobject_cast<QComboBox *>(choice(dialog, "engine"));
        engine->setFocus();
        QTest::keyClick(engine, Qt::Key_Home);
        EXPECT_EQ(dialog->selectedNameFilter(), "PNG File (*.png)");
        qobject_cast<QSpinBox *>(choice(dialog, "tilesAcross"))->setValue(1);
        qobject_cast<QSpinBox *>(choice(dialog, "tilesDown"))->setValue(1);
        qobject_cast<QCheckBox *>(choice(dialog, "squareMetres"))->setChecked(true);
        enterFileName(dialog, dir.filePath("square"));
    });
    const QImage square(dir.filePath("square.-ht.png"));
    EXPECT_NEAR(square.width(), 260 * std::cos(57.9 * M_PI / 180), 2);
    EXPECT_EQ(square.height(), 200);
    EXPECT_FALSE(QFile::exists(dir.filePath("square.-ht.json")));
}

// On a grid in degrees the corner boxes take longitude and latitude: the
// cells whose centres lie within; on a grid that does not say where it lies,
// they do not.
TEST_F(MainWindowTest, TheCornersTakeDegreesOnAGridThatSaysWhereItLies)
{
    const QString grid = writeGridInDegrees(dir, "geo", 300, 200);
    open(grid);
    type("SpinBoxX1", "11.1033E");
    type("SpinBoxY1", "57.9126 N");
    type("SpinBoxX0", "11.0207°");
    type("SpinBoxY0", "57.98n");
    EXPECT_EQ(window->cropRect(), (Rect{21, 20, 103, 87}));

    open(writeGrid(dir, "plain", 300, 200));
    setRect({10, 10, 50, 50});
    type("SpinBoxX1", "11.1E");
    EXPECT_EQ(window->cropRect(), (Rect{10, 10, 50, 50}));
}

// The overwrite question's buttons say what they do, in the user's language.
TEST_F(MainWindowTest, TheOverwriteQuestionAnswersReplaceOrCancel)
{
    open(writeGrid(dir, "tile", 20, 10));
    save(dir.filePath("terrain"), 1);
    const QDateTime written = QFileInfo(dir.filePath("terrain.-tx.png")).lastModified();
    const auto buttonsOfTheQuestion = [&] {
        QStringList buttons;
        save(dir.filePath("terrain"), 1, nullptr, [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_NE(box, nullptr);
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
            QTest::keyClick(box, Qt::Key_Return); // the default keeps the files
        });
        buttons.sort();
        return buttons;
    };
    EXPECT_EQ(buttonsOfTheQuestion(), QStringList({"Cancel", "Replace"}));
    {
        const auto japanese = japaneseUser();
        EXPECT_EQ(buttonsOfTheQuestion(), QStringList({"キャンセル", "置き換える"}));
    }
    EXPECT_EQ(QFileInfo(dir.filePath("terrain.-tx.png")).lastModified(), written);
}

// The Save dialog proposes the grid's own name.
TEST_F(MainWindowTest, SaveProposesTheGridsName)
{
    open(writeGrid(dir, "N57E011", 20, 10));
    QString proposed;
    click("fbSave", [&](QWidget *modal) {
        auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        proposed = edit->text();
        qobject_cast<QDialog *>(modal)->reject();
    });
    EXPECT_EQ(proposed, "N57E011");
}

// A window left empty by a refused open or a cancelled dialog says again how
// to open a grid.
TEST_F(MainWindowTest, TheStartNoteComesBackOnAWindowLeftEmpty)
{
    const QString hint = "Open a grid with the Open button, Ctrl+O, or by dropping its file here.";
    window->showStartNote(false);
    ASSERT_TRUE(note()->text().endsWith(hint));
    open(writeGrid(dir, "refused", 200, 100, "NROWS 0\n"), [](QWidget *modal) { modal->close(); });
    EXPECT_TRUE(note()->isVisible());
    EXPECT_TRUE(note()->text().endsWith(hint)) << note()->text().toStdString();

    click("fbOpen", [](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    EXPECT_TRUE(note()->isVisible());

    open(writeGrid(dir, "good", 20, 10));
    click("fbOpen", [](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    EXPECT_FALSE(note()->isVisible()) << "a grid is shown";
}

// Typing in a dialog replaces the name left from its last run.
TEST_F(MainWindowTest, TypingReplacesTheNameLeftInTheDialog)
{
    const QString first = writeGrid(dir, "first", 20, 10);
    const QString second = writeGrid(dir, "second", 30, 10);
    open(first);
    ASSERT_EQ(window->windowTitle(), "RELIEVA - first.bil");
    click("fbOpen", [&](QWidget *modal) {
        auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (edit) {
            EXPECT_FALSE(edit->text().isEmpty());
            QTest::keyClicks(edit, second);
            edit->completer()->popup()->hide();
            QTest::keyClick(edit, Qt::Key_Return);
        }
        // A name the typing went on from is no file: the dialog stays.
        if (modal->isVisible()) qobject_cast<QDialog *>(modal)->reject();
    });
    EXPECT_EQ(window->windowTitle(), "RELIEVA - second.bil");
}

// The dialogs start in the folder last used, also after a restart.
TEST_F(MainWindowTest, TheDialogsStartInTheLastFolder)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("grids") && QDir(dir.path()).mkpath("images"));
    const QString grids = dir.filePath("grids"), images = dir.filePath("images");
    open(writeGrid(dir, "grids/tile", 20, 10));
    save(images + "/out", 1);
    ASSERT_TRUE(QFile::exists(images + "/out.-tx.png"));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        QString openFolder, saveFolder;
        click("fbOpen", [&](QWidget *modal) {
            openFolder = qobject_cast<QFileDialog *>(modal)->directory().path();
            qobject_cast<QDialog *>(modal)->reject();
        });
        click("fbSave", [&](QWidget *modal) {
            saveFolder = qobject_cast<QFileDialog *>(modal)->directory().path();
            qobject_cast<QDialog *>(modal)->reject();
        });
        EXPECT_EQ(openFolder, grids);
        EXPECT_EQ(saveFolder, images);
        restart();
        window->openFile(grids + "/tile.bil"); // something to save
    }
    EXPECT_TRUE(QFile::exists(settingsDir.filePath("relieva/relieva.conf")));
}

namespace {

// Long work: the window shows how far it has got after a moment, in the
// user's language, with the commands that would conflict unavailable; a
// cancelled open keeps the grid shown. The layout question holds the open
// at its start for as long as the test needs.
TEST_F(MainWindowTest, ACancelledOpenKeepsTheGridShown)
{
    writeFile(dir.filePath("raw.hgt"), QByteArray(1201 * 1201 * 2, '\0'));
    const struct
    {
        LocaleEnvironment (*user)();
        const char *text;
    } languages[] = {{englishUser, "Reading raw.hgt… 0 %"},
                     {japaneseUser, "raw.hgt を読み込み中… 0 %"}};
    for (const auto &l : languages) {
        const LocaleEnvironment locale = l.user();
        restart();
        auto *work = window->findChild<TBackgroundWork *>();
        ASSERT_NE(work, nullptr);
        QSignalSpy progressed(work, &TBackgroundWork::progressed);
        open(writeGrid(dir, "kept", 300, 150));
        EXPECT_EQ(progressed.count(), 0) << "a quick open shows nothing";
        setRect({10, 20, 30, 40});
        const QString title = window->windowTitle();
        const QImage preview = image()->bitmap();

        auto *progress = child<TFMXProgress>("progress");
        bool asked = false;
        open(dir.filePath("raw.hgt"), [&](QWidget *layoutQuestion) {
            asked = true;
            QTest::qWait(TBackgroundWork::QuietMilliseconds + 300);
            EXPECT_TRUE(progress->isVisible());
            EXPECT_EQ(progress->text(), QString::fromUtf8(l.text));
            for (const char *command : {"fbOpen", "fbSave"})
                EXPECT_FALSE(child<QWidget>(command)->isEnabled()) << command;
            for (const char *box : {"SpinBox1", "SpinBoxX0", "SpinBoxY1"})
                EXPECT_FALSE(spin(box)->isEnabled()) << box;
            EXPECT_FALSE(image()->isEnabled());
            child<QPushButton>("progressCancel")->click();
            QTest::keyClick(layoutQuestion, Qt::Key_Return);
        });
        EXPECT_TRUE(asked);
        EXPECT_FALSE(progress->isVisible());
        EXPECT_EQ(window->windowTitle(), title);
        EXPECT_EQ(image()->bitmap(), preview);
        EXPECT_EQ(shown(), (Rect{10, 20, 30, 40}));
        EXPECT_TRUE(child<QWidget>("fbSave")->isEnabled());
        EXPECT_TRUE(image()->isEnabled());
    }
}

// A save cancelled while it waits on the colour table's error box leaves
// every file as the save before wrote it; Escape is the cancel's key.
TEST_F(MainWindowTest, ACancelledSaveLeavesEveryFileAsItWas)
{
    open(writeGrid(dir, "tile", 300, 150));
    save(dir.filePath("terrain"), 2);
    QMap<QString, QByteArray> before;
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        before[name] = readFile(dir.filePath(name));
    ASSERT_TRUE(before.contains("terrain.-ht.png"));
    note()->dismiss();

    auto *cancel = child<QAction>("cancelWork");
    EXPECT_EQ(cancel->shortcut(), QKeySequence(Qt::Key_Escape));
    EXPECT_FALSE(cancel->isEnabled()) << "Escape means nothing without work";
    BILColorTableProblem = QStringLiteral("The colour table holds no colour line.");
    bool toldOfTheTable = false;
    QWidget *focused = nullptr;
    save(dir.filePath("terrain"), 1, nullptr, [&](QWidget *question) {
        focused = window->focusWidget();
        answerModal([&](QWidget *errorBox) {
            toldOfTheTable = true;
            EXPECT_TRUE(cancel->isEnabled());
            cancel->trigger();
            QTest::keyClick(errorBox, Qt::Key_Return);
        });
        auto *box = qobject_cast<QMessageBox *>(question);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Yes)->click(); // Replace
    });
    EXPECT_TRUE(toldOfTheTable);
    QMap<QString, QByteArray> after;
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        after[name] = readFile(dir.filePath(name));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(note()->isVisible()) << "no heights are told of a save that did not happen";
    EXPECT_FALSE(cancel->isEnabled());
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(window->focusWidget(), focused) << "keys go on where they were";
}

// Closing the window during an open cancels it, and then closes.
TEST_F(MainWindowTest, ClosingDuringWorkCancelsItAndThenCloses)
{
    open(writeGrid(dir, "kept", 30, 15));
    const QString title = window->windowTitle();
    writeFile(dir.filePath("raw.hgt"), QByteArray(1201 * 1201 * 2, '\0'));
    open(dir.filePath("raw.hgt"), [&](QWidget *layoutQuestion) {
        window->close();
        EXPECT_TRUE(window->isVisible()) << "not while the work goes on";
        QTest::keyClick(layoutQuestion, Qt::Key_Return);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(window->windowTitle(), title);
}

} // namespace
