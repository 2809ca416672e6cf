#include "components/uClickLabel.h"

#include <QMouseEvent>

TClickLabel::TClickLabel(QWidget *AOwner) : QLabel(AOwner) {}

void TClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
