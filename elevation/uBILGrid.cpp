#include "elevation/uBILGrid.h"

#include <cmath>

QString BILFileName;
bool BILBigEndian = false;
int32_t BILWidth = 10800;
int32_t BILHeight = 4800;
int32_t BILNoData = BILHeightLowest;
int16_t BILRaw[BILCapacity];
int16_t BILData[BILCapacity];
int16_t BILMax = 0;
int16_t BILMin = 0;
uint32_t BILRange = 0;
std::optional<BILGeoReference> BILGeoRef;

std::function<void()> BILAskLayout;
std::function<void(const QString &)> BILShowError;

std::optional<int16_t> BILHeightAt(int x, int y)
{
    const std::optional<double> h = BILExactHeightAt(x, y);
    if (!h) return std::nullopt;
    return bil::heightsView().real ? bil::heightFrom(*h) : int16_t(*h);
}

std::optional<double> BILExactHeightAt(int x, int y)
{
    // The samples as read keep the missing flag that the working copy reads as 0.
    const bil::HeightsView heights = bil::heightsView();
    if (heights.width <= 0 || x < 0 || y < 0 || x >= BILWidth || y >= BILHeight)
        return std::nullopt;
    const int64_t i = int64_t(y) * BILWidth + x;
    if (heights.real) {
        if (std::isnan(heights.real[i])) return std::nullopt;
        return heights.real[i];
    }
    if (heights.whole[i] == heights.noData) return std::nullopt;
    return heights.whole[i];
}

std::optional<QPointF> BILMapPosition(double column, double row)
{
    if (!BILGeoRef) return std::nullopt;
    const BILGeoReference &g = *BILGeoRef;
    return QPointF(g.left + (column + 0.5) * g.cellWidth, g.top - (row + 0.5) * g.cellHeight);
}

namespace bil {

Grid heldGrid;

HeightsView heightsView()
{
    // Whoever writes BILRaw directly leaves the heights of another grid held.
    if (heldGrid.width() > 0 && heldGrid.width() == BILWidth && heldGrid.height() == BILHeight)
        return heldGrid.view();
    if (!gridUsable()) return {};
    return {BILWidth, BILHeight, BILRaw, BILNoData, nullptr};
}

bool gridUsable()
{
    return BILWidth > 0 && BILHeight > 0 && int64_t(BILWidth) * BILHeight <= BILCapacity;
}

void showError(const QString &text)
{
    if (BILShowError) BILShowError(text);
}

} // namespace bil
