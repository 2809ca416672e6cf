#include "mainwindow/uSaveChoices.h"

#include "components/uFMXUtils.h"
#include "elevation/uBILEngines.h"
#include "elevation/uBILFill.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

namespace {

struct Texts
{
    QString engine, none, size, asCropped, nearest, square, squareTip, tiles, fill, fillTip;
};

const Texts &texts()
{
    static const Texts english{QStringLiteral("En&gine:"),
                               QStringLiteral("None"),
                               QStringLiteral("Si&ze:"),
                               QStringLiteral("As cropped"),
                               QStringLiteral("Nearest, %1 × %1"),
                               QStringLiteral("S&quare metres (UTM)"),
                               QStringLiteral("For a grid in longitude and latitude"),
                               QStringLiteral("T&iles:"),
                               QStringLiteral("Fill &voids"),
                               QStringLiteral("Missing cells up to %1 cells from a valid one "
                                              "take heights from the cells around them")};
    static const Texts japanese{QStringLiteral("エンジン(&G):"),
                                QStringLiteral("なし"),
                                QStringLiteral("サイズ(&Z):"),
                                QStringLiteral("切り抜きのまま"),
                                QStringLiteral("最も近い %1 × %1"),
                                QStringLiteral("メートル単位の正方セル (UTM)(&Q)"),
                                QStringLiteral("経度・緯度のグリッドのみ"),
                                QStringLiteral("タイル(&I):"),
                                QStringLiteral("欠損を補間(&V)"),
                                QStringLiteral("有効なセルから %1 セル以内の欠損セルを、"
                                               "周りのセルから補います")};
    return IsJapanese() ? japanese : english;
}

// Widens box to its longest item and the arrow, which the look draws over
// the box's edge rather than beside its text.
void fitItems(QComboBox *box)
{
    box->setMinimumWidth(0);
    box->setMinimumWidth(box->sizeHint().width() + 20);
}

QSpinBox *tileBox(QWidget *parent, const QString &name)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(1, 64);
    return box;
}

} // namespace

TSaveChoices::TSaveChoices(QWidget *parent)
    : QWidget(parent), engineBox(new QComboBox(this)), sizeBox(new QComboBox(this)),
      utmBox(new QCheckBox(this)), acrossBox(tileBox(this, QStringLiteral("tilesAcross"))),
      downBox(tileBox(this, QStringLiteral("tilesDown"))), fillBox(new QCheckBox(this))
{
    const Texts &t = texts();
    setObjectName(QStringLiteral("saveChoices"));
    engineBox->setObjectName(QStringLiteral("engine"));
    sizeBox->setObjectName(QStringLiteral("size"));
    utmBox->setObjectName(QStringLiteral("squareMetres"));
    engineBox->addItem(t.none, QString());
    for (const bil::Engine &e : bil::engines())
        engineBox->addItem(QString::fromUtf8(e.title), QString::fromLatin1(e.name));
    utmBox->setText(t.square);
    fillBox->setObjectName(QStringLiteral("fillVoids"));
    fillBox->setText(t.fill);
    fillBox->setToolTip(t.fillTip.arg(bil::defaultFillDistance));
    engineBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    sizeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    fitItems(engineBox);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto labelled = [&](const QString &text, QWidget *buddy) {
        auto *label = new QLabel(text, this);
        label->setBuddy(buddy);
        layout->addWidget(label);
        layout->addWidget(buddy);
    };
    labelled(t.engine, engineBox);
    labelled(t.size, sizeBox);
    layout->addWidget(utmBox);
    labelled(t.tiles, acrossBox);
    layout->addWidget(new QLabel(QStringLiteral("×"), this));
    layout->addWidget(downBox);
    layout->addWidget(fillBox);
    layout->addStretch();

    connect(engineBox, &QComboBox::activated, this, [this] {
        fillSizes(engine() ? NearestSize : 0);
        emit engineChosen(engine());
    });
    setRegion(0, 0, false);
}

void TSaveChoices::setRegion(int columnCount, int rowCount, bool geographic)
{
    columns = columnCount;
    rows = rowCount;
    fillSizes(sizeBox->currentData().toInt());
    utmBox->setEnabled(geographic);
    utmBox->setToolTip(geographic ? QString() : texts().squareTip);
}

const bil::Engine *TSaveChoices::engine() const
{
    return bil::engineNamed(engineBox->currentData().toString());
}

// The sizes the engine takes, with size chosen where it is one of them.
void TSaveChoices::fillSizes(int size)
{
    const Texts &t = texts();
    const bil::Engine *e = engine();
    sizeBox->clear();
    sizeBox->addItem(t.asCropped, 0);
    if (e && !e->sizes.empty()) {
        sizeBox->addItem(
            t.nearest.arg(bil::nearestEngineSize(e->sizes, std::max({columns, rows, 1}))),
            NearestSize);
        for (const int n : e->sizes)
            sizeBox->addItem(QStringLiteral("%1 × %1").arg(n), n);
    }
    sizeBox->setCurrentIndex(std::max(0, sizeBox->findData(size)));
    sizeBox->setEnabled(sizeBox->count() > 1);
    fitItems(sizeBox);
}

TSaveChoices::State TSaveChoices::state() const
{
    return {engineBox->currentData().toString(),
            sizeBox->currentData().toInt(),
            utmBox->isChecked(),
            acrossBox->value(),
            downBox->value(),
            fillBox->isChecked()};
}

void TSaveChoices::setState(const State &state)
{
    engineBox->setCurrentIndex(std::max(0, engineBox->findData(state.engine)));
    fillSizes(state.size);
    utmBox->setChecked(state.utm);
    acrossBox->setValue(state.tilesAcross);
    downBox->setValue(state.tilesDown);
    fillBox->setChecked(state.fillVoids);
}

BILExportOptions TSaveChoices::applied(BILExportOptions options) const
{
    const bil::Engine *e = engine();
    int size = sizeBox->currentData().toInt();
    if (size == NearestSize) size = bil::nearestEngineSize(e->sizes, std::max(columns, rows));
    options.width = options.height = size;
    options.utm = utmBox->isEnabled() && utmBox->isChecked();
    options.tilesAcross = acrossBox->value();
    options.tilesDown = downBox->value();
    options.sidecar = e != nullptr;
    options.fillVoids = fillBox->isChecked() ? bil::defaultFillDistance : 0;
    return options;
}
