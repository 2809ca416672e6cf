#include "elevation/uBILReader.h"

namespace bil {

std::optional<GridSource> asciiGridSource(const QString &)
{
    return std::nullopt;
}

} // namespace bil
