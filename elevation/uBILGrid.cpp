#include "elevation/uBILGrid.h"

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
    // The raw samples keep the missing flag that the working copy reads as 0.
    if (!bil::gridUsable() || x < 0 || y < 0 || x >= BILWidth || y >= BILHeight)
        return std::nullopt;
    const int16_t h = BILRaw[int64_t(y) * BILWidth + x];
    if (h == BILNoData) return std::nullopt;
    return h;
}

std::optional<double> BILExactHeightAt(int x, int y)
{
    const std::optional<int16_t> whole = BILHeightAt(x, y);
    const bil::HeightsView heights = bil::heightsView();
    if (!whole || !heights.real) return whole;
    return heights.real[int64_t(y) * BILWidth + x];
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
    if (heldGrid.isReal() && heldGrid.width() == BILWidth && heldGrid.height() == BILHeight)
        return heldGrid.view();
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
