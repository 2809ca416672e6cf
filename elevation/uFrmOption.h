#pragma once

// The raw layout dialog: asks for the byte order, columns, rows and missing
// flag of a grid file that has no usable header.

#include <QDialog>

#include <memory>

namespace Ui {
class TFrmOption;
}

class TFrmOption : public QDialog
{
    Q_OBJECT

public:
    explicit TFrmOption(QWidget *AOwner = nullptr);
    ~TFrmOption() override;

    // Shows the grid's layout globals, lets the user change them and writes
    // them back on OK. Any other close is a cancel: BILWidth becomes -1.
    // Fits the loader's BILAskLayout hook.
    void Execute();

private:
    std::unique_ptr<Ui::TFrmOption> ui;
};
