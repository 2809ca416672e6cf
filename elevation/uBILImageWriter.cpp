#include "elevation/uBILImageWriter.h"

#include "elevation/uBILExrWriter.h"
#include "elevation/uBILPngStream.h"
#include "elevation/uBILTiffWriter.h"

#include <QDir>

#include <libdeflate.h>

#include <algorithm>

namespace {

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

bool isGreyRamp(const std::vector<TAlphaColor> &palette)
{
    for (size_t i = 0; i < palette.size(); ++i)
        if (palette[i] != (0xFF000000u | uint32_t(i) * 0x010101u)) return false;
    return palette.size() == 256;
}

bool allOpaque(const std::vector<TAlphaColor> &palette)
{
    return std::all_of(palette.begin(), palette.end(), [](uint32_t c) { return c >> 24 == 0xFF; });
}

// ---------------------------------------------------------------- PNG

class PngWriter
{
public:
    explicit PngWriter(qsizetype capacity)
    {
        png.reserve(capacity);
        png.append("\x89PNG\r\n\x1a\n", 8);
    }

    void chunk(const char *type, const char *data, size_t size)
    {
        start(type, size);
        add(data, size);
        end();
    }

    // A chunk whose data comes in pieces, each freed once copied.
    void chunk(const char *type, std::vector<bil::CompressedBand> pieces)
    {
        size_t size = 0;
        for (const bil::CompressedBand &piece : pieces)
            size += piece.size;
        start(type, size);
        for (bil::CompressedBand &piece : pieces) {
            add(reinterpret_cast<const char *>(piece.bytes.get()), piece.size);
            piece.bytes.reset();
        }
        end();
    }

    QByteArray png;

private:
    void start(const char *type, size_t size)
    {
        char head[8];
        putBE32(head, uint32_t(size));
        memcpy(head + 4, type, 4);
        png.append(head, 8);
        crc = libdeflate_crc32(0, type, 4);
    }
    void add(const char *data, size_t size)
    {
        png.append(data, qsizetype(size));
        if (size > 0) // a null buffer would restart the checksum
            crc = libdeflate_crc32(crc, data, size);
    }
    void end()
    {
        char tail[4];
        putBE32(tail, crc);
        png.append(tail, 4);
    }

    uint32_t crc = 0;
};

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray encodePng(const BILImage &image, const QString &path, int threads)
{
    const bool indexed = !image.palette.empty();
    const bool grey = image.grey16 || (indexed && isGreyRamp(image.palette));
    const int channels = indexed ? 1 : image.grey16 ? 2 : image.opaque ? 3 : 4; // bytes a pixel
    // Heights change smoothly from row to row, so the heightmap takes the Up
    // filter; flat colour bands and palette indices compress best unfiltered.
    const bool up = grey;
    const size_t stride = size_t(image.width) * size_t(channels);
    // Each band's thread converts its rows into buffers of its own.
    const auto render = [&](int y, uint8_t *out) {
        if (indexed) {
            image.rows(y, out);
        } else if (image.grey16) {
            thread_local std::vector<uint16_t> levels;
            levels.resize(size_t(image.width));
            image.rows(y, levels.data());
            for (uint16_t level : levels) { // PNG stores the high byte first
                *out++ = uint8_t(level >> 8);
                *out++ = uint8_t(level);
            }
        } else {
            thread_local std::vector<uint32_t> words;
            words.resize(size_t(image.width));
            image.rows(y, words.data());
            for (uint32_t p : words) {
                *out++ = uint8_t(p >> 16);
                *out++ = uint8_t(p >> 8);
                *out++ = uint8_t(p);
                if (channels == 4) *out++ = uint8_t(p >> 24);
            }
        }
    };
    std::vector<bil::CompressedBand> stream =
        bil::compressPngRows(image.height, stride, up, render, threads);
    size_t packedSize = 0;
    for (const bil::CompressedBand &piece : stream)
        packedSize += piece.size;
    if (packedSize > 0x7FFFFFFF)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": the image is too large to store as PNG.")
                .arg(native(path))
                .toStdString());

    PngWriter png(qsizetype(packedSize + 2048));
    char ihdr[13];
    putBE32(ihdr, uint32_t(image.width));
    putBE32(ihdr + 4, uint32_t(image.height));
    const char colorType = grey ? 0 : indexed ? 3 : channels == 3 ? 2 : 6;
    const char rest[5] = {char(image.grey16 ? 16 : 8), colorType, 0, 0, 0};
    memcpy(ihdr + 8, rest, 5);
    png.chunk("IHDR", ihdr, 13);
    if (indexed && !grey) {
        std::vector<char> plte, trns;
        for (uint32_t c : image.palette) {
            plte.insert(plte.end(), {char(c >> 16), char(c >> 8), char(c)});
            trns.push_back(char(c >> 24));
        }
        png.chunk("PLTE", plte.data(), plte.size());
        if (!allOpaque(image.palette)) png.chunk("tRNS", trns.data(), trns.size());
    }
    for (const auto &[keyword, value] : image.text) {
        const QByteArray entry = keyword + '\0' + value;
        png.chunk("tEXt", entry.constData(), size_t(entry.size()));
    }
    png.chunk("IDAT", std::move(stream));
    png.chunk("IEND", nullptr, 0);
    return png.png;
}

// ---------------------------------------------------------------- BMP

// Bottom-up rows padded to four bytes: an opaque palette as 8 bits, opaque
// colour as 24 bits, colour with alpha as 32 bits with an alpha mask.
QByteArray encodeBmp(const BILImage &image, const QString &path)
{
    const bool indexed = !image.palette.empty() && allOpaque(image.palette);
    const bool opaque = image.palette.empty() ? image.opaque : allOpaque(image.palette);
    const int bytes = indexed ? 1 : opaque ? 3 : 4;
    const uint32_t infoSize = bytes == 4 ? 108 : 40;
    const uint32_t paletteSize = indexed ? uint32_t(image.palette.size()) * 4 : 0;
    const uint32_t offset = 14 + infoSize + paletteSize;
    const size_t stride = (size_t(image.width) * size_t(bytes) + 3) & ~size_t(3);
    const size_t fileSize = offset + stride * size_t(image.height);
    if (fileSize > 0xFFFFFFFFu)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": the image is too large to store as BMP.")
                .arg(native(path))
                .toStdString());

    QByteArray bmp(qsizetype(fileSize), Qt::Uninitialized);
    char *p = bmp.data();
    memset(p, 0, offset);
    p[0] = 'B';
    p[1] = 'M';
    putLE(p + 2, uint32_t(fileSize), 4);
    putLE(p + 10, offset, 4);
    char *info = p + 14;
    putLE(info, infoSize, 4);
    putLE(info + 4, uint32_t(image.width), 4);
    putLE(info + 8, uint32_t(image.height), 4);
    putLE(info + 12, 1, 2);
    putLE(info + 14, uint32_t(bytes * 8), 2);
    putLE(info + 20, uint32_t(stride * size_t(image.height)), 4);
    putLE(info + 24, 2835, 4); // 72 dpi
    putLE(info + 28, 2835, 4);
    if (indexed) {
        putLE(info + 32, uint32_t(image.palette.size()), 4);
        for (size_t i = 0; i < image.palette.size(); ++i)
            putLE(info + infoSize + 4 * i, image.palette[i] & 0xFFFFFF, 4);
    } else if (bytes == 4) {
        putLE(info + 16, 3, 4); // BI_BITFIELDS
        putLE(info + 40, 0x00FF0000, 4);
        putLE(info + 44, 0x0000FF00, 4);
        putLE(info + 48, 0x000000FF, 4);
        putLE(info + 52, 0xFF000000, 4);
        putLE(info + 56, 0x73524742, 4); // 'sRGB'
    }

    std::vector<uint8_t> indices(image.palette.empty() ? 0 : size_t(image.width));
    std::vector<uint32_t> argb(indexed ? 0 : size_t(image.width));
    for (int y = 0; y < image.height; ++y) {
        char *out = p + offset + stride * size_t(image.height - 1 - y);
        if (indexed) {
            image.rows(y, out);
        } else {
            if (image.palette.empty()) {
                image.rows(y, argb.data());
            } else {
                image.rows(y, indices.data());
                std::transform(indices.begin(), indices.end(), argb.begin(),
                               [&](uint8_t i) { return image.palette[i]; });
            }
            for (uint32_t px : argb) {
                putLE(out, px, bytes); // B G R (A)
                out += bytes;
            }
        }
        memset(p + offset + stride * size_t(image.height - 1 - y) +
                   size_t(image.width) * size_t(bytes),
               0, stride - size_t(image.width) * size_t(bytes));
    }
    return bmp;
}

// ---------------------------------------------------------------- raw 16-bit

QByteArray encodeR16(const BILImage &image, const QString &path)
{
    if (!image.grey16)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": raw .r16 files hold 16-bit heightmaps only.")
                .arg(native(path))
                .toStdString());
    const size_t width = size_t(image.width);
    QByteArray raw(qsizetype(width * size_t(image.height) * 2), Qt::Uninitialized);
    std::vector<uint16_t> levels(width);
    for (int y = 0; y < image.height; ++y) {
        image.rows(y, levels.data());
        char *out = raw.data() + size_t(y) * width * 2;
        for (size_t x = 0; x < width; ++x)
            putLE(out + 2 * x, levels[x], 2);
    }
    return raw;
}

} // namespace

BILImageType BILImageTypeOf(const QString &extension, const QString &fileName)
{
    const QString ext = extension.toLower();
    if (ext == u".png") return BILImageType::Png;
    if (ext == u".bmp") return BILImageType::Bmp;
    if (ext == u".r16") return BILImageType::R16;
    if (ext == u".exr") return BILImageType::Exr;
    if (ext == u".tif") return BILImageType::Tif32;
    throw BILError(
        QStringLiteral(
            "Cannot write \"%1\": images are written as .png, .bmp, .r16, .exr or .tif only.")
            .arg(native(fileName))
            .toStdString());
}

QByteArray EncodeBILImage(BILImageType type, const BILImage &image, const QString &path,
                          int threads)
{
    switch (type) {
    case BILImageType::Png:
        return encodePng(image, path, threads);
    case BILImageType::Bmp:
        return encodeBmp(image, path);
    case BILImageType::Exr:
    case BILImageType::Tif32: {
        if (!image.real)
            throw BILError(QStringLiteral("Cannot write \"%1\": this type holds heights in metres "
                                          "only.")
                               .arg(native(path))
                               .toStdString());
        const auto rows = [&](int y, float *out) { image.rows(y, out); };
        return type == BILImageType::Exr
                   ? bil::encodeExr(image.width, image.height, rows, path)
                   : bil::encodeFloatTiff(image.width, image.height, rows, image.placedAt, path);
    }
    case BILImageType::R16:
        break;
    }
    return encodeR16(image, path);
}
