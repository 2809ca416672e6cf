#include "mainwindow/uFrmOption.h"

#include "elevation/uFMXBILUtils.h"
#include "ui_uFrmOption.h"

#include <algorithm>
#include <climits>

TFrmOption::TFrmOption(QWidget *AOwner)
    : QDialog(AOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TFrmOption>())
{
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFrmOption::~TFrmOption() = default;

std::optional<bil::GridLayout> TFrmOption::layoutFor(const bil::GridLayout &proposed)
{
    ui->ComboBox1->setCurrentIndex(proposed.bigEndian ? 1 : 0);
    ui->SpinBox1->setValue(int(std::min<int64_t>(proposed.width, INT_MAX)));
    ui->SpinBox2->setValue(int(std::min<int64_t>(proposed.height, INT_MAX)));
    ui->SpinBox3->setValue(proposed.noData);
    ui->ComboBox1->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return bil::GridLayout{ui->ComboBox1->currentIndex() == 1, ui->SpinBox1->value(),
                           ui->SpinBox2->value(), ui->SpinBox3->value()};
}

void TFrmOption::Execute()
{
    const std::optional<bil::GridLayout> answer =
        layoutFor({BILBigEndian, BILWidth, BILHeight, BILNoData});
    BILBigEndian = answer && answer->bigEndian;
    BILWidth = answer ? int32_t(answer->width) : -1;
    BILHeight = answer ? int32_t(answer->height) : 0;
    BILNoData = answer ? answer->noData : BILHeightLowest;
}
