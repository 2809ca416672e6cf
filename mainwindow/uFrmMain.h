#pragma once

// The main window: the command strip, the fitted preview with the four crop
// lines, and the Open, Save and About commands.

#include "elevation/uBILProgress.h"
#include "elevation/uFMXBILUtils.h"

#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QFileDialog;
class TBackgroundWork;
class TFMXProgress;
class QMimeData;
class CropModel;
enum class CropDrag;
class TFMXFlatBtn;
class TFMXLine;
class TFMXNote;
class TSaveChoices;
struct BILHeightRange;
namespace Ui {
class TFrmMain;
}
namespace bil {
struct GridLayout;
}

// Turns "desc|patterns;patterns|desc|patterns" into Qt's "desc (patterns patterns)" filters.
QStringList QtNameFilters(const QString &filter);

// Gives path's file name the extension (".bmp"), replacing the part from its
// last dot or appending it when the name has none; folders stay as they are.
QString ForceExtension(const QString &path, const QString &extension);

// What the note after a save says: the heights mapped to black and white and
// the metres one grey level stands for in a heightmap of that many bits.
QString SavedRangeNote(const BILHeightRange &range, int heightmapBits);

class TFrmMain : public QWidget
{
    Q_OBJECT

public:
    // showAbout opens the About dialog; the program passes the dialog's Execute.
    explicit TFrmMain(std::function<void()> showAbout, QWidget *parent = nullptr);
    ~TFrmMain() override;

    void ThemeUpdate();

    // The crop rectangle x0, y0, x1, y1 and the fit, as the window holds them.
    std::array<int32_t, 4> cropRect() const;
    float zoom() const { return BILZoom; }
    QPointF offset() const { return {BILOffsetX, BILOffsetY}; }

    void btOpenClick(QObject *Sender);
    // Opens path as if it had been chosen in the Open dialog.
    void openFile(const QString &path);
    // Opens the tiles of paths as one grid, or the one file.
    void openFiles(const QStringList &paths);
    void btSaveClick(QObject *Sender);
    void btAboutClick(QObject *Sender);
    // Whether an open or a save is under way.
    bool busy() const;

    // The note at start: why textures will be transparent, if they will be,
    // and, unless a file is about to be opened, how to open a grid.
    void showStartNote(bool opening);

protected:
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // During an open or a save: cancels it, and closes once it has ended.
    void closeEvent(QCloseEvent *event) override;

private:
    // Opens path; on a window still empty after it, cancelled, refused or
    // failed, the start note comes back.
    void openKeepingStartNote(const QStringList &paths);
    // Runs work in the background, showing how far it has got after a moment,
    // with the commands that would conflict unavailable meanwhile. Gives
    // false when it was cancelled; rethrows what it throws.
    bool inBackground(bil::Doing doing, const QString &file,
                      const std::function<void(const bil::Progress &)> &work);
    void setBusy(bool busy);
    // The layout question asked from an open's thread, answered here.
    bool askLayout(bil::GridLayout &layout);
    void FormCreate();
    void FormShow();
    void FormDestroy();

    void Image1Resize();
    void LineDisp();
    void Image1MouseDown(QPointF p);
    void Image1MouseMove(QPointF p);
    void Image1MouseUp();
    void LineX0MouseDown();
    void LineX1MouseDown();
    void LineY0MouseDown();
    void LineY1MouseDown();
    void LineX0MouseMove(QPointF p);
    void LineX1MouseMove(QPointF p);
    void LineY0MouseMove(QPointF p);
    void LineY1MouseMove(QPointF p);
    void LineXYMouseUp();
    void SpinBoxX0Change();
    void SpinBoxY0Change();
    void SpinBoxX1Change();
    void SpinBoxY1Change();

    // The cell a corner box takes for degrees typed into it: across or down,
    // the first cell or one past the last; nullopt without a georeference.
    std::optional<int> cornerCell(bool across, bool first, double degrees) const;
    // The cell under a point of the preview, outside the grid too.
    QPoint cellAt(QPointF p) const;
    // A move of line, pressed for drag: the crop follows it.
    void lineMoved(CropDrag drag, const TFMXLine *line, QPointF p);
    static QStringList chosenFiles(QFileDialog *dialog);
    static void rememberFolder(QFileDialog *dialog, const QString &key, const QString &path);
    bool replaceAllowed(const QString &path);
    // The dropped local files that open, or none when the drop is ignored.
    static QStringList droppedFiles(const QMimeData *data);

    std::unique_ptr<Ui::TFrmMain> ui;
    std::function<void()> showAbout;
    QFileDialog *OpenDialog1;
    QFileDialog *SaveDialog1;
    TSaveChoices *saveChoices; // in SaveDialog1
    TFMXNote *note;            // over the preview
    TBackgroundWork *work;
    QAction *cancelAction = nullptr; // Escape, while work runs
    TFMXProgress *progress;          // over the preview while work goes on
    bool closeAsked = false;         // during work
    QPointer<QWidget> focusedBefore; // the work, which disables it
    QString openKeyText;
    QString colourNote; // repeated over the first preview it leaves blank

    BILPreviewScale grid; // the grid shown, in cells, and the cells per preview pixel
    float BILZoom = 0;    // screen pixels per cell
    float BILOffsetX = 0;
    float BILOffsetY = 0;
    CropModel *crop;
    TFMXFlatBtn *fbSave = nullptr;
    TFMXFlatBtn *fbOpen = nullptr;
    TFMXFlatBtn *fbAbout = nullptr;
};
