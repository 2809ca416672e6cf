#include "components/uRectangle.h"

#include <QPainter>

TRectangle::TRectangle(QWidget *AOwner) : QWidget(AOwner) {}

void TRectangle::setFill(const QColor &color)
{
    if (color == FFill) return;
    FFill = color;
    update();
}

void TRectangle::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), FFill);
}
