#pragma once

// The game engines and Blender a heightmap is made for: the heightmap type
// each imports best, the square sizes it takes, and the scale its import
// asks for.

#include "elevation/uFMXBILUtils.h"

#include <QString>

#include <optional>
#include <vector>

namespace bil {

struct Engine
{
    const char *name;       // as the command line takes it: "unreal"
    const char *title;      // as the window shows it: "Unreal Engine"
    const char *type;       // the image type it imports best, as --type names it
    std::vector<int> sizes; // the square sizes it takes, smallest first; empty: any
};

const std::vector<Engine> &engines();
// The engine of that name, in any case; nullptr for none.
const Engine *engineNamed(const QString &name);

// Of sizes, the one nearest to a region's longer side; the larger of two as near.
int nearestEngineSize(const std::vector<int> &sizes, int longerSide);

// The images' extension and heightmap depth for an image type ("png16") or
// an extension ("tif"); nullopt for anything else.
struct ImageKind
{
    QString extension;
    int heightmapBits;
};
std::optional<ImageKind> imageKind(const QString &type);

// Unreal's Z scale for a 16-bit heightmap of range: level 0 to 65535 span it,
// a level being Z scale / 128 cm.
double unrealZScale(const BILHeightRange &range);

} // namespace bil
