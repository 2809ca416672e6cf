// The small painted widgets (path, line, image, rectangle): the sizes they
// ask a layout for.

#include "components/uFMXImage.h"
#include "components/uFMXLine.h"
#include "components/uFMXPath.h"
#include "components/uRectangle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QImage bitmap(int w, int h, qreal ratio = 1)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::darkGreen);
    image.setDevicePixelRatio(ratio);
    return image;
}

TEST(SmallWidgetSizes, EachAsksForWhatItDraws)
{
    const int icon = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
    const QSize iconSize(icon, icon);
    const struct
    {
        const char *name;
        std::function<QWidget *()> make;
        QSize hint, minimum;
    } cases[] = {
        {"path", [] { return new TFMXPath; }, iconSize, iconSize / 2},
        {"vertical line",
         [] {
             auto *line = new TFMXLine;
             line->setEdge(TFMXLine::RightEdge);
             return line;
         },
         {TFMXLine::Thickness, -1},
         {1, 0}},
        {"horizontal line",
         [] {
             auto *line = new TFMXLine;
             line->setEdge(TFMXLine::BottomEdge);
             return line;
         },
         {-1, TFMXLine::Thickness},
         {0, 1}},
        {"empty image", [] { return new TFMXImage; }, iconSize, iconSize},
        {"image",
         [] {
             auto *image = new TFMXImage;
             image->setBitmap(bitmap(300, 200));
             return image;
         },
         {300, 200},
         iconSize},
        {"image for a dense screen",
         [] {
             auto *image = new TFMXImage;
             image->setBitmap(bitmap(300, 200, 2));
             return image;
         },
         {150, 100},
         iconSize},
        {"image smaller than an icon",
         [] {
             auto *image = new TFMXImage;
             image->setBitmap(bitmap(4, 3));
             return image;
         },
         {4, 3},
         {4, 3}},
        {"empty rectangle", [] { return new TRectangle; }, iconSize, {0, 0}},
        {"rectangle holding a layout",
         [] {
             auto *rect = new TRectangle;
             auto *child = new QWidget;
             child->setFixedSize(40, 30);
             (new QHBoxLayout(rect))->addWidget(child);
             rect->layout()->setContentsMargins(2, 3, 4, 5);
             return rect;
         },
         {46, 38},
         {46, 38}},
    };
    for (const auto &c : cases) {
        const std::unique_ptr<QWidget> w(c.make());
        EXPECT_EQ(w->sizeHint(), c.hint) << c.name;
        EXPECT_EQ(w->minimumSizeHint(), c.minimum) << c.name;
    }
}

// Preview and crop line stacked in a shown layout: the line takes its
// thickness and the full width, and the layout follows a new bitmap.
TEST(SmallWidgetSizes, LayoutsFollowTheHints)
{
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *image = new TFMXImage;
    auto *line = new TFMXLine;
    line->setEdge(TFMXLine::TopEdge);
    column->addWidget(image);
    column->addWidget(line);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    const struct
    {
        QSize bitmap, host;
    } steps[] = {{{300, 200}, {300, 205}}, {{120, 80}, {120, 85}}};
    for (const auto &s : steps) {
        image->setBitmap(bitmap(s.bitmap.width(), s.bitmap.height()));
        host.adjustSize();
        QTest::qWait(0);
        EXPECT_EQ(host.size(), s.host) << s.bitmap.width();
        EXPECT_EQ(image->geometry(), QRect(QPoint(0, 0), s.bitmap));
        EXPECT_EQ(line->geometry(), QRect(0, s.bitmap.height(), s.bitmap.width(), 5));
    }
}

} // namespace
