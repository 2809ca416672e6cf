#include "components/uSVGPath.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

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
