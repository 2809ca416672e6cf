#include "components/uFMXFrmAbout.h"

#include "components/uFMXTheme.h"
#include "components/uFMXUtils.h"
#include "ui_uFMXFrmAbout.h"

namespace {

const QString ProductPageEnglish = QStringLiteral("https://relieva.example/en/");
const QString ProductPageJapanese = QStringLiteral("https://relieva.example/ja/");

struct AboutLook
{
    const char *background;
    QRgb topFill;
    QRgb bottomFill;
    QRgb linkColor;
};

constexpr AboutLook LightLook{"ABOUT_SKINW", 0x88222222, 0x88888888, 0xFF0000FF};
constexpr AboutLook DarkLook{"ABOUT_SKINB", 0x88444444, 0x88222222, 0xFFAAAAFF};

QFont tahoma(int pixelSize)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelSize);
    return font;
}

QPixmap bitmapResource(const QString &name)
{
    QImage bitmap;
    LoadBitmapResource(bitmap, name);
    return QPixmap::fromImage(bitmap);
}

} // namespace

QString ProductPageURL()
{
    return IsJapanese() ? ProductPageJapanese : ProductPageEnglish;
}

QString VersionLabelText(const QString &version)
{
    return version.isEmpty() ? QStringLiteral("Ver.1.0") : QLatin1String("Ver.") + version;
}

TFMXFrmAbout::TFMXFrmAbout(QWidget *AOwner)
    : QDialog(AOwner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::TFMXFrmAbout>())
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->LbTitle->setFont(tahoma(20));
    for (QLabel *label : {ui->LbVersion, ui->LbProduct, static_cast<QLabel *>(ui->LbURL)})
        label->setFont(tahoma(15));
    ui->ButtonOK->setFont(QFont(QStringLiteral("Tahoma")));
    connect(ui->ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->LbURL, &TClickLabel::clicked, this, &TFMXFrmAbout::LbURLClick);
    FormCreate();
}

TFMXFrmAbout::~TFMXFrmAbout() = default;

void TFMXFrmAbout::FormCreate()
{
    setWindowTitle(IsJapanese() ? QStringLiteral("このプログラムについて")
                                : QStringLiteral("About this program"));
    ui->LbVersion->setText(VersionLabelText(GetVersionString()));
    InitTitle();
}

void TFMXFrmAbout::InitTitle()
{
    ui->LbTitle->setText(QStringLiteral("RELIEVA"));
    ui->LbURL->setText(ProductPageURL());
}

void TFMXFrmAbout::Execute()
{
    ThemeUpdate();
    exec();
}

void TFMXFrmAbout::ThemeUpdate()
{
    const AboutLook &look = IsLightTheme ? LightLook : DarkLook;
    ui->Image1->setPixmap(bitmapResource(QStringLiteral("ABOUT_ICN60")));
    ui->Image2->setPixmap(bitmapResource(QLatin1String(look.background)));
    ui->RectTop->setFill(QColor::fromRgba(look.topFill));
    ui->RectBottom->setFill(QColor::fromRgba(look.bottomFill));
    // A style sheet of its own, so that the application's sheet cannot recolour the link.
    ui->LbURL->setStyleSheet(
        QStringLiteral("color: %1;").arg(QColor::fromRgba(look.linkColor).name(QColor::HexRgb)));
}

void TFMXFrmAbout::LbURLClick()
{
    OpenURL(ProductPageURL());
}
