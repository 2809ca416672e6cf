#include "components/uClampSpinBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

enum class Commit
{
    Enter,
    FocusLoss,
    StepUp,
    StepDown
};

struct ClampCase
{
    int minimum;
    int maximum;
    const char *typed;
    Commit commit;
    int expected;
};

// A spin box beside a second widget that can take the focus from it.
struct SpinBoxWindow
{
    QWidget window;
    TClampSpinBox *spin = new TClampSpinBox;
    QLineEdit *other = new QLineEdit;

    SpinBoxWindow(int minimum, int maximum)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        spin->setRange(minimum, maximum);
        window.show();
        QApplication::setActiveWindow(&window);
        spin->setFocus();
    }

    void type(const QString &text)
    {
        spin->selectAll();
        QTest::keyClicks(spin, text);
    }

    void commit(Commit how)
    {
        switch (how) {
        case Commit::Enter:
            QTest::keyClick(spin, Qt::Key_Return);
            break;
        case Commit::FocusLoss:
            other->setFocus();
            break;
        case Commit::StepUp:
            QTest::keyClick(spin, Qt::Key_Up);
            break;
        case Commit::StepDown:
            QTest::keyClick(spin, Qt::Key_Down);
            break;
        }
    }
};

} // namespace

TEST(TClampSpinBox, TypedValuesAreHeldToTheNearerLimitOnCommit)
{
    const ClampCase cases[] = {
        {0, 10800, "12000", Commit::Enter, 10800},
        {0, 10800, "12000", Commit::FocusLoss, 10800},
        {0, 10800, "12000", Commit::StepUp, 10800},
        {0, 10800, "12000", Commit::StepDown,
         10800}, // a step on text beyond the range only commits it
        {0, 10800, "500", Commit::StepDown, 499},
        {0, 4800, "99999999999999999999999", Commit::Enter, 4800},
        {0, 4800, "-5", Commit::Enter, 0},
        {-32768, 32767, "-40000", Commit::FocusLoss, -32768},
        {-32768, 32767, "40000", Commit::Enter, 32767},
        {-32768, 32767, "-123", Commit::Enter, -123},
        {100, 200, "5", Commit::Enter, 100},
    };
    for (const ClampCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.typed << " in " << c.minimum << ".." << c.maximum
                                        << ", commit " << static_cast<int>(c.commit));
        SpinBoxWindow box(c.minimum, c.maximum);
        box.type(QString::fromLatin1(c.typed));
        box.commit(c.commit);
        EXPECT_EQ(box.spin->value(), c.expected);
        EXPECT_EQ(box.spin->text(), QString::number(c.expected));
    }
}

TEST(TClampSpinBox, ReportsAChangeOnCommitNotPerKeystroke)
{
    SpinBoxWindow box(0, 10800);
    QSignalSpy changes(box.spin, &QSpinBox::valueChanged);
    box.type(QStringLiteral("1234"));
    EXPECT_EQ(changes.count(), 0);
    box.commit(Commit::Enter);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.first().first().toInt(), 1234);
}

TEST(TClampSpinBox, TextThatIsNoNumberKeepsThePreviousValue)
{
    SpinBoxWindow box(0, 10800);
    box.spin->setValue(42);
    box.type(QStringLiteral("-"));
    box.commit(Commit::Enter);
    EXPECT_EQ(box.spin->value(), 42);
}

// Degrees become the cell the box is told, on its own axis only; a box told
// nothing takes whole numbers alone.
TEST(TClampSpinBox, DegreesTypedBecomeCells)
{
    const struct
    {
        TClampSpinBox::Degrees axis;
        const char *typed;
        int expected; // 42: refused, the value before
    } cases[] = {
        {TClampSpinBox::Degrees::Across, "11.5°", 115},
        {TClampSpinBox::Degrees::Across, "11.57E", 115},
        {TClampSpinBox::Degrees::Across, "3 w", 0}, // -30, held to the range
        {TClampSpinBox::Degrees::Down, "57.3N", 573},
        {TClampSpinBox::Degrees::Down, "12.2s", 0},
        {TClampSpinBox::Degrees::Down, "57.3E", 42},
        {TClampSpinBox::Degrees::Across, "99°", 900}, // beyond the range
        {TClampSpinBox::Degrees::Across, "80°", 42},  // no cell for it
        {TClampSpinBox::Degrees::Across, "1.5", 42},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        SpinBoxWindow box(0, 900);
        box.spin->setValue(42);
        box.spin->setDegrees(c.axis, [](double d) -> std::optional<int> {
            if (d == 80) return std::nullopt;
            return int(std::floor(d * 10));
        });
        box.type(QString::fromUtf8(c.typed));
        box.commit(Commit::Enter);
        EXPECT_EQ(box.spin->value(), c.expected);
    }
    SpinBoxWindow plain(0, 900);
    plain.spin->setValue(42);
    plain.type(QStringLiteral("11.5°"));
    plain.commit(Commit::Enter);
    EXPECT_EQ(plain.spin->value(), 115); // the point and the sign refused as typed
}
