#include "components/uPointerWidget.h"

#include <QMouseEvent>

void TPointerWidget::mousePressEvent(QMouseEvent *event)
{
    emit pressed(event->position());
}
void TPointerWidget::mouseMoveEvent(QMouseEvent *event)
{
    // A widget that tracks the pointer gets moves with no button down too;
    // those are no drag.
    if (event->buttons() != Qt::NoButton) emit moved(event->position());
}
void TPointerWidget::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(event->position());
}
