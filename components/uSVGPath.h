#pragma once

// Filled vector icons: SVG path data in the unit square drawn into a rectangle.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

// Fills the path with the even-odd rule, scaled from the unit square to
// target; with a valid stroke colour also outlines it strokeWidth wide
// (in target units). Malformed data draws what parses, never fails.
void DrawSVGPath(QPainter &painter, const QString &data, const QRectF &target, const QColor &fill,
                 const QColor &stroke = {}, qreal strokeWidth = 0);

// Draws as DrawSVGPath does, but keeps what it rendered: parsing and
// rasterising a path costs far more than a paint may, so each icon is rendered
// once per size, colours, device scale and sub-pixel position, and later
// paints only blit it. A few variants are kept, so that states a widget
// alternates between (hovered, pressed) do not render again.
class TSVGIconCache
{
public:
    void draw(QPainter &painter, const QString &data, const QRectF &target, const QColor &fill,
              const QColor &stroke = {}, qreal strokeWidth = 0);
    void clear() { entries.clear(); }
    // How often draw had to render; what a repaint costs shows here.
    int renders() const { return renderCount; }

private:
    struct Entry
    {
        QString data;
        QSizeF size;   // in device pixels
        QPointF phase; // the target's offset from the device pixel grid
        QColor fill;
        QColor stroke;
        qreal strokeWidth; // in device pixels
        QImage image;
        int margin; // device pixels around the target for antialiasing and the outline
    };

    std::vector<Entry> entries; // most recently used first
    int renderCount = 0;
};
