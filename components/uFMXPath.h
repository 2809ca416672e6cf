#pragma once

// A filled vector icon that stretches its path over the whole widget.

#include "components/uSVGPath.h"

#include <QColor>
#include <QWidget>

class TFMXPath : public QWidget
{
    Q_OBJECT

public:
    explicit TFMXPath(QWidget *parent = nullptr);

    void setData(const QString &value);
    QColor fillColor() const { return fill; }
    void setFillColor(const QColor &value);
    QColor strokeColor() const { return stroke; }
    void setStrokeColor(const QColor &value);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString pathData;
    QColor fill = Qt::black;
    QColor stroke = Qt::black;
    TSVGIconCache icon;
};
