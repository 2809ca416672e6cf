#pragma once

// Filled vector icons: SVG path data in the unit square drawn into a rectangle.

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// Fills the path with the even-odd rule, scaled from the unit square to
// target; with a valid stroke colour also outlines it strokeWidth wide
// (in target units). Malformed data draws what parses, never fails.
void DrawSVGPath(QPainter &painter, const QString &data, const QRectF &target, const QColor &fill,
                 const QColor &stroke = {}, qreal strokeWidth = 0);
