#pragma once

// The crop rectangle over a grid, in cells, and the rules that keep it a
// rectangle inside the grid while it is drawn on the preview, its lines are
// dragged or its corners are typed. No widget: the window shows it.

#include <QObject>
#include <QPoint>

#include <array>
#include <cstdint>

// What a pointer drag moves: nothing, the far corner of a rectangle being
// drawn, or one of the four lines.
enum class CropDrag
{
    None,
    Area,
    LineX0,
    LineX1,
    LineY0,
    LineY1
};

// The rectangle's boundaries, in the order of CropModel::Rect.
enum class CropEdge
{
    X0,
    Y0,
    X1,
    Y1
};

class CropModel : public QObject
{
    Q_OBJECT

public:
    // x0, y0, x1, y1: the cells from (x0, y0) up to, not including, (x1, y1).
    using Rect = std::array<int32_t, 4>;

    using QObject::QObject;

    Rect rect() const { return r; }
    CropDrag drag() const { return dragging; }
    bool isEmpty() const { return r[0] == r[2] || r[1] == r[3]; }

    // A grid of columns x rows cells, all of it selected; 0 x 0 is no grid.
    void reset(int32_t columns, int32_t rows);
    // A boundary typed in: beyond its partner the two swap, outside the grid
    // it comes to the grid's edge.
    void setEdge(CropEdge edge, int32_t value);

    // A press on the preview at cell starts a new rectangle there; a press on
    // a line starts dragging it. Without a grid there is nothing to drag.
    void startArea(QPoint cell);
    void startLine(CropDrag line);
    // The pointer of drag at cell: the rectangle's far corner follows it (the
    // near one giving way), or the line takes its column or row and pushes its
    // partner along. Ignored unless drag is the one under way.
    void dragTo(CropDrag drag, QPoint cell);
    void release() { dragging = CropDrag::None; }

signals:
    void rectChanged(CropModel::Rect rect);

private:
    // Orders, clamps and stores asked, and says so unless nothing changed
    // and nothing asked for was changed.
    void update(Rect asked);

    Rect r{};
    int32_t width = 0;
    int32_t height = 0;
    CropDrag dragging = CropDrag::None;
};
