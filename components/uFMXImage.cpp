#include "components/uFMXImage.h"

#include "components/uFMXTheme.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

// The readout's panel, in device-independent units.
constexpr int ReadoutMargin = 8; // from the bitmap's corner
constexpr int ReadoutPaddingX = 8;
constexpr int ReadoutPaddingY = 4;
constexpr qreal ReadoutRadius = 4;

struct ReadoutColors
{
    QRgb background, border, ink;
};

// The colours of the notes, a little translucent so the terrain shows through.
const ReadoutColors &readoutColors()
{
    static constexpr ReadoutColors light{0xE6F9F9F9, 0xFFE0E0E0, 0xFF1A1A1A};
    static constexpr ReadoutColors dark{0xE62C2C2C, 0xFF3A3A3A, 0xFFFFFFFF};
    return IsLightTheme ? light : dark;
}

} // namespace

TFMXImage::TFMXImage(QWidget *parent) : TPointerWidget(parent)
{
    // The readout follows the pointer without a button held.
    setMouseTracking(true);
}

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
    // The pixel under the pointer now belongs to another bitmap, or to none.
    showReadout(std::nullopt);
    updateGeometry();
    update();
}

std::optional<QPoint> TFMXImage::pixelAt(QPointF position) const
{
    const TImageFit f = fit();
    if (f.zoom <= 0) return std::nullopt;
    // Floor, not truncation: the half pixel left of the bitmap is outside it.
    const double x = std::floor((position.x() - double(f.offsetX)) / double(f.zoom));
    const double y = std::floor((position.y() - double(f.offsetY)) / double(f.zoom));
    if (!(x >= 0 && y >= 0 && x < image.width() && y < image.height())) return std::nullopt;
    return QPoint(int(x), int(y));
}

void TFMXImage::setReadout(ReadoutProvider provider)
{
    readoutProvider = std::move(provider);
    showReadout(std::nullopt);
}

// Asks the provider only when the pixel changes, and repaints only the
// panel's old and new rectangles, so a move costs a corner, not the preview.
void TFMXImage::showReadout(std::optional<QPoint> pixel, QPointF pointer)
{
    const QRect oldBox = readoutShown ? readoutBox : QRect();
    bool changed = false;
    if (!pixel) {
        readoutShown = false;
    } else if (!readoutShown || *pixel != readoutPixel) {
        const QString text = readoutProvider ? readoutProvider(*pixel) : QString();
        readoutShown = !text.isEmpty();
        readoutPixel = *pixel;
        changed = text != readout;
        if (changed) {
            readout = text;
            const QStringList lines = readout.split(u'\n');
            const QFontMetrics metrics = fontMetrics();
            int width = 0;
            for (const QString &line : lines)
                width = std::max(width, metrics.horizontalAdvance(line));
            const int count = int(lines.size());
            readoutSize = QSize(width + 2 * ReadoutPaddingX, count * metrics.height() +
                                                                 (count - 1) * metrics.leading() +
                                                                 2 * ReadoutPaddingY);
        }
    }
    if (readoutShown) readoutBox = readoutPlace(pointer);
    const QRect newBox = readoutShown ? readoutBox : QRect();
    if (newBox == oldBox && !changed) return;
    update(oldBox);
    if (newBox != oldBox) update(newBox);
}

// In the drawn bitmap's top-left corner, or in its top-right one while the
// pointer is near the first, so the panel never hides what is pointed at.
QRect TFMXImage::readoutPlace(QPointF pointer) const
{
    const TImageFit f = fit();
    const QRectF drawn(f.offsetX, f.offsetY, image.width() * double(f.zoom),
                       image.height() * double(f.zoom));
    QRect box(QPoint(int(std::ceil(drawn.left())), int(std::ceil(drawn.top()))) +
                  QPoint(ReadoutMargin, ReadoutMargin),
              readoutSize);
    const QRect near = box.adjusted(-ReadoutMargin, -ReadoutMargin, ReadoutMargin, ReadoutMargin);
    if (near.contains(pointer.toPoint()))
        box.moveRight(int(std::floor(drawn.right())) - 1 - ReadoutMargin);
    return box;
}

void TFMXImage::mouseMoveEvent(QMouseEvent *event)
{
    pointerAt(event->position());
    TPointerWidget::mouseMoveEvent(event);
}

void TFMXImage::pointerAt(QPointF position)
{
    showReadout(pixelAt(position), position);
}

void TFMXImage::leaveEvent(QEvent *event)
{
    TPointerWidget::leaveEvent(event);
    showReadout(std::nullopt);
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

void TFMXImage::paintEvent(QPaintEvent *event)
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
        // Enlarged, a cell is a crisp square: smoothing would blur the cells
        // into each other and invent heights between them.
        const Qt::TransformationMode mode = pixels.width() > image.width()
                                                ? Qt::FastTransformation
                                                : Qt::SmoothTransformation;
        scaled = source.scaled(pixels, Qt::IgnoreAspectRatio, mode);
        scaled.setDevicePixelRatio(ratio);
    }
    // Painting is clipped to the exposed region, so a moving line costs a strip.
    QPainter painter(this);
    painter.drawImage(target.topLeft(), scaled);
    // A strip elsewhere, such as a moving crop line, leaves the panel alone.
    if (readoutShown && event->region().intersects(readoutBox)) paintReadout(painter);
}

void TFMXImage::paintReadout(QPainter &painter) const
{
    const ReadoutColors &colors = readoutColors();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgba(colors.border), 1));
    painter.setBrush(QColor::fromRgba(colors.background));
    painter.drawRoundedRect(QRectF(readoutBox).adjusted(0.5, 0.5, -0.5, -0.5), ReadoutRadius,
                            ReadoutRadius);
    painter.setPen(QColor::fromRgba(colors.ink));
    painter.drawText(
        readoutBox.adjusted(ReadoutPaddingX, ReadoutPaddingY, -ReadoutPaddingX, -ReadoutPaddingY),
        Qt::AlignLeft | Qt::AlignTop, readout);
}

void TFMXImage::resizeEvent(QResizeEvent *)
{
    // Another fit puts another pixel under the pointer; the next move shows it.
    showReadout(std::nullopt);
    emit resized();
}
