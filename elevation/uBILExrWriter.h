#pragma once

// Heights in metres as an OpenEXR image of one 32-bit float channel, as the
// terrain tools of game engines and Blender import them.

#include <QIODevice>
#include <QString>

#include <functional>

namespace bil {

// Writes the EXR file of width x height heights to out, rows(first, count,
// heights) writing those rows' floats (NaN where missing), in channel "Y",
// ZIP-compressed, a band at a time. path names the file in a failure's
// message.
void writeExr(int width, int height,
              const std::function<void(int first, int count, float *heights)> &rows, QIODevice &out,
              const QString &path);

} // namespace bil
