#include "components/uSVGPath.h"

#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace {

// Enough for hover, press and their combinations of one icon.
constexpr size_t iconVariants = 4;

QString svgColor(const QColor &c)
{
    return c.isValid() ? c.name(QColor::HexRgb) : QStringLiteral("none");
}

} // namespace

void DrawSVGPath(QPainter &painter, const QString &data, const QRectF &target, const QColor &fill,
                 const QColor &stroke, qreal strokeWidth)
{
    if (data.isEmpty() || target.isEmpty()) return;
    // QtSvg parses the path; one document in the unit square keeps its geometry.
    const qreal unit = target.width() > 0 ? strokeWidth / target.width() : 0;
    const QString document =
        QStringLiteral(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1 1\" "
            "preserveAspectRatio=\"none\"><path fill-rule=\"evenodd\" d=\"%1\" fill=\"%2\" "
            "fill-opacity=\"%3\" stroke=\"%4\" stroke-opacity=\"%5\" stroke-width=\"%6\"/></svg>")
            .arg(data.toHtmlEscaped(), svgColor(fill), QString::number(fill.alphaF()),
                 svgColor(stroke), QString::number(stroke.isValid() ? stroke.alphaF() : 0),
                 QString::number(unit));
    QSvgRenderer renderer(document.toUtf8());
    renderer.render(&painter, target);
}

void TSVGIconCache::draw(QPainter &painter, const QString &data, const QRectF &target,
                         const QColor &fill, const QColor &stroke, qreal strokeWidth)
{
    if (data.isEmpty() || target.isEmpty()) return;
    const QTransform device = painter.deviceTransform();
    // Kept pixels only equal a direct drawing when they land unscaled on the
    // device and blend as a whole; anything else is drawn directly.
    if (device.type() > QTransform::TxScale || device.m11() <= 0 || device.m22() <= 0 ||
        painter.opacity() != 1 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        DrawSVGPath(painter, data, target, fill, stroke, strokeWidth);
        return;
    }
    const QRectF onDevice = device.mapRect(target);
    const QPointF grid(std::floor(onDevice.left()), std::floor(onDevice.top()));
    const QPointF phase = onDevice.topLeft() - grid;
    const qreal deviceStroke = stroke.isValid() ? strokeWidth * device.m11() : 0;

    auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry &e) {
        return e.size == onDevice.size() && e.phase == phase && e.fill == fill &&
               e.stroke == stroke && e.strokeWidth == deviceStroke && e.data == data;
    });
    if (found == entries.end()) {
        // Miter joins may reach twice the stroke width past the path.
        const int margin = 1 + int(std::ceil(2 * deviceStroke));
        QImage image(int(std::ceil(phase.x() + onDevice.width())) + 2 * margin,
                     int(std::ceil(phase.y() + onDevice.height())) + 2 * margin,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter icon(&image);
        DrawSVGPath(icon, data, QRectF(phase + QPointF(margin, margin), onDevice.size()), fill,
                    stroke, deviceStroke);
        icon.end();
        ++renderCount;
        if (entries.size() == iconVariants) entries.pop_back();
        entries.insert(entries.begin(), Entry{data, onDevice.size(), phase, fill, stroke,
                                              deviceStroke, std::move(image), margin});
    } else if (found != entries.begin()) {
        std::rotate(entries.begin(), found, found + 1);
    }
    const Entry &entry = entries.front();
    // Undo the painter's whole transform, so the image is copied pixel for pixel.
    painter.save();
    painter.setWorldTransform(device.inverted() * painter.worldTransform());
    painter.drawImage(grid - QPointF(entry.margin, entry.margin), entry.image);
    painter.restore();
}
