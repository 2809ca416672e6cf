#pragma once

// Encodes the export's images: PNG compressed on several cores, uncompressed BMP,
// a 16-bit heightmap as raw samples, or heights as an EXR of floats,
// stored in the smallest variant that decodes to exactly the given pixels.
// Rows are asked for in bands and the file is written as they are encoded,
// so that no whole image is held.

#include "elevation/uBILBands.h"
#include "elevation/uFMXBILUtils.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

enum class BILImageType
{
    Png,
    Bmp,
    R16,  // 16-bit grey levels only, raw little-endian, rows from the top
    Exr,  // heights in metres only
    Tif32 // heights in metres only, as a float GeoTIFF
};

// An image to store, width x height pixels, handed over in bands of rows.
struct BILImage
{
    int width = 0;
    int height = 0;
    // Up to 256 colours (0xAARRGGBB): rows() then writes one index byte per
    // pixel. Empty: rows() writes one 0xAARRGGBB word per pixel.
    std::vector<TAlphaColor> palette;
    bool opaque = true; // without a palette: every pixel's alpha is 255
    // Without a palette: rows() writes one 16-bit grey level per pixel instead
    // (PNG only).
    bool grey16 = false;
    // Or one float per pixel: heights in metres, NaN where missing (EXR and
    // GeoTIFF only).
    bool real = false;
    std::optional<BILGeoReference> placedAt; // where the pixels lie (GeoTIFF only)
    // Writes the rows first .. first + count - 1 one after the other, width
    // pixels each; called from several threads at once for different rows.
    std::function<void(int first, int count, void *pixels)> rows;
    // Keywords and texts stored beside a PNG's pixels.
    std::vector<std::pair<QByteArray, QByteArray>> text;
};

// The type for an extension such as ".png" or ".BMP"; throws BILError naming
// fileName for any other.
BILImageType BILImageTypeOf(const QString &extension, const QString &fileName);

// Writes the file to out from where it stands; path names it in a failure's
// message, and a failed write throws BILError with the device's reason. A
// PNG is compressed on up to threads threads. out must be able to seek for
// EXR and GeoTIFF.
void WriteBILImage(BILImageType type, const BILImage &image, QIODevice &out, const QString &path,
                   int threads = bil::coreCount());
