// The transient note: its size, colours, place over its area, that it lets
// the pointer through, repaints no more than its own rectangle, and leaves
// after its time or when dismissed.

#include "components/uFMXNote.h"
#include "components/uFMXTheme.h"

#include <QPaintEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Records the regions the area is asked to repaint.
class PaintLog : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent *>(event)->region());
        return false;
    }
    std::vector<QRegion> regions;
};

class NoteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        area = std::make_unique<QWidget>();
        area->resize(600, 300);
        note = new TFMXNote(area.get());
        area->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(area.get()));
    }
    void TearDown() override
    {
        area.reset();
        IsLightTheme = true;
        SysAccentColor = DefaultAccentColor;
    }

    std::unique_ptr<QWidget> area;
    TFMXNote *note = nullptr;
};

TEST_F(NoteTest, SitsNearTheBottomOfItsAreaAndLetsThePointerThrough)
{
    EXPECT_FALSE(note->isVisible());
    note->showMessage(QStringLiteral("Heights 12 m to 1534 m"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), "Heights 12 m to 1534 m");
    for (const QSize size : {QSize(600, 300), QSize(900, 200)}) {
        area->resize(size);
        const QRect r = note->geometry();
        EXPECT_EQ(r.size(), note->sizeHint());
        EXPECT_NEAR(r.center().x(), size.width() / 2, 1);
        EXPECT_GT(r.top(), size.height() * 2 / 3);
        EXPECT_LT(r.bottom(), size.height());
        // A press there reaches the area, and the keyboard stays where it was.
        EXPECT_NE(area->childAt(r.center()), note);
    }
    EXPECT_EQ(note->focusPolicy(), Qt::NoFocus);

    // Too narrow an area: the note keeps inside it.
    area->resize(note->sizeHint().width() - 20, 200);
    EXPECT_TRUE(area->rect().contains(note->geometry()));
}

TEST_F(NoteTest, AsksRoomForEachLine)
{
    note->showMessage(QStringLiteral("short"));
    const QSize one = note->sizeHint();
    note->showMessage(QStringLiteral("a much longer line of text"));
    const QSize longer = note->sizeHint();
    note->showMessage(QStringLiteral("a much longer line of text\nshort"));
    const QSize two = note->sizeHint();
    EXPECT_GT(longer.width(), one.width());
    EXPECT_EQ(longer.height(), one.height());
    EXPECT_EQ(two.width(), longer.width());
    EXPECT_GE(two.height() - one.height(), note->fontMetrics().height());
    EXPECT_EQ(note->text(), "a much longer line of text\nshort");
    // Long lines may be elided; the height is never cut.
    EXPECT_LT(note->minimumSizeHint().width(), two.width());
    EXPECT_EQ(note->minimumSizeHint().height(), two.height());
}

// With room enough, no line loses its end, whatever its letters' fractional widths.
TEST_F(NoteTest, WithRoomNoLineIsElided)
{
    area->resize(1200, 300);
    note->showMessage(QString());
    const int padding = note->sizeHint().width();
    for (const char *text :
         {"Open a grid with the Open button, Ctrl+O, or by dropping its file here.",
          "Heights 12 m to 1534 m · 5.97 m per grey level",
          "「開く」ボタン、Ctrl+O、またはファイルのドロップでグリッドを開きます。",
          "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"}) {
        const QString line = QString::fromUtf8(text);
        note->showMessage(line);
        const int room = note->width() - padding;
        EXPECT_EQ(note->fontMetrics().elidedText(line, Qt::ElideRight, room), line) << text;
    }
}

TEST_F(NoteTest, TakesItsColoursFromTheLook)
{
    const struct
    {
        bool light;
        TAlphaColor accent;
    } looks[] = {{true, 0xFF0078D7}, {false, 0xFF8E24AA}};
    note->showMessage(QStringLiteral("All heights 37 m"));
    for (const auto &look : looks) {
        IsLightTheme = look.light;
        SysAccentColor = look.accent;
        note->ThemeUpdate();
        EXPECT_EQ(note->accentColor(), QColor::fromRgba(look.accent));
        EXPECT_EQ(note->backgroundColor().lightness() > 128, look.light);
        EXPECT_EQ(note->textColor().lightness() > 128, !look.light);
        const QImage shot = note->grab().toImage();
        // The accent bar on the left, and the panel beside the text.
        EXPECT_EQ(shot.pixelColor(8, shot.height() / 2), note->accentColor()) << look.light;
        EXPECT_EQ(shot.pixelColor(shot.width() - 5, shot.height() / 2), note->backgroundColor())
            << look.light;
    }
}

TEST_F(NoteTest, RepaintsOnlyItsOwnRectangle)
{
    QTest::qWait(50);
    PaintLog log;
    area->installEventFilter(&log);
    // Shown, faded out, shown again and dismissed.
    note->setDuration(20);
    note->showMessage(QStringLiteral("Heights 12 m to 1534 m"));
    const QRect shownAt = note->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !note->isVisible(); }));
    note->showMessage(QStringLiteral("Heights 12 m to 1534 m"));
    QTest::qWait(10);
    note->dismiss();
    QTest::qWait(50);
    EXPECT_GT(log.regions.size(), 2u);
    for (const QRegion &region : log.regions)
        EXPECT_TRUE(shownAt.contains(region.boundingRect()))
            << region.boundingRect().x() << "," << region.boundingRect().y() << " "
            << region.boundingRect().width() << "x" << region.boundingRect().height();
}

TEST_F(NoteTest, LeavesAfterItsTimeOrWhenDismissed)
{
    EXPECT_EQ(note->duration(), TFMXNote::DefaultDuration);
    note->setDuration(30);
    note->showMessage(QStringLiteral("first"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !note->isVisible(); }));

    // A new note restarts the countdown; a dismissal ends it at once.
    note->setDuration(60'000);
    note->showMessage(QStringLiteral("second"));
    EXPECT_TRUE(note->isVisible());
    note->dismiss();
    EXPECT_FALSE(note->isVisible());
    note->dismiss();
    EXPECT_FALSE(note->isVisible());
}

} // namespace
