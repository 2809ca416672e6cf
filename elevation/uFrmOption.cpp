#include "elevation/uFrmOption.h"

#include "elevation/uFMXBILUtils.h"
#include "ui_uFrmOption.h"

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

void TFrmOption::Execute()
{
    ui->ComboBox1->setCurrentIndex(BILBigEndian ? 1 : 0);
    ui->SpinBox1->setValue(BILWidth);
    ui->SpinBox2->setValue(BILHeight);
    ui->SpinBox3->setValue(BILNoData);
    ui->ComboBox1->setFocus();

    if (exec() == QDialog::Accepted) {
        BILBigEndian = ui->ComboBox1->currentIndex() == 1;
        BILWidth = ui->SpinBox1->value();
        BILHeight = ui->SpinBox2->value();
        BILNoData = ui->SpinBox3->value();
    } else {
        BILBigEndian = false;
        BILWidth = -1;
        BILHeight = 0;
        BILNoData = BILHeightLowest;
    }
}
