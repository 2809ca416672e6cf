// The icon cache: what it blits equals what DrawSVGPath draws directly, and it
// renders again exactly when something that changes the pixels changes.

#include "components/uFMXPath.h"
#include "components/uSVGData.h"
#include "components/uSVGPath.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace {

constexpr char unitSquare[] = "M0,0 L1,0 L1,1 L0,1 Z";

QImage canvas(qreal dpr)
{
    QImage image(QSize(64, 64) * dpr, QImage::Format_ARGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(QColor(0x20, 0x60, 0xA0));
    return image;
}

QImage paint(qreal dpr, const std::function<void(QPainter &)> &draw)
{
    QImage image = canvas(dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

// The largest difference of one channel over all pixels.
int maxDifference(const QImage &a, const QImage &b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift : {24, 16, 8, 0})
                most = std::max(most, std::abs(int((a.pixel(x, y) >> shift) & 0xFF) -
                                               int((b.pixel(x, y) >> shift) & 0xFF)));
    return most;
}

} // namespace

TEST(SVGIconCache, BlitsWhatADirectDrawingGives)
{
    struct Case
    {
        const char *name;
        qreal dpr;
        QRectF target;
        QColor stroke;
        qreal strokeWidth;
    };
    // The flat button's icon square at rest and pressed, a corner arrow with
    // its outline, at ratios that put the square's edges inside device pixels.
    const Case cases[] = {
        {"button at rest", 1, {17.4, 17.4, 25.2, 25.2}, {}, 0},
        {"button pressed", 1, {19.14, 19.14, 21.72, 21.72}, {}, 0},
        {"button at 1.5", 1.5, {17.4, 17.4, 25.2, 25.2}, {}, 0},
        {"button at 2", 2, {19.14, 19.14, 21.72, 21.72}, {}, 0},
        {"arrow", 1, {0.5, 0.5, 19, 19}, Qt::white, 1},
        {"arrow at 1.25", 1.25, {10.5, 3.5, 19, 19}, QColor(0xFF, 0x80, 0x00), 1},
        {"arrow at 2", 2, {0.5, 0.5, 19, 19}, Qt::white, 1},
    };
    for (const Case &c : cases) {
        for (const char *path : {SVGOpen, SVGCornerTopLeft, CheckMarkPath}) {
            SCOPED_TRACE(testing::Message() << c.name << " " << QByteArray(path).left(20).data());
            const QString data = QString::fromLatin1(path);
            const QColor fill(0xF0, 0xF0, 0xF0);
            const QImage direct = paint(c.dpr, [&](QPainter &p) {
                DrawSVGPath(p, data, c.target, fill, c.stroke, c.strokeWidth);
            });
            TSVGIconCache cache;
            const QImage first = paint(c.dpr, [&](QPainter &p) {
                cache.draw(p, data, c.target, fill, c.stroke, c.strokeWidth);
            });
            const QImage again = paint(c.dpr, [&](QPainter &p) {
                cache.draw(p, data, c.target, fill, c.stroke, c.strokeWidth);
            });
            EXPECT_EQ(cache.renders(), 1);
            EXPECT_EQ(first, again);
            // Blending the kept, premultiplied pixels rounds once more.
            EXPECT_LE(maxDifference(direct, first), 1);
            EXPECT_NE(direct, canvas(c.dpr)); // something was drawn
        }
    }
}

TEST(SVGIconCache, RendersAgainOnlyForWhatChangesThePixels)
{
    TSVGIconCache cache;
    const QString square = QString::fromLatin1(unitSquare);
    const QRectF at(17.4, 17.4, 25.2, 25.2);
    struct Step
    {
        const char *what;
        QString data;
        QRectF target;
        QColor fill;
        qreal dpr;
        int renders;
    };
    const Step steps[] = {
        {"first paint", square, at, Qt::black, 1, 1},
        {"repaint", square, at, Qt::black, 1, 1},
        {"moved by whole pixels", square, at.translated(3, 5), Qt::black, 1, 1},
        {"other colour", square, at, Qt::white, 1, 2},
        {"first colour again", square, at, Qt::black, 1, 2},
        {"moved by a fraction", square, at.translated(0.5, 0), Qt::black, 1, 3},
        {"other size", square, at.adjusted(0, 0, 1, 1), Qt::black, 1, 4},
        {"other ratio", square, at, Qt::black, 2, 5},
        {"other path", QString::fromLatin1(CheckMarkPath), at, Qt::black, 1, 6},
    };
    for (const Step &s : steps) {
        paint(s.dpr, [&](QPainter &p) { cache.draw(p, s.data, s.target, s.fill); });
        EXPECT_EQ(cache.renders(), s.renders) << s.what;
    }
}

TEST(SVGIconCache, PathWidgetFollowsItsColours)
{
    TFMXPath path;
    path.resize(20, 20);
    path.setData(QString::fromLatin1(unitSquare));
    auto centre = [&] {
        QImage image(path.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        path.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image.pixel(10, 10);
    };
    path.setFillColor(Qt::red);
    EXPECT_EQ(centre(), 0xFFFF0000u);
    path.setFillColor(Qt::blue);
    EXPECT_EQ(centre(), 0xFF0000FFu);
    path.setData(QStringLiteral("M0,0 L0.1,0 L0.1,0.1 Z"));
    EXPECT_EQ(centre(), 0u);
}
