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

// Enlarged past one screen pixel a cell, the cells are crisp squares of their
// own colours; shrunk, they are smoothed.
TEST(ImageScaling, EnlargedCellsAreCrispSquares)
{
    QImage checks(4, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            checks.setPixel(x, y, (x + y) % 2 ? 0xFF000000u : 0xFFFFFFFFu);
    TFMXImage image;
    image.resize(400, 300);
    image.setBitmap(checks);
    const QImage shown = image.grab().toImage();
    const TImageFit f = image.fit();
    int grey = 0;
    for (int y = int(f.offsetY); y < int(f.offsetY + 3 * f.zoom); ++y)
        for (int x = int(f.offsetX); x < int(f.offsetX + 4 * f.zoom); ++x) {
            const QRgb p = shown.pixel(x, y);
            grey += p != 0xFF000000u && p != 0xFFFFFFFFu;
        }
    EXPECT_EQ(grey, 0) << "pixels between black and white";

    QImage stripes(800, 2, QImage::Format_ARGB32);
    for (int x = 0; x < 800; ++x)
        for (int y = 0; y < 2; ++y)
            stripes.setPixel(x, y, x % 2 ? 0xFF000000u : 0xFFFFFFFFu);
    image.setBitmap(stripes);
    const QImage shrunk = image.grab().toImage();
    const TImageFit g = image.fit();
    const QRgb middle = shrunk.pixel(int(g.offsetX + 400 * g.zoom), int(g.offsetY + g.zoom));
    EXPECT_NE(middle, 0xFF000000u);
    EXPECT_NE(middle, 0xFFFFFFFFu);
}
