#include "components/uFMXPath.h"

#include <QPainter>
#include <QStyle>

TFMXPath::TFMXPath(QWidget *parent) : QWidget(parent) {}

void TFMXPath::setData(const QString &value)
{
    if (value == pathData) return;
    pathData = value;
    icon.clear();
    update();
}

void TFMXPath::setFillColor(const QColor &value)
{
    if (value == fill) return;
    fill = value;
    update();
}

void TFMXPath::setStrokeColor(const QColor &value)
{
    if (value == stroke) return;
    stroke = value;
    update();
}

// An icon asks for the style's small icon size, as other small indicators do.
QSize TFMXPath::sizeHint() const
{
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    return {side, side};
}

// The path stretches to any box; at half an icon its shape still reads.
QSize TFMXPath::minimumSizeHint() const
{
    return sizeHint() / 2;
}

void TFMXPath::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The outline is one unit wide and lies half outside the path, so keep it inside the box.
    icon.draw(painter, pathData, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), fill, stroke, 1);
}
