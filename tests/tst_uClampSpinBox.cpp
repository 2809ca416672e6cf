#include "components/uClampSpinBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

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
