#include "mainwindow/uFrmMain.h"

#include "ui_uFrmMain.h"

#include "components/uClampSpinBox.h"
#include "components/uFMXFlatBtn.h"
#include "components/uFMXLine.h"
#include "components/uFMXNote.h"
#include "components/uFMXProgress.h"
#include "components/uFMXTheme.h"
#include "components/uFMXUtils.h"
#include "components/uSVGData.h"
#include "elevation/uBILEngines.h"
#include "elevation/uBILLoad.h"
#include "elevation/uBILReproject.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uApplication.h"
#include "mainwindow/uBackgroundWork.h"
#include "mainwindow/uCropModel.h"
#include "mainwindow/uFrmOption.h"
#include "mainwindow/uReadout.h"
#include "mainwindow/uSaveChoices.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QCompleter>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

struct Texts
{
    QString smoothing, openFilter, saveFilter, open, save, about;
    QString heights, flat, heightsOnly; // the note after a save
    QString engineScales;               // and under it for a 16-bit heightmap
    QString openTip, saveTip, aboutTip; // %1: the shortcut
    QString hint;                       // %1: the Open shortcut
    QString noTable, lookedForTwo, lookedForOne;
    QString replace; // %1, %2: the two file names
    QString replaceButton, cancelButton;
    QString reading, writing; // %1: the file's name, %2: the per cent done
};

const Texts &texts()
{
    static const Texts english{
        QStringLiteral("Height Smoothing"),
        QStringLiteral("All Type|*.bil;*.hgt;*.bin;*.tif;*.tiff;*.asc;*.flt;*|BIL File|*.bil|"
                       "HGT File|*.hgt|BIN File|*.bin|GeoTIFF File|*.tif;*.tiff|"
                       "ASCII Grid File|*.asc|GridFloat File|*.flt"),
        QStringLiteral("Bitmap File|*.bmp|PNG File|*.png|PNG File, 16-bit heightmap|*.png|"
                       "RAW File, 16-bit heightmap|*.r16|OpenEXR File, heights in metres|*.exr|"
                       "GeoTIFF File, heights in metres|*.tif"),
        QStringLiteral("Open"),
        QStringLiteral("Save"),
        QStringLiteral("About"),
        QStringLiteral("Heights %1 m to %2 m · %3 m per grey level"),
        QStringLiteral("All heights %1 m"),
        QStringLiteral("Heights %1 m to %2 m"),
        QStringLiteral("Unreal Z scale %1 · Unity height %2 m"),
        QStringLiteral("Open a grid (%1)"),
        QStringLiteral("Save the texture and the heightmap (%1)"),
        QStringLiteral("About RELIEVA (%1)"),
        QStringLiteral("Open a grid with the Open button, %1, or by dropping its file here."),
        QStringLiteral("No colour table was found: textures will be transparent."),
        QStringLiteral("Looked for %1 and %2."),
        QStringLiteral("Looked for %1."),
        QStringLiteral("\"%1\" or \"%2\" already exists.\nDo you want to replace them?"),
        QStringLiteral("Replace"),
        QStringLiteral("Cancel"),
        QStringLiteral("Reading %1… %2 %"),
        QStringLiteral("Writing %1… %2 %")};
    static const Texts japanese{
        QStringLiteral("高度平滑化"),
        QStringLiteral(
            "全ての対応ファイル|*.bil;*.hgt;*.bin;*.tif;*.tiff;*.asc;*.flt;*|BIL ファイル|*.bil|"
            "HGT ファイル|*.hgt|BIN ファイル|*.bin|GeoTIFF ファイル|*.tif;*.tiff|"
            "ASCII グリッド ファイル|*.asc|GridFloat ファイル|*.flt"),
        QStringLiteral(
            "Bitmap ファイル|*.bmp|PNG ファイル|*.png|PNG ファイル（16 ビット高さ）|*.png|"
            "RAW ファイル（16 ビット高さ）|*.r16|OpenEXR ファイル（メートル単位の高さ）|*.exr|"
            "GeoTIFF ファイル（メートル単位の高さ）|*.tif"),
        QStringLiteral("開く"),
        QStringLiteral("保存"),
        QStringLiteral("…について"),
        QStringLiteral("高さ %1 m ～ %2 m・1 階調 %3 m"),
        QStringLiteral("高さは全て %1 m"),
        QStringLiteral("高さ %1 m ～ %2 m"),
        QStringLiteral("Unreal の Z スケール %1・Unity の高さ %2 m"),
        QStringLiteral("グリッドを開く (%1)"),
        QStringLiteral("テクスチャと高さマップを保存 (%1)"),
        QStringLiteral("RELIEVA について (%1)"),
        QStringLiteral("「開く」ボタン、%1、またはファイルのドロップでグリッドを開きます。"),
        QStringLiteral("色テーブルが見つからないため、テクスチャは透明になります。"),
        QStringLiteral("探した場所: %1、%2"),
        QStringLiteral("探した場所: %1"),
        QStringLiteral("「%1」または「%2」は既に存在します。\n置き換えますか？"),
        QStringLiteral("置き換える"),
        QStringLiteral("キャンセル"),
        QStringLiteral("%1 を読み込み中… %2 %"),
        QStringLiteral("%1 を書き込み中… %2 %")};
    return IsJapanese() ? japanese : english;
}

// Three significant digits, never in exponent form: 5.97, 0.0232, 392.
QString metresText(double metres)
{
    if (!(metres > 0)) return QStringLiteral("0");
    const int decimals = std::max(0, 2 - int(std::floor(std::log10(metres))));
    return QString::number(metres, 'f', decimals);
}

// The standard key where the platform has one, else the usual one.
QKeySequence standardKey(QKeySequence::StandardKey key, const char *usual)
{
    const QKeySequence standard(key);
    return standard.isEmpty() ? QKeySequence(QString::fromLatin1(usual)) : standard;
}

QString keyText(const QKeySequence &key)
{
    return key.toString(QKeySequence::NativeText);
}

// The folders the dialogs start in, kept across runs.
QSettings settings()
{
    return QSettings(QStringLiteral("relieva"), QStringLiteral("relieva"));
}

const QString OpenFolderKey = QStringLiteral("folders/open");
const QString SaveFolderKey = QStringLiteral("folders/save");
const QString SaveChoicesKey = QStringLiteral("save/choices");

// What each of the Save dialog's types writes: Bitmap and PNG as always
// first, then the heightmaps engines and GIS take.
const bil::ImageKind saveKinds[] = {{QStringLiteral(".bmp"), 8},  {QStringLiteral(".png"), 8},
                                    {QStringLiteral(".png"), 16}, {QStringLiteral(".r16"), 16},
                                    {QStringLiteral(".exr"), 32}, {QStringLiteral(".tif"), 32}};

// The Save dialog's type for an engine's heightmap, or PNG without one.
int saveTypeFor(const bil::Engine *engine)
{
    if (!engine) return 1;
    const std::optional<bil::ImageKind> kind = bil::imageKind(QString::fromLatin1(engine->type));
    for (size_t i = 0; i < std::size(saveKinds); ++i)
        if (saveKinds[i].extension == kind->extension &&
            saveKinds[i].heightmapBits == kind->heightmapBits)
            return int(i);
    return 1;
}

// The save choices as kept between runs: "engine,size,utm,across,down,fill".
TSaveChoices::State savedChoices()
{
    const QStringList parts = settings().value(SaveChoicesKey).toString().split(u',');
    if (parts.size() != 6) return {};
    return {parts[0],
            parts[1].toInt(),
            parts[2] == u"1",
            std::max(1, parts[3].toInt()),
            std::max(1, parts[4].toInt()),
            parts[5] == u"1"};
}

void keepChoices(const TSaveChoices::State &s)
{
    settings().setValue(SaveChoicesKey, QStringLiteral("%1,%2,%3,%4,%5,%6")
                                            .arg(s.engine)
                                            .arg(s.size)
                                            .arg(int(s.utm))
                                            .arg(s.tilesAcross)
                                            .arg(s.tilesDown)
                                            .arg(int(s.fillVoids)));
}

} // namespace

QString SavedRangeNote(const BILHeightRange &range, int heightmapBits)
{
    const Texts &t = texts();
    if (range.lowest == range.highest) return t.flat.arg(BILHeightText(range.lowest));
    const QString lowest = BILHeightText(range.lowest), highest = BILHeightText(range.highest);
    if (heightmapBits == 32) return t.heightsOnly.arg(lowest, highest);
    const double levels = heightmapBits == 16 ? 65535.0 : 255.0;
    const double span = range.highest - range.lowest;
    const QString note = t.heights.arg(lowest, highest, metresText(span / levels));
    if (heightmapBits != 16) return note;
    // What the engines that import 16 bits ask for first.
    return note + u'\n' +
           t.engineScales.arg(QString::number(bil::unrealZScale(range), 'f', 2),
                              BILHeightText(span));
}

QStringList QtNameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1].split(u';').join(u' '));
    return filters;
}

QString ForceExtension(const QString &path, const QString &extension)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return (dot >= nameStart ? path.left(dot) : path) + extension;
}

TFrmMain::TFrmMain(std::function<void()> showAbout, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrmMain>()), showAbout(std::move(showAbout)),
      OpenDialog1(new QFileDialog(this)), SaveDialog1(new QFileDialog(this)), saveChoices(nullptr),
      note(nullptr), work(new TBackgroundWork(this)), progress(nullptr), crop(new CropModel(this))
{
    ui->setupUi(this);
    FormCreate();
}

TFrmMain::~TFrmMain()
{
    FormDestroy();
}

std::array<int32_t, 4> TFrmMain::cropRect() const
{
    return crop->rect();
}

void TFrmMain::FormCreate()
{
    // Qt grabs the pointer for the pressed widget by itself: the lines and the
    // preview receive every move and the release of their own drags.
    ui->Image1->setBitmap(QImage());

    const Texts &t = texts();
    ui->Label1->setText(t.smoothing);
    // Several tiles chosen open as one grid.
    OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog1->setNameFilters(QtNameFilters(t.openFilter));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setNameFilters(QtNameFilters(t.saveFilter));
    // Only the derived -tx and -ht names are written, never the chosen one.
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    // The export's further choices sit under the types, which a platform's
    // own dialog would have no room for.
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    saveChoices = new TSaveChoices(SaveDialog1);
    if (auto *grid = qobject_cast<QGridLayout *>(SaveDialog1->layout()))
        grid->addWidget(saveChoices, grid->rowCount(), 0, 1, grid->columnCount());
    saveChoices->setState(savedChoices());
    connect(saveChoices, &TSaveChoices::engineChosen, this, [this](const bil::Engine *engine) {
        SaveDialog1->selectNameFilter(SaveDialog1->nameFilters().value(saveTypeFor(engine)));
    });
    // The dialogs start where they were last used, in this run or an earlier one.
    for (const auto &[dialog, key] :
         {std::pair{OpenDialog1, OpenFolderKey}, std::pair{SaveDialog1, SaveFolderKey}}) {
        const QString folder = settings().value(key).toString();
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog->setDirectory(folder);
    }

    const auto command = [this](void (TFrmMain::*handler)(QObject *)) {
        return [this, handler](QObject *sender) {
            TApplication::ReportErrors([&] { (this->*handler)(sender); });
        };
    };
    fbOpen =
        new TFMXFlatBtn(this, ui->LayoutT, mtFluentSingle, QString::fromLatin1(SVGOpen), t.open, 0,
                        0, 0, command(&TFrmMain::btOpenClick), nullptr, false, false);
    fbSave =
        new TFMXFlatBtn(this, ui->LayoutT, mtFluentSingle, QString::fromLatin1(SVGSave), t.save, 0,
                        60, 0, command(&TFrmMain::btSaveClick), nullptr, false, false);
    fbAbout = new TFMXFlatBtn(this, ui->LayoutT, mtFluentSingle, QString::fromLatin1(SVGAbout),
                              t.about, FlatBtnOrange, 580, 0, command(&TFrmMain::btAboutClick),
                              nullptr, false, false);
    fbOpen->setObjectName(QStringLiteral("fbOpen"));
    fbSave->setObjectName(QStringLiteral("fbSave"));
    fbAbout->setObjectName(QStringLiteral("fbAbout"));
    // The buttons exist only from here on: Open and Save open the strip, About closes it.
    ui->layoutStrip->insertWidget(0, fbOpen);
    ui->layoutStrip->insertWidget(1, fbSave);
    ui->layoutStrip->addWidget(fbAbout);

    ui->Image1->setReadout(ReadoutText);

    // Each command has its key; the buttons' tips name it.
    const auto shortcut = [this](const QKeySequence &key, std::function<void()> run) {
        auto *action = new QAction(this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, std::move(run));
        addAction(action);
    };
    const QKeySequence openKey = standardKey(QKeySequence::Open, "Ctrl+O");
    const QKeySequence saveKey = standardKey(QKeySequence::Save, "Ctrl+S");
    const QKeySequence aboutKey = standardKey(QKeySequence::HelpContents, "F1");
    const QKeySequence quitKey = standardKey(QKeySequence::Quit, "Ctrl+Q");
    const auto run = [command](void (TFrmMain::*handler)(QObject *), QObject *sender) {
        return [sender, call = command(handler)] { call(sender); };
    };
    shortcut(openKey, run(&TFrmMain::btOpenClick, fbOpen));
    shortcut(saveKey, run(&TFrmMain::btSaveClick, fbSave));
    shortcut(aboutKey, run(&TFrmMain::btAboutClick, fbAbout));
    shortcut(quitKey, [this] { close(); });
    fbOpen->setToolTip(t.openTip.arg(keyText(openKey)));
    fbSave->setToolTip(t.saveTip.arg(keyText(saveKey)));
    fbAbout->setToolTip(t.aboutTip.arg(keyText(aboutKey)));
    openKeyText = keyText(openKey);

    // Tab follows the strip from left to right.
    QWidget *order[] = {fbOpen,        fbSave,        ui->SpinBox1,  ui->SpinBoxX0,
                        ui->SpinBoxY0, ui->SpinBoxX1, ui->SpinBoxY1, fbAbout};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    setAcceptDrops(true);

    note = new TFMXNote(ui->Image1);
    note->setObjectName(QStringLiteral("note"));
    progress = new TFMXProgress(ui->Image1, t.cancelButton);
    progress->setObjectName(QStringLiteral("progress"));
    connect(progress, &TFMXProgress::cancelled, work, &TBackgroundWork::cancel);
    connect(work, &TBackgroundWork::progressed, this,
            [this](bil::Doing doing, const QString &file, double done) {
                const Texts &t = texts();
                progress->showProgress((doing == bil::Doing::Reading ? t.reading : t.writing)
                                           .arg(QFileInfo(file).fileName())
                                           .arg(int(std::floor(done * 100))),
                                       done);
            });
    connect(work, &TBackgroundWork::ended, progress, &QWidget::hide);
    // Escape stops the work under way; it means nothing otherwise.
    cancelAction = new QAction(this);
    cancelAction->setObjectName(QStringLiteral("cancelWork"));
    cancelAction->setShortcut(Qt::Key_Escape);
    cancelAction->setEnabled(false);
    connect(cancelAction, &QAction::triggered, work, &TBackgroundWork::cancel);
    addAction(cancelAction);

    ui->Path1->setData(QString::fromLatin1(SVGCornerTopLeft));
    ui->Path2->setData(QString::fromLatin1(SVGCornerBottomRight));

    connect(crop, &CropModel::rectChanged, this, &TFrmMain::LineDisp);
    connect(ui->Image1, &TFMXImage::resized, this, &TFrmMain::Image1Resize);
    connect(ui->Image1, &TFMXImage::pressed, this, &TFrmMain::Image1MouseDown);
    connect(ui->Image1, &TFMXImage::moved, this, &TFrmMain::Image1MouseMove);
    connect(ui->Image1, &TFMXImage::released, this, &TFrmMain::Image1MouseUp);
    connect(ui->LineX0, &TFMXLine::pressed, this, &TFrmMain::LineX0MouseDown);
    connect(ui->LineX1, &TFMXLine::pressed, this, &TFrmMain::LineX1MouseDown);
    connect(ui->LineY0, &TFMXLine::pressed, this, &TFrmMain::LineY0MouseDown);
    connect(ui->LineY1, &TFMXLine::pressed, this, &TFrmMain::LineY1MouseDown);
    connect(ui->LineX0, &TFMXLine::moved, this, &TFrmMain::LineX0MouseMove);
    connect(ui->LineX1, &TFMXLine::moved, this, &TFrmMain::LineX1MouseMove);
    connect(ui->LineY0, &TFMXLine::moved, this, &TFrmMain::LineY0MouseMove);
    connect(ui->LineY1, &TFMXLine::moved, this, &TFrmMain::LineY1MouseMove);
    for (TFMXLine *line : {ui->LineX0, ui->LineX1, ui->LineY0, ui->LineY1}) {
        connect(line, &TFMXLine::released, this, &TFrmMain::LineXYMouseUp);
        // The lines sit on the grid's edge cells: the readout follows the pointer over them.
        line->setMouseTracking(true);
        line->installEventFilter(this);
    }
    // On a grid that says where it lies, the corners take degrees too.
    using Degrees = TClampSpinBox::Degrees;
    const auto degrees = [this](TClampSpinBox *box, Degrees axis, bool first) {
        box->setDegrees(axis, [this, across = axis == Degrees::Across, first](double d) {
            return cornerCell(across, first, d);
        });
    };
    degrees(ui->SpinBoxX0, Degrees::Across, true);
    degrees(ui->SpinBoxY0, Degrees::Down, true);
    degrees(ui->SpinBoxX1, Degrees::Across, false);
    degrees(ui->SpinBoxY1, Degrees::Down, false);
    connect(ui->SpinBoxX0, &QSpinBox::valueChanged, this, &TFrmMain::SpinBoxX0Change);
    connect(ui->SpinBoxY0, &QSpinBox::valueChanged, this, &TFrmMain::SpinBoxY0Change);
    connect(ui->SpinBoxX1, &QSpinBox::valueChanged, this, &TFrmMain::SpinBoxX1Change);
    connect(ui->SpinBoxY1, &QSpinBox::valueChanged, this, &TFrmMain::SpinBoxY1Change);

    // The note gives way to the next thing the user does with the preview or a box.
    connect(ui->Image1, &TFMXImage::pressed, note, &TFMXNote::dismiss);
    for (TFMXLine *line : {ui->LineX0, ui->LineX1, ui->LineY0, ui->LineY1})
        connect(line, &TFMXLine::pressed, note, &TFMXNote::dismiss);
    for (QSpinBox *box :
         {ui->SpinBox1, ui->SpinBoxX0, ui->SpinBoxY0, ui->SpinBoxX1, ui->SpinBoxY1}) {
        box->installEventFilter(this);
        // Keys reach the box's text field first.
        if (auto *edit = box->findChild<QLineEdit *>()) edit->installEventFilter(this);
    }

    setMinimumWidth(width());
}

std::optional<int> TFrmMain::cornerCell(bool across, bool first, double degrees) const
{
    if (!BILGeoRef) return std::nullopt;
    const BILGeoReference &g = *BILGeoRef;
    const auto [x0, y0, x1, y1] = crop->rect();
    QPointF place;
    try {
        // Across a projected grid the latitude, or down it the longitude, is
        // the crop corner's on the same side.
        const QPointF corner = bil::toLonLat(g, g.left + (first ? x0 : x1) * g.cellWidth,
                                             g.top - (first ? y0 : y1) * g.cellHeight);
        place = across ? bil::fromLonLat(g, degrees, corner.y())
                       : bil::fromLonLat(g, corner.x(), degrees);
    } catch (const BILError &) {
        return std::nullopt;
    }
    // The first cell whose centre lies at or beyond the place, or one past
    // the last short of it, as --bbox crops.
    const double v =
        across ? (place.x() - g.left) / g.cellWidth : (g.top - place.y()) / g.cellHeight;
    const double cell = first ? std::ceil(v - 0.5) : std::floor(v - 0.5) + 1;
    if (!std::isfinite(cell)) return std::nullopt;
    return int(std::clamp(cell, -1.0, double(INT_MAX)));
}

void TFrmMain::FormShow()
{
    ThemeUpdate();
}

void TFrmMain::FormDestroy()
{
    delete fbSave;
    delete fbOpen;
    delete fbAbout;
    fbSave = fbOpen = fbAbout = nullptr;
}

void TFrmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

bool TFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) note->dismiss();
    if (auto *line = qobject_cast<TFMXLine *>(watched)) {
        if (event->type() == QEvent::MouseMove)
            ui->Image1->pointerAt(ui->Image1->mapFromGlobal(
                line->mapToGlobal(static_cast<QMouseEvent *>(event)->position())));
        else if (event->type() == QEvent::Leave) // onto the preview, or off it
            ui->Image1->pointerAt(ui->Image1->mapFromGlobal(QCursor::pos()));
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmMain::ThemeUpdate()
{
    const QColor color = IsLightTheme ? QColor(0xFF000000u) : QColor(0xFFFFFFFFu);
    ui->Path1->setStrokeColor(color);
    ui->Path2->setStrokeColor(color);
    ui->Path1->setFillColor(color);
    ui->Path2->setFillColor(color);
    for (TFMXLine *line : {ui->LineX0, ui->LineX1, ui->LineY0, ui->LineY1})
        line->setStrokeColor(color);
    note->ThemeUpdate();
    progress->setColors(note->backgroundColor(), note->borderColor(), note->textColor(),
                        note->accentColor());
    qApp->setStyleSheet(ThemeStyleSheet());
}

// ---------------------------------------------------------------- preview and crop

void TFrmMain::Image1Resize()
{
    const int wc = ui->Image1->width(), hc = ui->Image1->height();
    const TImageFit fit = ui->Image1->fit();
    // Lines over an empty preview would mean nothing.
    for (TFMXLine *line : {ui->LineX0, ui->LineX1, ui->LineY0, ui->LineY1})
        line->setVisible(wc > 0 && fit.zoom > 0);
    if (wc <= 0) return;
    BILZoom = fit.zoom / float(grid.step);
    BILOffsetX = fit.offsetX;
    BILOffsetY = fit.offsetY;
    constexpr int t = TFMXLine::Thickness;
    ui->LineX0->resize(t, hc);
    ui->LineX1->resize(t, hc);
    ui->LineY0->resize(wc, t);
    ui->LineY1->resize(wc, t);
    LineDisp();
}

void TFrmMain::LineDisp()
{
    const auto [x0, y0, x1, y1] = crop->rect();
    {
        // The boxes show the rectangle; only what the user types goes back.
        const QSignalBlocker bx0(ui->SpinBoxX0), bx1(ui->SpinBoxX1), by0(ui->SpinBoxY0),
            by1(ui->SpinBoxY1);
        ui->SpinBoxX0->setValue(x0);
        ui->SpinBoxX1->setValue(x1);
        ui->SpinBoxY0->setValue(y0);
        ui->SpinBoxY1->setValue(y1);
    }
    const double zoom = BILZoom;
    // The far lines draw on their far edge, so their strip ends at the boundary.
    constexpr int t = TFMXLine::Thickness;
    ui->LineX0->setPosition({x0 * zoom + BILOffsetX, 0});
    ui->LineX1->setPosition({x1 * zoom + BILOffsetX - t, 0});
    ui->LineY0->setPosition({0, y0 * zoom + BILOffsetY});
    ui->LineY1->setPosition({0, y1 * zoom + BILOffsetY - t});
}

namespace {

// The cell under a display coordinate, truncated toward zero. Far outside the
// preview the number would not fit 32 bits; it only has to stay outside.
int32_t cellIndex(double p, float offset, float zoom)
{
    if (!(zoom > 0)) return 0;
    return int32_t(std::clamp(std::trunc((p - double(offset)) / double(zoom)), -1e9, 1e9));
}

} // namespace

QPoint TFrmMain::cellAt(QPointF p) const
{
    return {cellIndex(p.x(), BILOffsetX, BILZoom), cellIndex(p.y(), BILOffsetY, BILZoom)};
}

void TFrmMain::Image1MouseDown(QPointF p)
{
    crop->startArea(cellAt(p));
}

void TFrmMain::Image1MouseMove(QPointF p)
{
    crop->dragTo(CropDrag::Area, cellAt(p));
}

void TFrmMain::Image1MouseUp()
{
    crop->release();
}

void TFrmMain::LineX0MouseDown()
{
    crop->startLine(CropDrag::LineX0);
}
void TFrmMain::LineX1MouseDown()
{
    crop->startLine(CropDrag::LineX1);
}
void TFrmMain::LineY0MouseDown()
{
    crop->startLine(CropDrag::LineY0);
}
void TFrmMain::LineY1MouseDown()
{
    crop->startLine(CropDrag::LineY1);
}

void TFrmMain::LineX0MouseMove(QPointF p)
{
    lineMoved(CropDrag::LineX0, ui->LineX0, p);
}

void TFrmMain::LineX1MouseMove(QPointF p)
{
    lineMoved(CropDrag::LineX1, ui->LineX1, p);
}

void TFrmMain::LineY0MouseMove(QPointF p)
{
    lineMoved(CropDrag::LineY0, ui->LineY0, p);
}

void TFrmMain::LineY1MouseMove(QPointF p)
{
    lineMoved(CropDrag::LineY1, ui->LineY1, p);
}

void TFrmMain::lineMoved(CropDrag drag, const TFMXLine *line, QPointF p)
{
    crop->dragTo(drag, cellAt(line->mapTo(ui->Image1, p)));
}

void TFrmMain::LineXYMouseUp()
{
    crop->release();
}

void TFrmMain::SpinBoxX0Change()
{
    crop->setEdge(CropEdge::X0, ui->SpinBoxX0->value());
}

void TFrmMain::SpinBoxY0Change()
{
    crop->setEdge(CropEdge::Y0, ui->SpinBoxY0->value());
}

void TFrmMain::SpinBoxX1Change()
{
    crop->setEdge(CropEdge::X1, ui->SpinBoxX1->value());
}

void TFrmMain::SpinBoxY1Change()
{
    crop->setEdge(CropEdge::Y1, ui->SpinBoxY1->value());
}

// ---------------------------------------------------------------- commands

bool TFrmMain::busy() const
{
    return work->running();
}

bool TFrmMain::inBackground(bil::Doing doing, const QString &file,
                            const std::function<void(const bil::Progress &)> &job)
{
    if (busy()) return false; // one at a time: the commands wait for it
    setBusy(true);
    bool done = false;
    try {
        done = work->run(doing, file, job);
    } catch (...) {
        setBusy(false);
        throw;
    }
    setBusy(false);
    return done;
}

void TFrmMain::setBusy(bool busy)
{
    // Keys go on where they were, once the commands are back.
    if (busy) focusedBefore = focusWidget();
    // The preview and its lines too: their readout and crop read the grid the work replaces.
    for (QWidget *command :
         std::initializer_list<QWidget *>{fbOpen, fbSave, ui->SpinBox1, ui->SpinBoxX0,
                                          ui->SpinBoxY0, ui->SpinBoxX1, ui->SpinBoxY1, ui->Image1})
        command->setEnabled(!busy);
    cancelAction->setEnabled(busy);
    if (busy) return;
    if (focusedBefore) focusedBefore->setFocus();
    if (closeAsked) QTimer::singleShot(0, this, &QWidget::close);
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    if (!busy()) return QWidget::closeEvent(event);
    closeAsked = true;
    work->cancel();
    event->ignore();
}

bool TFrmMain::askLayout(bil::GridLayout &layout)
{
    std::optional<bil::GridLayout> answer;
    QMetaObject::invokeMethod(
        this, [&] { answer = TFrmOption(this).layoutFor(layout); }, Qt::BlockingQueuedConnection);
    if (answer) layout = *answer;
    return answer.has_value();
}

void TFrmMain::btOpenClick(QObject *)
{
    if (busy()) return;
    note->dismiss();
    openKeepingStartNote(chosenFiles(OpenDialog1));
}

void TFrmMain::openKeepingStartNote(const QStringList &paths)
{
    const auto noteIfEmpty = [this] {
        if (ui->Image1->bitmap().isNull()) showStartNote(false);
    };
    try {
        if (!paths.isEmpty()) openFiles(paths);
    } catch (...) {
        noteIfEmpty();
        throw;
    }
    noteIfEmpty();
}

void TFrmMain::openFile(const QString &path)
{
    openFiles({path});
}

void TFrmMain::openFiles(const QStringList &paths)
{
    QImage bitmap;
    BILPreviewScale scale;
    bil::LoadCallbacks callbacks;
    callbacks.askLayout = [this](const QString &, bil::GridLayout &layout) {
        return askLayout(layout);
    };
    const bool opened = inBackground(bil::Doing::Reading, paths[0], [&](const bil::Progress &p) {
        callbacks.progress = p;
        scale = bil::openIntoGlobals(paths, bitmap, callbacks);
    });
    // A cancel or a refusal leaves the grid shown, as a failure does.
    if (!opened || bitmap.isNull()) return;
    grid = scale;
    // A drop or the command line moves the dialog along, as a choice in it does.
    rememberFolder(OpenDialog1, OpenFolderKey, paths[0]);
    // A mosaic is named by its first tile and how many more there are.
    setWindowTitle(paths.size() == 1
                       ? BILCaption()
                       : QStringLiteral("%1 + %2").arg(BILCaption()).arg(paths.size() - 1));
    ui->Image1->setBitmap(bitmap);
    {
        // A maximum below the shown value would store the clamped value as a
        // coordinate; the reset below writes the new rectangle anyway.
        const QSignalBlocker bx0(ui->SpinBoxX0), bx1(ui->SpinBoxX1), by0(ui->SpinBoxY0),
            by1(ui->SpinBoxY1);
        ui->SpinBoxX0->setMaximum(grid.width);
        ui->SpinBoxX1->setMaximum(grid.width);
        ui->SpinBoxY0->setMaximum(grid.height);
        ui->SpinBoxY1->setMaximum(grid.height);
    }
    crop->reset(grid.width, grid.height);
    Image1Resize();
    // An unusable colour table leaves this preview blank: say why.
    if (!colourNote.isEmpty()) note->showMessage(std::exchange(colourNote, QString()));
}

void TFrmMain::btSaveClick(QObject *)
{
    if (busy()) return;
    note->dismiss();
    // Said before a name is asked for, which would be asked for nothing.
    if (crop->isEmpty()) {
        if (BILShowError) BILShowError(QStringLiteral("The selected region is empty."));
        return;
    }
    const QStringList filters = SaveDialog1->nameFilters();
    SaveDialog1->selectNameFilter(filters.value(saveTypeFor(saveChoices->engine())));
    SaveDialog1->selectFile(QFileInfo(BILFileName).completeBaseName());
    const auto [x0, y0, x1, y1] = crop->rect();
    saveChoices->setRegion(x1 - x0, y1 - y0, BILGeoRef && BILGeoRef->geographic);
    QString path = chosenFiles(SaveDialog1).value(0);
    if (path.isEmpty()) return;
    rememberFolder(SaveDialog1, SaveFolderKey, path);
    keepChoices(saveChoices->state());
    const qsizetype choice = filters.indexOf(SaveDialog1->selectedNameFilter());
    const bil::ImageKind &kind =
        saveKinds[std::clamp<qsizetype>(choice, 0, std::size(saveKinds) - 1)];
    path = ForceExtension(path, kind.extension);
    BILExportOptions options;
    options.heightmapBits = kind.heightmapBits;
    options = saveChoices->applied(options);
    if (!replaceAllowed(options.tilesAcross * options.tilesDown > 1 ? BILTileName(path, 0, 0)
                                                                    : path))
        return;
    const int radius = ui->SpinBox1->value();
    std::optional<BILHeightRange> range;
    const bool saved = inBackground(bil::Doing::Writing, BILExportFileNames(path).texture,
                                    [&](const bil::Progress &p) {
                                        options.progress = p;
                                        range = ExportBIL(path, radius, x0, y0, x1, y1, options);
                                    });
    if (saved && range) note->showMessage(SavedRangeNote(*range, options.heightmapBits));
}

void TFrmMain::btAboutClick(QObject *)
{
    note->dismiss();
    if (showAbout) showAbout();
}

// A name left in the name box from the last run is selected, so that typing
// replaces it instead of going on at its end. The name completer's list is
// closed with the dialog, or it stays over the window until the next click.
QStringList TFrmMain::chosenFiles(QFileDialog *dialog)
{
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (name) QTimer::singleShot(0, name, &QLineEdit::selectAll);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (name && name->completer() && name->completer()->popup()) name->completer()->popup()->hide();
    const QStringList files = dialog->selectedFiles();
    return accepted ? files : QStringList();
}

// The dialog starts in path's folder from now on, also in later runs.
void TFrmMain::rememberFolder(QFileDialog *dialog, const QString &key, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    settings().setValue(key, folder);
    if (dialog->directory().absolutePath() != folder) dialog->setDirectory(folder);
}

// The dialog's own question sees only the chosen name; the names written are
// derived from it, so the question is asked here, once for both.
bool TFrmMain::replaceAllowed(const QString &path)
{
    const BILExportNames names = BILExportFileNames(path);
    if (!QFile::exists(names.texture) && !QFile::exists(names.heightmap)) return true;
    const Texts &t = texts();
    // The buttons say what they do; Escape and the default keep the files.
    QMessageBox box(
        QMessageBox::Question, t.save,
        t.replace.arg(QFileInfo(names.texture).fileName(), QFileInfo(names.heightmap).fileName()),
        QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(t.replaceButton);
    box.button(QMessageBox::No)->setText(t.cancelButton);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TFrmMain::showStartNote(bool opening)
{
    const Texts &t = texts();
    QStringList places = BILColorTablePlaces();
    QString colour;
    if (!BILColorTableProblem.isEmpty()) {
        // Said here, not by a modal box at the first preview.
        colour = std::exchange(BILColorTableProblem, QString());
    } else if (std::none_of(places.begin(), places.end(),
                            [](const QString &place) { return QFile::exists(place); })) {
        for (QString &place : places)
            place = QDir::toNativeSeparators(QFileInfo(place).absoluteFilePath());
        const QString looked = places.size() == 1 ? t.lookedForOne.arg(places[0])
                                                  : t.lookedForTwo.arg(places[0], places[1]);
        colour = t.noTable + u'\n' + looked;
    }
    colourNote = colour;
    QStringList lines;
    if (!colour.isEmpty()) lines << colour;
    if (!opening) lines << t.hint.arg(openKeyText);
    if (!lines.isEmpty()) note->showMessage(lines.join(u'\n'));
}

void TFrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!busy() && !droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

// Opened from the event loop: the drag source waits for the drop to end,
// and the layout dialog is modal.
void TFrmMain::dropEvent(QDropEvent *event)
{
    const QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    note->dismiss();
    QMetaObject::invokeMethod(
        this, [this, paths] { TApplication::ReportErrors([&] { openKeepingStartNote(paths); }); },
        Qt::QueuedConnection);
}

QStringList TFrmMain::droppedFiles(const QMimeData *data)
{
    if (!data || !data->hasUrls()) return {};
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        // One that cannot be opened spoils the drop, rather than a mosaic
        // silently opening without it.
        if (!url.isLocalFile() || QFileInfo(url.toLocalFile()).isDir()) return {};
        paths << url.toLocalFile();
    }
    return paths;
}
