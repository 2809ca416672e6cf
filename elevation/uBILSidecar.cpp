#include "elevation/uBILSidecar.h"

#include "elevation/uBILEngines.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILReproject.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonArray pair(double a, double b)
{
    return QJsonArray{a, b};
}

} // namespace

namespace bil {

Spacing spacingOf(const HeightmapFacts &facts)
{
    if (!facts.geo) return {1, 1, QStringLiteral("cells")};
    const BILGeoReference &g = *facts.geo;
    if (!g.geographic) return {g.cellWidth, g.cellHeight, QStringLiteral("map units")};
    const double middle = g.top - g.cellHeight * facts.height / 2;
    const auto [north, east] = bil::metresPerDegree(middle);
    return {g.cellWidth * east, g.cellHeight * north, QStringLiteral("m")};
}

QByteArray sidecarJson(const HeightmapFacts &facts)
{
    const Spacing s = spacingOf(facts);
    const double low = facts.range.lowest, high = facts.range.highest, span = high - low;
    const double width = (facts.width - 1) * s.x, length = (facts.height - 1) * s.y;

    QJsonObject root;
    root[u"size"] = QJsonArray{facts.width, facts.height};
    root[u"spacing"] = pair(s.x, s.y);
    root[u"spacing_units"] = s.units;
    root[u"height_range_m"] = pair(low, high);
    const bool metres = facts.levels == 0;
    root[u"heights"] =
        metres ? QStringLiteral("metres") : QStringLiteral("levels 0..%1").arg(facts.levels);
    if (facts.geo) {
        const BILGeoReference &g = *facts.geo;
        root[u"coordinates"] =
            g.geographic ? QStringLiteral("longitude, latitude") : QStringLiteral("map x, y");
        if (g.epsg) root[u"epsg"] = g.epsg;
        // West, south, east, north of the samples' outer edges.
        root[u"bounds"] = QJsonArray{g.left, g.top - g.cellHeight * facts.height,
                                     g.left + g.cellWidth * facts.width, g.top};
    }
    // Unreal: 1 unit is 1 cm; a level is Z scale / 128 cm, level 32768 lies at Z location.
    const double zScale = unrealZScale(facts.range);
    root[u"unreal"] = QJsonObject{{QStringLiteral("x_scale"), s.x * 100},
                                  {QStringLiteral("y_scale"), s.y * 100},
                                  {QStringLiteral("z_scale"), zScale},
                                  {QStringLiteral("z_location"), low * 100 + 256 * zScale}};
    // Unity spreads 0..65535 over the terrain's height from its position.
    root[u"unity"] = QJsonObject{{QStringLiteral("width"), width},
                                 {QStringLiteral("length"), length},
                                 {QStringLiteral("height"), span},
                                 {QStringLiteral("y_position"), low}};
    // Terrain3D and Blender take heights in metres as they are, and levels
    // scaled to the range from its lowest.
    root[u"terrain3d"] = QJsonObject{{QStringLiteral("vertex_spacing"), s.x},
                                     {QStringLiteral("import_scale"), metres ? 1.0 : span},
                                     {QStringLiteral("height_offset"), metres ? 0.0 : low}};
    root[u"blender"] =
        QJsonObject{{QStringLiteral("size_x"), width},
                    {QStringLiteral("size_y"), length},
                    {QStringLiteral("strength"), metres ? 1.0 : span},
                    {QStringLiteral("midlevel"), metres || span == 0 ? 0.0 : -low / span}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString sidecarName(const QString &heightmap)
{
    return heightmap.left(extensionStart(heightmap)) + QStringLiteral(".json");
}

} // namespace bil
