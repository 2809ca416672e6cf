#include "mainwindow/uCropModel.h"

#include <algorithm>
#include <utility>

void CropModel::reset(int32_t columns, int32_t rows)
{
    width = columns;
    height = rows;
    dragging = CropDrag::None;
    update({0, 0, width, height});
}

void CropModel::setEdge(CropEdge edge, int32_t value)
{
    Rect next = r;
    next[size_t(edge)] = value;
    update(next);
}

void CropModel::startArea(QPoint cell)
{
    if (width <= 0) return;
    dragging = CropDrag::Area;
    update({cell.x(), cell.y(), r[2], r[3]});
}

void CropModel::startLine(CropDrag line)
{
    if (width > 0) dragging = line;
}

void CropModel::dragTo(CropDrag drag, QPoint cell)
{
    if (drag != dragging) return;
    auto [x0, y0, x1, y1] = r;
    // A line dragged past its partner takes the partner along.
    const auto push = [](int32_t &moved, int32_t value, int32_t &start, int32_t &end) {
        moved = value;
        if (start > end) (&moved == &start ? end : start) = moved;
    };
    switch (drag) {
    case CropDrag::None:
        return;
    case CropDrag::Area:
        // The corner pressed gives way to a pointer above or left of it.
        x1 = cell.x();
        x0 = std::min(x0, x1);
        y1 = cell.y();
        y0 = std::min(y0, y1);
        break;
    case CropDrag::LineX0:
        push(x0, cell.x(), x0, x1);
        break;
    case CropDrag::LineX1:
        push(x1, cell.x(), x0, x1);
        break;
    case CropDrag::LineY0:
        push(y0, cell.y(), y0, y1);
        break;
    case CropDrag::LineY1:
        push(y1, cell.y(), y0, y1);
        break;
    }
    update({x0, y0, x1, y1});
}

void CropModel::update(Rect asked)
{
    Rect next = asked;
    auto &[x0, y0, x1, y1] = next;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    x0 = std::clamp(x0, 0, width);
    x1 = std::clamp(x1, 0, width);
    y0 = std::clamp(y0, 0, height);
    y1 = std::clamp(y1, 0, height);
    // A view that shows what was asked, such as a typed value, must learn
    // the rules' answer even when the rectangle stays as it was.
    if (next == r && next == asked) return;
    r = next;
    emit rectChanged(r);
}
