#pragma once

// A widget that reports the pointer's press, moves and release as signals,
// with positions in its own coordinates; moves only while a button is down. Qt hands a pressed widget every move
// and the release until the button goes up, wherever the pointer is.

#include <QPointF>
#include <QWidget>

class TPointerWidget : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

signals:
    void pressed(QPointF position);
    void moved(QPointF position);
    void released(QPointF position);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
