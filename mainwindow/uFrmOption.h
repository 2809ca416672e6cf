#pragma once

// The raw layout dialog: asks for the byte order, columns, rows and missing
// flag of a grid file that has no usable header.

#include "elevation/uBILGridValue.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class TFrmOption;
}

class TFrmOption : public QDialog
{
    Q_OBJECT

public:
    explicit TFrmOption(QWidget *AOwner = nullptr);
    ~TFrmOption() override;

    // Shows proposed, lets the user change it and gives the layout on OK;
    // any other close is a cancel.
    std::optional<bil::GridLayout> layoutFor(const bil::GridLayout &proposed);

    // The same question for the grid's layout globals, as the loader's
    // BILAskLayout hook asks it: written back on OK, BILWidth -1 on a cancel.
    void Execute();

private:
    std::unique_ptr<Ui::TFrmOption> ui;
};
