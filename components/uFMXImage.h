#pragma once

// Shows a bitmap scaled to fit, aspect ratio kept, centred. Painting uses a
// copy scaled once per size and device pixel ratio, so even a 10800 x 4800
// preview repaints as a plain blit of the exposed area.

#include "components/uPointerWidget.h"

#include <QImage>
#include <QPointF>

struct TImageFit
{
    float zoom = 0;    // display units per bitmap pixel; 0: nothing to show
    float offsetX = 0; // left edge of the drawn bitmap
    float offsetY = 0; // top edge of the drawn bitmap
};

class TFMXImage : public TPointerWidget
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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage image;
    QImage reduced; // image at no more than screen size
    QImage scaled;  // image at the drawn size in device pixels
};
