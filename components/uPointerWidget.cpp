#include "components/uPointerWidget.h"

#include <QMouseEvent>

void TPointerWidget::mousePressEvent(QMouseEvent *event)
{
    emit pressed(event->position());
}
void TPointerWidget::mouseMoveEvent(QMouseEvent *event)
{
    emit moved(event->position());
}
void TPointerWidget::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(event->position());
}
