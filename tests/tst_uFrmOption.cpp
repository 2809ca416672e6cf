#include "mainwindow/uFrmOption.h"

#include "elevation/uFMXBILUtils.h"
#include "tests/answerModal.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

struct Layout
{
    bool bigEndian;
    int32_t width;
    int32_t height;
    int32_t noData;

    bool operator==(const Layout &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Layout &l)
{
    return out << (l.bigEndian ? "big" : "little") << ' ' << l.width << 'x' << l.height
               << " missing " << l.noData;
}

constexpr int16_t Missing = std::numeric_limits<int16_t>::min();
constexpr Layout HgtDefaults{true, 1201, 1201, Missing};
constexpr Layout OtherDefaults{false, 10800, 4800, Missing};
constexpr Layout Cancelled{false, -1, 0, Missing};

Layout globals()
{
    return {BILBigEndian, BILWidth, BILHeight, BILNoData};
}

class FrmOptionTest : public testing::Test
{
protected:
    TFrmOption dialog;

    // Pre-sets the globals as the loader does, runs the dialog with the user's
    // answer, and returns what the loader then finds.
    Layout execute(const Layout &preset, std::function<void(QWidget *)> answer)
    {
        BILBigEndian = preset.bigEndian;
        BILWidth = preset.width;
        BILHeight = preset.height;
        BILNoData = preset.noData;
        answerModal(std::move(answer));
        dialog.Execute();
        return globals();
    }

    template <typename T> static T *child(QWidget *modal, const char *name)
    {
        T *found = modal->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static void click(QWidget *modal, const char *button)
    {
        QTest::mouseClick(child<QPushButton>(modal, button), Qt::LeftButton);
    }

    static void type(QWidget *modal, const char *spinBox, const char *text)
    {
        auto *spin = child<QSpinBox>(modal, spinBox);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::fromLatin1(text));
    }
};

} // namespace

TEST_F(FrmOptionTest, OkAtOnceKeepsThePresetOfEitherExtension)
{
    for (const Layout &preset : {HgtDefaults, OtherDefaults}) {
        SCOPED_TRACE(testing::Message() << preset);
        EXPECT_EQ(execute(preset, [](QWidget *modal) { click(modal, "btOK"); }), preset);
    }
}

TEST_F(FrmOptionTest, ShowsThePresetInItsControls)
{
    execute(HgtDefaults, [](QWidget *modal) {
        EXPECT_EQ(child<QComboBox>(modal, "ComboBox1")->currentText(),
                  QStringLiteral("Signed 16bit big-endian"));
        EXPECT_EQ(child<QSpinBox>(modal, "SpinBox1")->value(), 1201);
        EXPECT_EQ(child<QSpinBox>(modal, "SpinBox2")->value(), 1201);
        EXPECT_EQ(child<QSpinBox>(modal, "SpinBox3")->value(), Missing);
        click(modal, "btCancel");
    });
}

TEST_F(FrmOptionTest, OkTakesTheEditedLayout)
{
    const Layout result = execute(HgtDefaults, [](QWidget *modal) {
        child<QComboBox>(modal, "ComboBox1")->setCurrentIndex(0);
        type(modal, "SpinBox1", "3601");
        type(modal, "SpinBox2", "1800");
        type(modal, "SpinBox3", "-9999");
        click(modal, "btOK");
    });
    EXPECT_EQ(result, (Layout{false, 3601, 1800, -9999}));
}

TEST_F(FrmOptionTest, EveryOtherCloseIsACancel)
{
    const std::function<void(QWidget *)> closes[] = {
        [](QWidget *modal) { click(modal, "btCancel"); },
        [](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); },
        [](QWidget *modal) { modal->close(); },
    };
    for (const auto &close : closes) {
        EXPECT_EQ(execute(HgtDefaults, close), Cancelled);
        // A value already edited is dropped as well.
        EXPECT_EQ(execute(OtherDefaults,
                          [&close](QWidget *modal) {
                              type(modal, "SpinBox2", "100");
                              close(modal);
                          }),
                  Cancelled);
    }
}

TEST_F(FrmOptionTest, TypedSizesBeyondTheStorageAreHeldToTheMaximum)
{
    const Layout result = execute(OtherDefaults, [](QWidget *modal) {
        type(modal, "SpinBox2", "99999");
        type(modal, "SpinBox3", "-70000");
        type(modal, "SpinBox1", "12000");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(result, (Layout{false, 10800, 4800, Missing}));
}

TEST_F(FrmOptionTest, EveryControlKeepsItsPlace)
{
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.minimumSize(), QSize(322, 204));
    EXPECT_EQ(dialog.maximumSize(), QSize(322, 204));
    const struct
    {
        const char *name;
        QRect place; // in the dialog's coordinates
    } places[] = {
        {"Label1", {16, 19, 73, 17}},     {"ComboBox1", {121, 15, 168, 22}},
        {"Label2", {16, 56, 73, 17}},     {"SpinBox1", {121, 53, 168, 22}},
        {"Label3", {16, 93, 73, 17}},     {"SpinBox2", {121, 91, 168, 22}},
        {"Label4", {16, 131, 73, 17}},    {"SpinBox3", {121, 129, 168, 22}},
        {"btCancel", {180, 167, 60, 30}}, {"btOK", {254, 167, 60, 30}},
    };
    for (const auto &p : places) {
        const auto *w = dialog.findChild<QWidget *>(QLatin1String(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(QRect(w->mapTo(&dialog, QPoint(0, 0)), w->size()), p.place) << p.name;
    }
}

TEST_F(FrmOptionTest, FocusMovesInTheDialogsOrder)
{
    execute(OtherDefaults, [](QWidget *modal) {
        QStringList order;
        child<QComboBox>(modal, "ComboBox1")->setFocus();
        for (int i = 0; i < 6; ++i) {
            QWidget *focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            // A spin box hands the focus to its inner text box.
            if (auto *spin = qobject_cast<QAbstractSpinBox *>(focus->parentWidget())) focus = spin;
            order << focus->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(order, (QStringList{"ComboBox1", "SpinBox2", "SpinBox3", "SpinBox1", "btOK",
                                      "btCancel"}));
        click(modal, "btCancel");
    });
}
