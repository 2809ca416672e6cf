// The crop rectangle's rules without a window: what a press, a drag, a
// release or a typed value does to it, and what it tells its view.
#include "mainwindow/uCropModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Rect = CropModel::Rect;

// A model over a 300 x 150 grid with rect selected.
std::unique_ptr<CropModel> cropOver(Rect rect)
{
    auto crop = std::make_unique<CropModel>();
    crop->reset(300, 150);
    crop->setEdge(CropEdge::X1, rect[2]);
    crop->setEdge(CropEdge::Y1, rect[3]);
    crop->setEdge(CropEdge::X0, rect[0]);
    crop->setEdge(CropEdge::Y0, rect[1]);
    EXPECT_EQ(crop->rect(), rect);
    return crop;
}

TEST(CropModel, ANewGridIsSelectedWhole)
{
    CropModel crop;
    EXPECT_EQ(crop.rect(), (Rect{0, 0, 0, 0}));
    EXPECT_TRUE(crop.isEmpty());
    QSignalSpy changed(&crop, &CropModel::rectChanged);
    crop.reset(1200, 600);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].value<Rect>(), (Rect{0, 0, 1200, 600}));
    EXPECT_FALSE(crop.isEmpty());
    // A smaller grid replaces any rectangle.
    crop.setEdge(CropEdge::X0, 700);
    crop.reset(100, 50);
    EXPECT_EQ(crop.rect(), (Rect{0, 0, 100, 50}));
}

TEST(CropModel, TypedValuesSwapWithTheirPartnerAndStayInTheGrid)
{
    const struct
    {
        const char *name;
        CropEdge edge;
        int32_t value;
        Rect after;
    } cases[] = {
        {"inside", CropEdge::X0, 40, {40, 12, 125, 75}},
        {"x0 past x1 swaps", CropEdge::X0, 180, {125, 12, 180, 75}},
        {"y1 before y0 swaps", CropEdge::Y1, 5, {25, 5, 125, 12}},
        {"x1 beyond the grid", CropEdge::X1, 5000, {25, 12, 300, 75}},
        {"y0 beyond the grid swaps, then clamps", CropEdge::Y0, 900, {25, 75, 125, 150}},
        {"y0 below zero", CropEdge::Y0, -3, {25, 0, 125, 75}},
        {"x1 onto x0 leaves a column of none", CropEdge::X1, 25, {25, 12, 25, 75}},
    };
    for (const auto &c : cases) {
        const auto crop = cropOver({25, 12, 125, 75});
        crop->setEdge(c.edge, c.value);
        EXPECT_EQ(crop->rect(), c.after) << c.name;
    }
}

TEST(CropModel, DrawingARectangleFromAPressedCell)
{
    const struct
    {
        const char *name;
        QPoint press, move;
        Rect afterPress, afterMove;
    } cases[] = {
        {"down and right", {175, 25}, {180, 30}, {125, 25, 175, 75}, {125, 25, 180, 30}},
        {"left of the press: the pressed corner gives way",
         {75, 50},
         {50, 62},
         {75, 50, 125, 75},
         {50, 50, 50, 62}},
        {"above and left", {75, 50}, {62, 40}, {75, 50, 125, 75}, {62, 40, 62, 40}},
        {"pressed beside the grid, dragged beyond it",
         {-4, -9},
         {420, 999},
         {0, 0, 125, 75},
         {0, 0, 300, 150}},
    };
    for (const auto &c : cases) {
        const auto crop = cropOver({25, 12, 125, 75});
        crop->startArea(c.press);
        EXPECT_EQ(crop->drag(), CropDrag::Area) << c.name;
        EXPECT_EQ(crop->rect(), c.afterPress) << c.name;
        crop->dragTo(CropDrag::Area, c.move);
        EXPECT_EQ(crop->rect(), c.afterMove) << c.name;
        crop->release();
        EXPECT_EQ(crop->drag(), CropDrag::None) << c.name;
        crop->dragTo(CropDrag::Area, {1, 1});
        EXPECT_EQ(crop->rect(), c.afterMove) << c.name << ": moves after the release do nothing";
    }
}

TEST(CropModel, ADraggedLinePushesItsPartnerAndStopsAtTheGridsEdge)
{
    const struct
    {
        const char *name;
        CropDrag line;
        QPoint to;
        Rect after;
    } cases[] = {
        {"x0 inside", CropDrag::LineX0, {40, 99}, {40, 12, 125, 75}},
        {"x0 past x1 takes it along", CropDrag::LineX0, {175, 0}, {175, 12, 175, 75}},
        {"x0 beyond the grid", CropDrag::LineX0, {2000, 0}, {300, 12, 300, 75}},
        {"x1 before x0 takes it along", CropDrag::LineX1, {10, 0}, {10, 12, 10, 75}},
        {"x1 left of the grid", CropDrag::LineX1, {-500, 0}, {0, 12, 0, 75}},
        {"y0 takes the row only", CropDrag::LineY0, {290, 30}, {25, 30, 125, 75}},
        {"y0 past y1", CropDrag::LineY0, {0, 100}, {25, 100, 125, 100}},
        {"y1 before y0", CropDrag::LineY1, {0, 3}, {25, 3, 125, 3}},
        {"y1 beyond the grid", CropDrag::LineY1, {0, 151}, {25, 12, 125, 150}},
    };
    for (const auto &c : cases) {
        const auto crop = cropOver({25, 12, 125, 75});
        crop->startLine(c.line);
        EXPECT_EQ(crop->drag(), c.line) << c.name;
        EXPECT_EQ(crop->rect(), (Rect{25, 12, 125, 75})) << c.name << ": a press moves nothing";
        // Another line's moves are not this drag's.
        crop->dragTo(c.line == CropDrag::LineY1 ? CropDrag::LineX0 : CropDrag::LineY1, {1, 1});
        EXPECT_EQ(crop->rect(), (Rect{25, 12, 125, 75})) << c.name;
        crop->dragTo(c.line, c.to);
        EXPECT_EQ(crop->rect(), c.after) << c.name;
    }
}

TEST(CropModel, WithoutAGridNothingIsDragged)
{
    CropModel crop;
    crop.startArea({3, 4});
    crop.startLine(CropDrag::LineX1);
    EXPECT_EQ(crop.drag(), CropDrag::None);
    crop.dragTo(CropDrag::LineX1, {10, 10});
    EXPECT_EQ(crop.rect(), (Rect{0, 0, 0, 0}));
}

// The view hears of every change once, and of a value it asked for that the
// rules changed, so that it never shows what the rectangle is not.
TEST(CropModel, TheViewHearsWhatTheRectangleBecomes)
{
    const auto crop = cropOver({25, 12, 125, 75});
    QSignalSpy changed(crop.get(), &CropModel::rectChanged);
    crop->setEdge(CropEdge::X0, 25);
    EXPECT_TRUE(changed.isEmpty()) << "nothing changed, nothing was corrected";
    crop->setEdge(CropEdge::X0, 30);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.takeFirst()[0].value<Rect>(), (Rect{30, 12, 125, 75}));
    crop->setEdge(CropEdge::X1, 300);
    changed.clear();
    // 400 comes back as 300: the rectangle is as before, but the box said 400.
    crop->setEdge(CropEdge::X1, 400);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.takeFirst()[0].value<Rect>(), (Rect{30, 12, 300, 75}));
}

} // namespace
