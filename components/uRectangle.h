#pragma once

// A rectangle shape without border line: fills itself with one colour, which
// may be translucent so that whatever lies beneath shows through.

#include <QColor>
#include <QWidget>

class TRectangle : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fill READ fill WRITE setFill)

public:
    explicit TRectangle(QWidget *AOwner = nullptr);

    QColor fill() const { return FFill; }
    void setFill(const QColor &color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor FFill = Qt::transparent;
};
