// Renders the main window with a terrain preview, again with the note after
// a save and with the pointer readout, empty with the notes at start, the
// dialogs, the Save dialog with its choices, and the standard dialogs
// the style sheets dress, in both looks, into a directory for the documentation:
//   relieva_screenshots docs/screenshots [WIDTHxHEIGHT]
// The optional size is the main window's client area (800x520 by default).
// The offscreen platform draws no window frame, so a plain title bar is added.

#include "bench/terrain.h"
#include "components/uFMXFrmAbout.h"
#include "components/uFMXProgress.h"
#include "components/uFMXTheme.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uFrmMain.h"
#include "mainwindow/uFrmOption.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int TitleBarHeight = 32;

void applyLook(bool light)
{
    IsLightTheme = light;
    qApp->setStyleSheet(ThemeStyleSheet());
}

// The window's client area under a title bar with its caption and, where the
// window has one, the close button; extra is drawn over the client area at
// its offset (a pop-up).
QImage framed(QWidget &window, bool closeButton, QWidget *extra = nullptr)
{
    const QPixmap client = window.grab();
    QRect area(QPoint(0, 0), client.size());
    QPoint extraAt;
    if (extra) {
        extraAt = extra->geometry().topLeft() - window.geometry().topLeft();
        area = area.united(QRect(extraAt, extra->size()));
    }
    QImage image(area.width(), area.height() + TitleBarHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(IsLightTheme ? QColor(0xF3F3F3) : QColor(0x202020));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = IsLightTheme ? QColor(0x1A1A1A) : QColor(0xFFFFFF);
    painter.setPen(ink);
    painter.drawText(QRect(12, 0, client.width() - 60, TitleBarHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    if (closeButton) {
        const QPointF centre(client.width() - 23, TitleBarHeight / 2.0);
        painter.setPen(QPen(ink, 1.0));
        painter.drawLine(centre + QPointF(-5, -5), centre + QPointF(5, 5));
        painter.drawLine(centre + QPointF(-5, 5), centre + QPointF(5, -5));
    }
    painter.drawPixmap(0, TitleBarHeight, client);
    if (extra) painter.drawPixmap(extraAt + QPoint(0, TitleBarHeight), extra->grab());
    painter.setPen(IsLightTheme ? QColor(0xC8C8C8) : QColor(0x3A3A3A));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(QRect(0, 0, client.width() - 1, client.height() + TitleBarHeight - 1));
    return image;
}

class Shooter
{
public:
    explicit Shooter(const QString &directory) : dir(directory) {}

    void save(const QImage &image, const QString &name)
    {
        if (!image.save(dir.filePath(name))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
            ok = false;
        }
    }

    bool ok = true;

private:
    QDir dir;
};

void show(QWidget &window)
{
    window.show();
    QApplication::processEvents();
}

// Writes a terrain grid as BIL with its header and returns the sample file.
QString writeTerrain(const QDir &dir, int width, int height)
{
    const std::vector<int16_t> samples = MakeTerrain(width, height);
    QFile bil(dir.filePath(QStringLiteral("terrain.bil"))),
        hdr(dir.filePath(QStringLiteral("terrain.hdr")));
    if (bil.open(QIODevice::WriteOnly))
        bil.write(reinterpret_cast<const char *>(samples.data()), qint64(samples.size() * 2));
    if (hdr.open(QIODevice::WriteOnly))
        hdr.write(QStringLiteral("NCOLS %1\nNROWS %2\nNODATA %3\nBYTEORDER I\n")
                      .arg(width)
                      .arg(height)
                      .arg(kTerrainNoData)
                      .toLatin1());
    return bil.fileName();
}

// Answers the next file dialog with path and, for a save, the file type at index choice.
void answerFileDialog(const QString &path, int choice = -1)
{
    QTimer::singleShot(0, [path, choice] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (choice >= 0) dialog->selectNameFilter(dialog->nameFilters().value(choice));
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

// Shows the main window at size, in the look in force.
void showAt(TFrmMain &window, QSize size)
{
    window.resize(size);
    show(window);
    window.ThemeUpdate();
}

// Shows the window at size and opens the terrain through its Open dialog.
void openTerrain(TFrmMain &window, const QString &terrain, QSize size)
{
    showAt(window, size);
    answerFileDialog(terrain);
    window.btOpenClick(nullptr);
}

// The main window as a user sees it after opening the terrain and narrowing
// the crop; with saveTo, after saving there with a 16-bit heightmap, the note
// showing.
QImage mainWindowShot(const QString &terrain, QSize size, const QString &saveTo = {})
{
    TFrmMain window([] {});
    openTerrain(window, terrain, size);
    const std::pair<const char *, int> crop[] = {
        {"SpinBoxX1", 7400}, {"SpinBoxY1", 3900}, {"SpinBoxX0", 1900}, {"SpinBoxY0", 1150}};
    for (const auto &[name, value] : crop)
        window.findChild<QSpinBox *>(QLatin1String(name))->setValue(value);
    window.findChild<QSpinBox *>(QStringLiteral("SpinBox1"))->setValue(2);
    if (!saveTo.isEmpty()) {
        // Images left by the last shot would bring up the question to replace them.
        const BILExportNames earlier = BILExportFileNames(saveTo + QStringLiteral(".png"));
        QFile::remove(earlier.texture);
        QFile::remove(earlier.heightmap);
        answerFileDialog(saveTo, 2);
        window.btSaveClick(nullptr);
    }
    QApplication::processEvents();
    return framed(window, true);
}

// A copy of the terrain placed on the Earth: 3 arc-second cells west of
// Gothenburg, with a .prj that says the coordinates are geographic.
QString writeGeoreferencedTerrain(const QString &terrain)
{
    const QDir dir = QFileInfo(terrain).dir();
    const QString bil = dir.filePath(QStringLiteral("skagerrak.bil"));
    QFile::copy(terrain, bil);
    QFile hdr(dir.filePath(QStringLiteral("skagerrak.hdr"))),
        prj(dir.filePath(QStringLiteral("skagerrak.prj")));
    if (hdr.open(QIODevice::WriteOnly))
        hdr.write(QStringLiteral("NCOLS 10800\nNROWS 4800\nNODATA %1\nBYTEORDER I\n"
                                 "ULXMAP 5.000416666666667\nULYMAP 59.99958333333333\n"
                                 "XDIM 0.000833333333333\nYDIM 0.000833333333333\n")
                      .arg(kTerrainNoData)
                      .toLatin1());
    if (prj.open(QIODevice::WriteOnly))
        prj.write(
            "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
            "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]");
    return bil;
}

// The window's Save dialog over a grid in degrees, Unreal Engine chosen
// under the file types.
QImage saveChoicesShot(const QString &terrain, QSize size)
{
    TFrmMain window([] {});
    openTerrain(window, terrain, size);
    QImage shot;
    QTimer::singleShot(0, [&shot] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *engine = dialog->findChild<QComboBox *>(QStringLiteral("engine"));
        engine->setCurrentIndex(1);
        emit engine->activated(1);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("skagerrak"));
        QApplication::processEvents();
        shot = framed(*dialog, true);
        dialog->reject();
    });
    window.btSaveClick(nullptr);
    return shot;
}

// The terrain cut into 2 x 2 tiles placed in degrees that share their edge
// row and column, as SRTM tiles do; gives the tiles' sample files.
QStringList writeTerrainTiles(const QDir &dir, int width, int height)
{
    const std::vector<int16_t> samples = MakeTerrain(width, height);
    const int across = width / 2 + 1, down = height / 2 + 1;
    QStringList files;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            const QString stem = dir.filePath(QStringLiteral("tile_%1_%2").arg(c).arg(r));
            const int x0 = c * (across - 1), y0 = r * (down - 1);
            QByteArray bytes;
            for (int y = y0; y < y0 + down; ++y)
                bytes.append(
                    reinterpret_cast<const char *>(samples.data() + size_t(y) * width + size_t(x0)),
                    qsizetype(std::min(across, width - x0)) * 2);
            QFile bil(stem + QStringLiteral(".bil")), hdr(stem + QStringLiteral(".hdr")),
                prj(stem + QStringLiteral(".prj"));
            if (bil.open(QIODevice::WriteOnly)) bil.write(bytes);
            if (hdr.open(QIODevice::WriteOnly))
                hdr.write(QStringLiteral("NCOLS %1\nNROWS %2\nNODATA %3\nBYTEORDER I\n"
                                         "ULXMAP %4\nULYMAP %5\nXDIM 0.001\nYDIM 0.001\n")
                              .arg(std::min(across, width - x0))
                              .arg(std::min(down, height - y0))
                              .arg(kTerrainNoData)
                              .arg(5.0005 + x0 * 0.001, 0, 'f', 4)
                              .arg(59.9995 - y0 * 0.001, 0, 'f', 4)
                              .toLatin1());
            if (prj.open(QIODevice::WriteOnly)) prj.write("GEOGCS[\"WGS 84\"]");
            files << bil.fileName();
        }
    return files;
}

// The main window over the four tiles opened together, the caption naming
// the first and how many more.
QImage mosaicShot(const QStringList &tiles, QSize size)
{
    TFrmMain window([] {});
    showAt(window, size);
    window.openFiles(tiles);
    QApplication::processEvents();
    return framed(window, true);
}

// The main window over a grid in degrees with a longitude typed into the
// upper-left X box, not yet committed.
QImage degreesShot(const QString &terrain, QSize size)
{
    TFrmMain window([] {});
    openTerrain(window, terrain, size);
    auto *box = window.findChild<QSpinBox *>(QStringLiteral("SpinBoxX0"));
    box->setFocus();
    box->findChild<QLineEdit *>()->setText(QStringLiteral("5.52E"));
    QApplication::processEvents();
    return framed(window, true);
}

// The main window with the pointer resting over the terrain, the readout showing.
QImage readoutShot(const QString &terrain, QSize size)
{
    TFrmMain window([] {});
    openTerrain(window, terrain, size);
    auto *image = window.findChild<QWidget *>(QStringLiteral("Image1"));
    const QPointF at(image->width() * 0.62, image->height() * 0.41);
    QMouseEvent move(QEvent::MouseMove, at, image->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(image, &move);
    QApplication::processEvents();
    return framed(window, true);
}

// The main window while a 16-bit save of the terrain is under way, its
// panel showing how far the writing has got; the save is then cancelled.
QImage progressShot(const QString &terrain, QSize size, const QString &saveTo)
{
    TFrmMain window([] {});
    openTerrain(window, terrain, size);
    window.findChild<QSpinBox *>(QStringLiteral("SpinBox1"))->setValue(4);
    const auto *progress = window.findChild<TFMXProgress *>(QStringLiteral("progress"));
    QImage shot;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!progress->isVisible() || progress->done() < 0.3) return;
        watch.stop();
        shot = framed(window, true);
        window.findChild<QAction *>(QStringLiteral("cancelWork"))->trigger();
    });
    watch.start(10);
    answerFileDialog(saveTo, 2);
    window.btSaveClick(nullptr);
    if (shot.isNull()) std::fprintf(stderr, "the save ended before its progress showed\n");
    return shot;
}

// The empty window at start with its note; without a colour table when
// noTable (none in the working directory, none installed).
QImage startShot(QSize size, bool noTable)
{
    const QString folder = QDir::currentPath();
    const QString installed = BILDefaultColorTable();
    QTemporaryDir empty;
    if (noTable) {
        QDir::setCurrent(empty.path());
        BILDefaultColorTable() = QStringLiteral("/usr/share/relieva/RELIEVA.txt");
    }
    TFrmMain window([] {});
    showAt(window, size);
    window.showStartNote(false);
    QApplication::processEvents();
    QDir::setCurrent(folder);
    BILDefaultColorTable() = installed;
    return framed(window, true);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QSize windowSize(800, 520);
    if (argc == 3) {
        const QStringList parts = QString::fromLocal8Bit(argv[2]).split(u'x');
        if (parts.size() == 2) windowSize = QSize(parts[0].toInt(), parts[1].toInt());
    }
    if ((argc != 2 && argc != 3) || windowSize.isEmpty()) {
        std::fprintf(stderr, "usage: %s DIRECTORY [WIDTHxHEIGHT]\n", argv[0]);
        return 2;
    }
    Shooter shooter(QString::fromLocal8Bit(argv[1]));
    // The window remembers folders; these are not the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    // A folder of grid files for the file dialog.
    QTemporaryDir grids;
    QDir(grids.path()).mkdir(QStringLiteral("tiles"));
    for (const char *name : {"alps.bil", "alps.hdr", "N35E138.hgt", "japan.bin"}) {
        QFile file(QDir(grids.path()).filePath(QLatin1String(name)));
        if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(2048, '\0'));
    }

    QDir::setCurrent(QStringLiteral(RELIEVA_SOURCE_DIR)); // the default colour table
    LoadColorTable();
    const QString terrain = writeTerrain(QDir(grids.path()), 10800, 4800);
    const QString placedTerrain = writeGeoreferencedTerrain(terrain);
    const QStringList tiles = writeTerrainTiles(QDir(grids.path()), 10800, 4800);

    for (const bool light : {true, false}) {
        applyLook(light);
        const QString look = light ? QStringLiteral("light") : QStringLiteral("dark");

        const QByteArray userLanguage = qgetenv("LANG");
        for (const char *language : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
            qputenv("LANG", language);
            shooter.save(
                mainWindowShot(terrain, windowSize),
                QStringLiteral("mainwindow-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(
                mainWindowShot(terrain, windowSize, grids.filePath(QStringLiteral("saved"))),
                QStringLiteral("note-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(
                saveChoicesShot(placedTerrain, windowSize),
                QStringLiteral("save-choices-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(mosaicShot(tiles, windowSize),
                         QStringLiteral("mosaic-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(degreesShot(placedTerrain, windowSize),
                         QStringLiteral("degrees-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(readoutShot(placedTerrain, windowSize),
                         QStringLiteral("readout-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(
                progressShot(terrain, windowSize, grids.filePath(QStringLiteral("unsaved"))),
                QStringLiteral("progress-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(
                startShot(windowSize, false),
                QStringLiteral("start-note-%1-%2.png").arg(look, QLatin1String(language, 2)));
            shooter.save(
                startShot(windowSize, true),
                QStringLiteral("no-table-note-%1-%2.png").arg(look, QLatin1String(language, 2)));
        }
        qputenv("LANG", userLanguage);

        TFrmOption option;
        show(option);
        shooter.save(framed(option, false), QStringLiteral("option-%1.png").arg(look));
        auto *combo = option.findChild<QComboBox *>(QStringLiteral("ComboBox1"));
        combo->showPopup();
        QApplication::processEvents();
        shooter.save(framed(option, false, combo->view()->window()),
                     QStringLiteral("option-popup-%1.png").arg(look));
        combo->hidePopup();

        for (const char *language : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
            qputenv("LANG", language);
            TFMXFrmAbout about;
            about.ThemeUpdate();
            show(about);
            shooter.save(framed(about, true),
                         QStringLiteral("about-%1-%2.png").arg(look, QLatin1String(language, 2)));
        }
        qputenv("LANG", userLanguage);

        QMessageBox error(QMessageBox::Critical, QStringLiteral("RELIEVA"),
                          QStringLiteral("Width or Height is not correct."), QMessageBox::Ok);
        show(error);
        shooter.save(framed(error, true), QStringLiteral("messagebox-%1.png").arg(look));

        QFileDialog files(nullptr, QStringLiteral("Open"), grids.path(),
                          QStringLiteral("Elevation files (*.bil *.hgt *.bin);;All files (*)"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.resize(640, 400);
        show(files);
        QApplication::processEvents();
        shooter.save(framed(files, true), QStringLiteral("filedialog-%1.png").arg(look));
    }
    return shooter.ok ? 0 : 1;
}
