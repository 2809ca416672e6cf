#include "mainwindow/uReadout.h"

#include "components/uFMXUtils.h"
#include "elevation/uFMXBILUtils.h"

#include <cmath>

namespace {

// Four decimals of a degree are about ten metres, finer than most grids' cells.
constexpr int DegreeDecimals = 4;
constexpr int MapDecimals = 2;

QString degrees(double value)
{
    return QString::number(std::abs(value), 'f', DegreeDecimals) + u'°';
}

QString positionText(QPointF p, bool geographic, bool japanese)
{
    if (!geographic) {
        const QString x = QString::number(p.x(), 'f', MapDecimals);
        const QString y = QString::number(p.y(), 'f', MapDecimals);
        return japanese ? QStringLiteral("x %1・y %2").arg(x, y)
                        : QStringLiteral("x %1 · y %2").arg(x, y);
    }
    const bool north = p.y() >= 0, east = p.x() >= 0;
    if (japanese)
        return QStringLiteral("%1 %2・%3 %4")
            .arg(north ? QStringLiteral("北緯") : QStringLiteral("南緯"), degrees(p.y()),
                 east ? QStringLiteral("東経") : QStringLiteral("西経"), degrees(p.x()));
    return QStringLiteral("%1 %2 %3 %4")
        .arg(degrees(p.y()), north ? QStringLiteral("N") : QStringLiteral("S"), degrees(p.x()),
             east ? QStringLiteral("E") : QStringLiteral("W"));
}

} // namespace

QString ReadoutText(QPoint cell)
{
    const bool japanese = IsJapanese();
    // Decimals where the file's heights have them; two places tell them apart.
    const std::optional<double> height = BILExactHeightAt(cell.x(), cell.y());
    const auto metres = [](double h) {
        return h == std::round(h) ? QString::number(h, 'f', 0) : QString::number(h, 'f', 2);
    };
    const QString heightText = height     ? QStringLiteral("%1 m").arg(metres(*height))
                               : japanese ? QStringLiteral("欠測")
                                          : QStringLiteral("missing");
    const QString column = QString::number(cell.x()), row = QString::number(cell.y());
    QString text = japanese
                       ? QStringLiteral("列 %1・行 %2・%3").arg(column, row, heightText)
                       : QStringLiteral("Column %1 · Row %2 · %3").arg(column, row, heightText);
    if (const std::optional<QPointF> position = BILMapPosition(cell.x(), cell.y()))
        text += u'\n' + positionText(*position, BILGeoRef->geographic, japanese);
    return text;
}
