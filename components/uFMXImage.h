#pragma once

// Shows a bitmap scaled to fit, aspect ratio kept, centred. Painting uses a
// copy scaled once per size and device pixel ratio, so even a 10800 x 4800
// preview repaints as a plain blit of the exposed area.

#include <QImage>
#include <QPointF>
#include <QWidget>

struct TImageFit
{
    float zoom = 0;    // display units per bitmap pixel; 0: nothing to show
    float offsetX = 0; // left edge of the drawn bitmap
    float offsetY = 0; // top edge of the drawn bitmap
};

class TFMXImage : public QWidget
{
    Q_OBJECT

public:
    explicit TFMXImage(QWidget *parent = nullptr);

    // The placement of a bitmap of size bitmap in an area of size area: the
    // smaller of the two ratios, rounded to float, ties to the height's.
    static TImageFit Fit(QSizeF area, QSize bitmap);

    const QImage &bitmap() const { return image; }
    void setBitmap(const QImage &value);
    TImageFit fit() const { return Fit(size(), image.size()); }

signals:
    void resized();
    void pressed(QPointF position);
    void moved(QPointF position);
    void released(QPointF position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage image;
    QImage reduced; // image at no more than screen size
    QImage scaled;  // image at the drawn size in device pixels
};
