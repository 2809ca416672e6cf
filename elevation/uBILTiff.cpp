#include "elevation/uBILReader.h"

namespace bil {

std::optional<GridSource> tiffSource(const QString &)
{
    return std::nullopt;
}

} // namespace bil
