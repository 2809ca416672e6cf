#pragma once

// A label that reports a left click released over it, for texts that act as links.

#include <QLabel>

class TClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TClickLabel(QWidget *AOwner = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
