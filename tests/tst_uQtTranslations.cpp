// Qt's own texts follow the user's language: a Japanese user's file dialog
// and standard buttons are Japanese, and an English user's stay English.
#include "mainwindow/uQtTranslations.h"

#include "tests/localeEnvironment.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QString cancelText()
{
    const QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    return buttons.button(QDialogButtonBox::Cancel)->text();
}

QString lookInText()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto *label = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    return label ? label->text() : QString();
}

} // namespace

TEST(QtTranslations, QtsOwnDialogsSpeakTheUsersLanguage)
{
    {
        const auto english = englishUser();
        EXPECT_EQ(InstallQtTranslations(), nullptr);
        EXPECT_EQ(cancelText(), "Cancel");
    }
    {
        const auto japanese = japaneseUser();
        const std::unique_ptr<QTranslator> translator = InstallQtTranslations();
        ASSERT_NE(translator, nullptr) << "scripts/setup installs qt6-translations-l10n";
        EXPECT_EQ(cancelText(), "キャンセル");
        EXPECT_EQ(lookInText(), "アドレス:");
    }
    // Gone with its translator.
    EXPECT_EQ(cancelText(), "Cancel");
    EXPECT_EQ(lookInText(), "Look in:");
}
