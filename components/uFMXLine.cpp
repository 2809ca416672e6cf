#include "components/uFMXLine.h"

#include <QPainter>

TFMXLine::TFMXLine(QWidget *parent) : TPointerWidget(parent)
{
    setEdge(LeftEdge);
}

void TFMXLine::setEdge(Edge value)
{
    lineEdge = value;
    setCursor(isVertical() ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    updateGeometry(); // the hint turns with the line
    update();
}

void TFMXLine::setStrokeColor(const QColor &value)
{
    if (value == stroke) return;
    stroke = value;
    update();
}

void TFMXLine::setPosition(QPointF value)
{
    pos = QPointF(float(value.x()), float(value.y()));
    move(qRound(pos.x()), qRound(pos.y()));
}

// Like QFrame's lines: no length of its own along the edge, its thickness across.
QSize TFMXLine::sizeHint() const
{
    return isVertical() ? QSize(Thickness, -1) : QSize(-1, Thickness);
}

// Across, at least the one-unit line it draws.
QSize TFMXLine::minimumSizeHint() const
{
    return isVertical() ? QSize(1, 0) : QSize(0, 1);
}

void TFMXLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect r = rect();
    switch (lineEdge) {
    case LeftEdge:
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), stroke);
        break;
    case RightEdge:
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), stroke);
        break;
    case TopEdge:
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), stroke);
        break;
    case BottomEdge:
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), stroke);
        break;
    }
}
