#pragma once

// The About dialog: the program's name, version, maker and product page.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class TFMXFrmAbout;
}

// The product page in the user's language.
QString ProductPageURL();

// "Ver." and the version, or "Ver.1.0" when the executable carries none.
QString VersionLabelText(const QString &version);

class TFMXFrmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TFMXFrmAbout(QWidget *AOwner = nullptr);
    ~TFMXFrmAbout() override;

    // Applies the current look, then shows the dialog modally.
    void Execute();
    void ThemeUpdate();

private:
    void FormCreate();
    void InitTitle();
    void LbURLClick();

    std::unique_ptr<Ui::TFMXFrmAbout> ui;
};
