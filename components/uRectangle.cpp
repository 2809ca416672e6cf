#include "components/uRectangle.h"

#include <QPainter>
#include <QStyle>

TRectangle::TRectangle(QWidget *AOwner) : QWidget(AOwner) {}

void TRectangle::setFill(const QColor &color)
{
    if (color == FFill) return;
    FFill = color;
    update();
}

// A fill has no size of its own: a layout inside decides, else a swatch of icon size.
QSize TRectangle::sizeHint() const
{
    const QSize held = QWidget::sizeHint();
    if (held.isValid()) return held;
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    return {side, side};
}

// Empty, it may shrink to nothing.
QSize TRectangle::minimumSizeHint() const
{
    const QSize held = QWidget::minimumSizeHint();
    return held.isValid() ? held : QSize(0, 0);
}

void TRectangle::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), FFill);
}
