#include "components/uFMXLine.h"

#include <QPainter>

TFMXLine::TFMXLine(QWidget *parent) : TPointerWidget(parent)
{
    setEdge(LeftEdge);
}

void TFMXLine::setEdge(Edge value)
{
    lineEdge = value;
    setCursor(value == LeftEdge || value == RightEdge ? Qt::SizeHorCursor : Qt::SizeVerCursor);
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
