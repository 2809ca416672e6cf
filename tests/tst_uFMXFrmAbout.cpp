#include "components/uFMXFrmAbout.h"

#include "components/uFMXTheme.h"
#include "components/uRectangle.h"
#include "tests/answerModal.h"
#include "tests/localeEnvironment.h"
#include "tests/urlCatcher.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct LookCase
{
    bool light;
    const char *styleSheet;
    const char *background;
    QRgb topFill;
    QRgb bottomFill;
    QRgb linkColor;
};

const LookCase Looks[] = {
    {true, ":/WIN11LIGHT", ":/ABOUT_SKINW", 0x88222222, 0x88888888, 0xFF0000FF},
    {false, ":/WIN11DARK", ":/ABOUT_SKINB", 0x88444444, 0x88222222, 0xFFAAAAFF},
};

template <typename T> T *child(QWidget *dialog, const char *name)
{
    T *found = dialog->findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString text(QWidget *dialog, const char *label)
{
    return child<QLabel>(dialog, label)->text();
}

QImage shown(QWidget *dialog, const char *image)
{
    return child<QLabel>(dialog, image)->pixmap().toImage();
}

QImage resource(const char *name)
{
    return QImage(QLatin1String(name)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Checks the look the dialog shows against one column of the theme table.
void expectLook(QWidget *dialog, const LookCase &look)
{
    SCOPED_TRACE(look.light ? "light" : "dark");
    EXPECT_EQ(child<TRectangle>(dialog, "RectTop")->fill().rgba(), look.topFill);
    EXPECT_EQ(child<TRectangle>(dialog, "RectBottom")->fill().rgba(), look.bottomFill);
    QLabel *link = child<QLabel>(dialog, "LbURL");
    link->ensurePolished();
    EXPECT_EQ(link->palette().color(QPalette::WindowText).rgba(), look.linkColor);
    EXPECT_EQ(shown(dialog, "Image2").convertToFormat(QImage::Format_ARGB32_Premultiplied),
              resource(look.background));
    EXPECT_EQ(shown(dialog, "Image1").convertToFormat(QImage::Format_ARGB32_Premultiplied),
              resource(":/ABOUT_ICN60"));
}

// Installs one of the program's style sheets for the application, as the main
// window does, and restores the theme state afterwards.
class AboutTest : public testing::Test
{
protected:
    void TearDown() override
    {
        qApp->setStyleSheet(QString());
        IsLightTheme = true;
    }

    static void applyLook(const LookCase &look)
    {
        IsLightTheme = look.light;
        QFile sheet(QLatin1String(look.styleSheet));
        ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }
};

} // namespace

TEST(VersionLabelText, ShowsTheVersionOrTheFallback)
{
    EXPECT_EQ(VersionLabelText(QStringLiteral("2.10.0.0")), QStringLiteral("Ver.2.10.0.0"));
    EXPECT_EQ(VersionLabelText(QString()), QStringLiteral("Ver.1.0"));
}

TEST_F(AboutTest, EnglishTexts)
{
    const auto user = englishUser();
    TFMXFrmAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About this program"));
    EXPECT_EQ(text(&dialog, "LbTitle"), QStringLiteral("RELIEVA"));
    EXPECT_EQ(text(&dialog, "LbVersion"), QStringLiteral("Ver." RELIEVA_PROJECT_VERSION));
    EXPECT_EQ(text(&dialog, "LbProduct"), QStringLiteral("HOLVENA WORKS"));
    EXPECT_EQ(text(&dialog, "LbURL"), QStringLiteral("https://relieva.example/en/"));
    EXPECT_EQ(text(&dialog, "LbURL"), ProductPageURL());
}

TEST_F(AboutTest, JapaneseTexts)
{
    const auto user = japaneseUser();
    TFMXFrmAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("このプログラムについて"));
    EXPECT_EQ(text(&dialog, "LbTitle"), QStringLiteral("RELIEVA"));
    EXPECT_EQ(text(&dialog, "LbVersion"), QStringLiteral("Ver." RELIEVA_PROJECT_VERSION));
    EXPECT_EQ(text(&dialog, "LbProduct"), QStringLiteral("HOLVENA WORKS"));
    EXPECT_EQ(text(&dialog, "LbURL"), QStringLiteral("https://relieva.example/ja/"));
    EXPECT_EQ(text(&dialog, "LbURL"), ProductPageURL());
}

TEST_F(AboutTest, TextsAreFixedAtCreation)
{
    auto user = std::make_optional<LocaleEnvironment>(
        std::array<const char *, 3>{nullptr, nullptr, "ja_JP.UTF-8"});
    TFMXFrmAbout dialog;
    user.reset();
    const auto english = englishUser();
    for (int opening = 0; opening < 2; ++opening) {
        answerModal([](QWidget *modal) {
            EXPECT_EQ(modal->windowTitle(), QStringLiteral("このプログラムについて"));
            EXPECT_EQ(text(modal, "LbURL"), QStringLiteral("https://relieva.example/ja/"));
            QTest::mouseClick(child<QPushButton>(modal, "ButtonOK"), Qt::LeftButton);
        });
        dialog.Execute();
    }
}

TEST_F(AboutTest, ThemeUpdateAppliesEitherLook)
{
    TFMXFrmAbout dialog;
    for (const LookCase &look : Looks) {
        applyLook(look);
        dialog.ThemeUpdate();
        expectLook(&dialog, look);
    }
}

TEST_F(AboutTest, EveryOpeningAppliesTheCurrentLookAndEitherCloseEndsIt)
{
    TFMXFrmAbout dialog;
    applyLook(Looks[0]);
    answerModal([](QWidget *modal) {
        expectLook(modal, Looks[0]);
        QTest::mouseClick(child<QPushButton>(modal, "ButtonOK"), Qt::LeftButton);
    });
    dialog.Execute();

    applyLook(Looks[1]);
    answerModal([](QWidget *modal) {
        expectLook(modal, Looks[1]);
        modal->close();
    });
    dialog.Execute();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(AboutTest, TheLinkOpensThePageItShows)
{
    for (bool japanese : {false, true}) {
        const auto user = japanese ? japaneseUser() : englishUser();
        UrlCatcher browser(QStringLiteral("https"));
        TFMXFrmAbout dialog;
        answerModal([](QWidget *modal) {
            QTest::mouseClick(child<QLabel>(modal, "LbURL"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(modal, "ButtonOK"), Qt::LeftButton);
        });
        dialog.Execute();
        EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(text(&dialog, "LbURL"))}) << japanese;
    }
}

TEST_F(AboutTest, BarsAndRowsShareTheClientArea)
{
    TFMXFrmAbout dialog;
    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(512, 256));
    EXPECT_EQ(child<QWidget>(&dialog, "Image2")->geometry(), QRect(0, 0, 512, 256));
    EXPECT_EQ(child<QWidget>(&dialog, "RectTop")->geometry(), QRect(0, 0, 512, 60));
    EXPECT_EQ(child<QWidget>(&dialog, "RectBottom")->geometry(), QRect(0, 216, 512, 40));
    // 156 pixels in the proportion 27.8 : 23.1 : 24.5.
    const int rows[] = {child<QWidget>(&dialog, "LbVersion")->height(),
                        child<QWidget>(&dialog, "LbProduct")->height(),
                        child<QWidget>(&dialog, "LbURL")->height()};
    EXPECT_NEAR(rows[0], 57.5, 1.0);
    EXPECT_NEAR(rows[1], 47.8, 1.0);
    EXPECT_NEAR(rows[2], 50.7, 1.0);
    EXPECT_EQ(rows[0] + rows[1] + rows[2], 156);
}
