#include "components/uFMXImage.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

TFMXImage::TFMXImage(QWidget *parent) : TPointerWidget(parent) {}

TImageFit TFMXImage::Fit(QSizeF area, QSize bitmap)
{
    if (bitmap.isEmpty() || area.width() <= 0) return {};
    const float w = float(bitmap.width()), h = float(bitmap.height());
    const double wc = area.width(), hc = area.height();
    const float zx = float(wc / w), zy = float(hc / h);
    if (zy > zx) return {zx, 0, float((hc - double(zx) * h) / 2)};
    return {zy, float((wc - double(zy) * w) / 2), 0};
}

void TFMXImage::setBitmap(const QImage &value)
{
    image = value;
    // Rescaling a full-capacity grid takes a tenth of a second; a copy at
    // screen size makes every later window size cheap.
    constexpr int reducedSide = 4096;
    reduced =
        std::max(image.width(), image.height()) > reducedSide
            ? image.scaled(reducedSide, reducedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    scaled = QImage();
    updateGeometry();
    update();
}

// The bitmap at its own size; an empty preview asks for an icon's room.
QSize TFMXImage::sizeHint() const
{
    if (image.isNull()) {
        const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        return {side, side};
    }
    return image.deviceIndependentSize().toSize();
}

// The fit shrinks the bitmap to any size; below an icon nothing in it can be made out.
QSize TFMXImage::minimumSizeHint() const
{
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    return sizeHint().boundedTo(QSize(side, side));
}

void TFMXImage::paintEvent(QPaintEvent *)
{
    const TImageFit f = fit();
    if (f.zoom <= 0) return;
    const QRectF target(f.offsetX, f.offsetY, image.width() * double(f.zoom),
                        image.height() * double(f.zoom));
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (target.size() * ratio).toSize();
    if (pixels.isEmpty()) return;
    if (scaled.size() != pixels || scaled.devicePixelRatio() != ratio) {
        const QImage &source = pixels.width() <= reduced.width() ? reduced : image;
        scaled = source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
    }
    // Painting is clipped to the exposed region, so a moving line costs a strip.
    QPainter painter(this);
    painter.drawImage(target.topLeft(), scaled);
}

void TFMXImage::resizeEvent(QResizeEvent *)
{
    emit resized();
}
