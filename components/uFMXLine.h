#pragma once

// A grab strip that draws a one-unit line along one of its edges. Its
// position is kept exactly as set; the widget itself sits on whole units.

#include "components/uPointerWidget.h"

#include <QColor>
#include <QPointF>

class TFMXLine : public TPointerWidget
{
    Q_OBJECT

public:
    enum Edge
    {
        LeftEdge,
        RightEdge,
        TopEdge,
        BottomEdge
    };
    Q_ENUM(Edge)
    Q_PROPERTY(Edge edge READ edge WRITE setEdge)

    // Across the line, the strip that can be grabbed; the line drawn is one unit.
    static constexpr int Thickness = 5;

    explicit TFMXLine(QWidget *parent = nullptr);

    Edge edge() const { return lineEdge; }
    void setEdge(Edge value);
    QColor strokeColor() const { return stroke; }
    void setStrokeColor(const QColor &value);
    QPointF position() const { return pos; }
    void setPosition(QPointF value);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool isVertical() const { return lineEdge == LeftEdge || lineEdge == RightEdge; }

    Edge lineEdge = LeftEdge;
    QColor stroke = Qt::black;
    QPointF pos;
};
