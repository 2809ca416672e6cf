#pragma once

// Shows a bitmap scaled to fit, aspect ratio kept, centred. Painting uses a
// copy scaled once per size and device pixel ratio, so even a 10800 x 4800
// preview repaints as a plain blit of the exposed area. While the pointer is
// over the bitmap, a small readout in a corner of it says what a text
// provider has to say about the pixel under it.

#include "components/uPointerWidget.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

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
    // The readout's text for the bitmap pixel (column, row) under the pointer;
    // a "\n" starts a second line. Empty shows nothing.
    using ReadoutProvider = std::function<QString(QPoint pixel)>;

    explicit TFMXImage(QWidget *parent = nullptr);

    // The placement of a bitmap of size bitmap in an area of size area: the
    // smaller of the two ratios, rounded to float, ties to the height's.
    static TImageFit Fit(QSizeF area, QSize bitmap);

    const QImage &bitmap() const { return image; }
    void setBitmap(const QImage &value);
    TImageFit fit() const { return Fit(size(), image.size()); }

    // The bitmap pixel drawn at position, or nullopt where no pixel is drawn.
    std::optional<QPoint> pixelAt(QPointF position) const;

    void setReadout(ReadoutProvider provider);
    // Shows the readout for the pointer at position, in this widget's
    // coordinates: for widgets laid over the preview that take its moves.
    void pointerAt(QPointF position);
    // The readout as shown, or empty while it is hidden.
    QString readoutText() const { return readoutShown ? readout : QString(); }
    QRect readoutRect() const { return readoutShown ? readoutBox : QRect(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void showReadout(std::optional<QPoint> pixel, QPointF pointer = {});
    QRect readoutPlace(QPointF pointer) const;
    void paintReadout(QPainter &painter) const;

    QImage image;
    QImage reduced; // image at no more than screen size
    QImage scaled;  // image at the drawn size in device pixels

    ReadoutProvider readoutProvider;
    bool readoutShown = false;
    QPoint readoutPixel;
    QString readout;
    QSize readoutSize;
    QRect readoutBox;
};
