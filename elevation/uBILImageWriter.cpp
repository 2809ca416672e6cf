#include "elevation/uBILImageWriter.h"

#include "elevation/uFMXBILUtils.h"

#include <QDir>
#include <QSaveFile>

#include <libdeflate.h>

#include <memory>
#include <vector>

namespace {

int bytesPerPixel(BILPixelFormat format)
{
    switch (format) {
    case BILPixelFormat::Grey8:
        return 1;
    case BILPixelFormat::RGB24:
        return 3;
    case BILPixelFormat::ARGB32:
        return 4;
    }
    return 4;
}

void putBE32(char *p, uint32_t v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

void putLE(char *p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = char(v >> (8 * i));
}

// ---------------------------------------------------------------- PNG

// PNG byte order: grey, R G B, or R G B A.
void packPngRow(const uint32_t *pixels, int width, BILPixelFormat format, uint8_t *out)
{
    for (int x = 0; x < width; ++x) {
        const uint32_t p = pixels[x];
        switch (format) {
        case BILPixelFormat::Grey8:
            *out++ = uint8_t(p);
            break;
        case BILPixelFormat::RGB24:
            *out++ = uint8_t(p >> 16);
            *out++ = uint8_t(p >> 8);
            *out++ = uint8_t(p);
            break;
        case BILPixelFormat::ARGB32:
            *out++ = uint8_t(p >> 16);
            *out++ = uint8_t(p >> 8);
            *out++ = uint8_t(p);
            *out++ = uint8_t(p >> 24);
            break;
        }
    }
}

QByteArray encodePng(int width, int height, BILPixelFormat format, const BILRowSource &rows)
{
    // Heights change smoothly from row to row, so the heightmap takes the Up
    // filter; the texture's flat colour bands compress best unfiltered.
    const bool up = format == BILPixelFormat::Grey8;
    const size_t stride = size_t(width) * size_t(bytesPerPixel(format));
    const size_t rawSize = (stride + 1) * size_t(height);
    std::unique_ptr<uint8_t[]> raw(new uint8_t[rawSize]);
    std::vector<uint32_t> pixels(static_cast<size_t>(width));
    std::vector<uint8_t> previous(stride, 0), current(stride);
    for (int y = 0; y < height; ++y) {
        rows(y, pixels.data());
        uint8_t *line = raw.get() + (stride + 1) * size_t(y);
        line[0] = up ? 2 : 0;
        if (up) {
            packPngRow(pixels.data(), width, format, current.data());
            for (size_t i = 0; i < stride; ++i)
                line[1 + i] = uint8_t(current[i] - previous[i]);
            previous.swap(current);
        } else {
            packPngRow(pixels.data(), width, format, line + 1);
        }
    }

    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(1), libdeflate_free_compressor);
    if (!compressor) throw std::bad_alloc();
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rawSize);
    constexpr size_t head = 8 + 25 + 8; // signature, IHDR, IDAT length and type
    QByteArray png(qsizetype(head + bound + 4 + 12), Qt::Uninitialized);
    char *p = png.data();
    memcpy(p, "\x89PNG\r\n\x1a\n", 8);

    char ihdr[17] = "IHDR";
    putBE32(ihdr + 4, uint32_t(width));
    putBE32(ihdr + 8, uint32_t(height));
    const uint8_t colorType = format == BILPixelFormat::Grey8   ? 0
                              : format == BILPixelFormat::RGB24 ? 2
                                                                : 6;
    const uint8_t rest[5] = {8, colorType, 0, 0, 0};
    memcpy(ihdr + 12, rest, 5);
    putBE32(p + 8, 13);
    memcpy(p + 12, ihdr, 17);
    putBE32(p + 29, uint32_t(libdeflate_crc32(0, ihdr, 17)));

    const size_t packed =
        libdeflate_zlib_compress(compressor.get(), raw.get(), rawSize, p + head, bound);
    if (packed == 0 || packed > 0x7FFFFFFF)
        throw BILError("The image is too large to store as PNG.");
    raw.reset();
    putBE32(p + 33, uint32_t(packed));
    memcpy(p + 37, "IDAT", 4);
    putBE32(p + head + packed, uint32_t(libdeflate_crc32(0, p + 37, packed + 4)));
    memcpy(p + head + packed + 4, "\0\0\0\0IEND\xae\x42\x60\x82", 12);
    png.resize(qsizetype(head + packed + 4 + 12));
    return png;
}

// ---------------------------------------------------------------- BMP

// Bottom-up rows padded to four bytes; grey as 8 bits with a grey palette,
// opaque colour as 24 bits, colour with alpha as 32 bits with an alpha mask.
QByteArray encodeBmp(int width, int height, BILPixelFormat format, const BILRowSource &rows)
{
    const int bpp = bytesPerPixel(format);
    const uint32_t infoSize = format == BILPixelFormat::ARGB32 ? 108 : 40;
    const uint32_t paletteSize = format == BILPixelFormat::Grey8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + infoSize + paletteSize;
    const size_t stride = (size_t(width) * size_t(bpp) + 3) & ~size_t(3);
    const size_t fileSize = offset + stride * size_t(height);
    if (fileSize > 0xFFFFFFFFu) throw BILError("The image is too large to store as BMP.");

    QByteArray bmp(qsizetype(fileSize), Qt::Uninitialized);
    char *p = bmp.data();
    memset(p, 0, offset);
    p[0] = 'B';
    p[1] = 'M';
    putLE(p + 2, uint32_t(fileSize), 4);
    putLE(p + 10, offset, 4);
    char *info = p + 14;
    putLE(info, infoSize, 4);
    putLE(info + 4, uint32_t(width), 4);
    putLE(info + 8, uint32_t(height), 4);
    putLE(info + 12, 1, 2);
    putLE(info + 14, uint32_t(bpp * 8), 2);
    putLE(info + 20, uint32_t(stride * size_t(height)), 4);
    putLE(info + 24, 2835, 4); // 72 dpi
    putLE(info + 28, 2835, 4);
    if (format == BILPixelFormat::Grey8) {
        putLE(info + 32, 256, 4);
        for (uint32_t g = 0; g < 256; ++g)
            putLE(info + infoSize + 4 * g, g * 0x010101u, 4);
    } else if (format == BILPixelFormat::ARGB32) {
        putLE(info + 16, 3, 4); // BI_BITFIELDS
        putLE(info + 40, 0x00FF0000, 4);
        putLE(info + 44, 0x0000FF00, 4);
        putLE(info + 48, 0x000000FF, 4);
        putLE(info + 52, 0xFF000000, 4);
        putLE(info + 56, 0x73524742, 4); // 'sRGB'
    }

    std::vector<uint32_t> pixels(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        rows(y, pixels.data());
        auto *out = reinterpret_cast<uint8_t *>(p + offset + stride * size_t(height - 1 - y));
        for (int x = 0; x < width; ++x) {
            const uint32_t px = pixels[size_t(x)];
            if (format == BILPixelFormat::Grey8) {
                *out++ = uint8_t(px);
            } else {
                putLE(reinterpret_cast<char *>(out), px, bpp); // B G R (A)
                out += bpp;
            }
        }
        memset(out, 0, stride - size_t(width) * size_t(bpp));
    }
    return bmp;
}

} // namespace

BILImageType BILImageTypeOf(const QString &extension, const QString &fileName)
{
    const QString ext = extension.toLower();
    if (ext == u".png") return BILImageType::Png;
    if (ext == u".bmp") return BILImageType::Bmp;
    throw BILError(QStringLiteral("Cannot write \"%1\": images are written as .png or .bmp only.")
                       .arg(QDir::toNativeSeparators(fileName))
                       .toStdString());
}

QByteArray EncodeBILImage(BILImageType type, int width, int height, BILPixelFormat format,
                          const BILRowSource &rows)
{
    return type == BILImageType::Png ? encodePng(width, height, format, rows)
                                     : encodeBmp(width, height, format, rows);
}

void WriteBILImageFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw BILError(QStringLiteral("Cannot write \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString())
                           .toStdString());
}
