#pragma once

// Writes the export's images: PNG through libdeflate or uncompressed BMP,
// stored in the smallest variant that decodes to exactly the given pixels.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

enum class BILImageType
{
    Png,
    Bmp
};

// How the pixels are stored. Grey8 needs red = green = blue and alpha 255;
// RGB24 needs alpha 255; ARGB32 takes any pixel.
enum class BILPixelFormat
{
    Grey8,
    RGB24,
    ARGB32
};

// Fills one row (top row 0) with width pixels of 0xAARRGGBB.
using BILRowSource = std::function<void(int row, uint32_t *pixels)>;

// The type for an extension such as ".png" or ".BMP"; throws BILError naming
// fileName for any other.
BILImageType BILImageTypeOf(const QString &extension, const QString &fileName);

QByteArray EncodeBILImage(BILImageType type, int width, int height, BILPixelFormat format,
                          const BILRowSource &rows);

// Replaces path atomically (a temporary file beside it, then a rename), so a
// failed write leaves what was there; throws BILError with the system's reason.
void WriteBILImageFile(const QString &path, const QByteArray &bytes);
