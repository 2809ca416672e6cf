#include "elevation/uBILEngines.h"

#include <cstdlib>

namespace bil {

const std::vector<Engine> &engines()
{
    // As their documentation gives them.
    static const std::vector<Engine> all{
        {"unreal", "Unreal Engine", "png16", {127, 253, 505, 1009, 2017, 4033, 8129}},
        {"unity", "Unity", "r16", {33, 65, 129, 257, 513, 1025, 2049, 4097}},
        {"godot", "Godot (Terrain3D)", "exr", {}},
        {"blender", "Blender", "exr", {}},
    };
    return all;
}

const Engine *engineNamed(const QString &name)
{
    for (const Engine &e : engines())
        if (name.compare(QLatin1StringView(e.name), Qt::CaseInsensitive) == 0) return &e;
    return nullptr;
}

int nearestEngineSize(const std::vector<int> &sizes, int longerSide)
{
    int best = sizes.front();
    for (const int size : sizes)
        if (std::abs(size - longerSide) <= std::abs(best - longerSide)) best = size;
    return best;
}

std::optional<ImageKind> imageKind(const QString &type)
{
    const QString t = type.toLower();
    if (t == u"png") return ImageKind{QStringLiteral(".png"), 8};
    if (t == u"bmp") return ImageKind{QStringLiteral(".bmp"), 8};
    if (t == u"png16") return ImageKind{QStringLiteral(".png"), 16};
    if (t == u"r16") return ImageKind{QStringLiteral(".r16"), 16};
    if (t == u"exr") return ImageKind{QStringLiteral(".exr"), 32};
    if (t == u"tif32" || t == u"tif") return ImageKind{QStringLiteral(".tif"), 32};
    return std::nullopt;
}

double unrealZScale(const BILHeightRange &range)
{
    return (range.highest - range.lowest) * 100 * 128 / 65535;
}

} // namespace bil
