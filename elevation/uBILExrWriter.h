#pragma once

// Heights in metres as an OpenEXR image of one 32-bit float channel, as the
// terrain tools of game engines and Blender import them.

#include <QByteArray>
#include <QString>

#include <functional>

namespace bil {

// The EXR file of width x height heights, row(y, out) writing row y's floats
// (NaN where missing), in channel "Y", ZIP-compressed. path only names the
// file in a failure's message.
QByteArray encodeExr(int width, int height, const std::function<void(int y, float *out)> &row,
                     const QString &path);

} // namespace bil
