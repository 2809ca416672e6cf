#pragma once

// Heights in metres as an OpenEXR image of one 32-bit float channel, as the
// terrain tools of game engines and Blender import them.

#include "elevation/uBILImageWriter.h"

namespace bil {

// The EXR file of image, whose rows() write one float per pixel (NaN where
// missing) into channel "Y", ZIP-compressed. path only names the file in a
// failure's message.
QByteArray encodeExr(const BILImage &image, const QString &path);

} // namespace bil
