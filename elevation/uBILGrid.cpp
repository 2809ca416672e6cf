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

namespace bil {

bool gridUsable()
{
    return BILWidth > 0 && BILHeight > 0 && int64_t(BILWidth) * BILHeight <= BILCapacity;
}

void showError(const QString &text)
{
    if (BILShowError) BILShowError(text);
}

} // namespace bil
