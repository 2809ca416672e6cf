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

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Writes size bytes to out, all of them or throws naming path. A write that
// fills the disk takes what fits; only the next one says why.
void put(QIODevice &out, const void *bytes, size_t size, const QString &path)
{
    const char *at = static_cast<const char *>(bytes);
    for (size_t done = 0; done < size;) {
        const qint64 n = out.write(at + done, qint64(size - done));
        if (n <= 0)
            throw BILError(QStringLiteral("Cannot write \"%1\": %2")
                               .arg(native(path), out.errorString())
                               .toStdString());
        done += size_t(n);
    }
}

// Rows are asked for this many bytes at a time where one thread writes them.
constexpr size_t kBandBytes = size_t(1) << 20;

int bandRows(size_t stride, int height)
{
    return int(std::clamp<size_t>(kBandBytes / std::max<size_t>(stride, 1), 1,
                                  size_t(std::max(height, 1))));
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

// PNG's chunks, written as they come: the pixels' zlib stream goes in one
// IDAT chunk per piece, which readers join.
class PngWriter
{
public:
    PngWriter(QIODevice &out, const QString &path) : out(out), path(path)
    {
        put(out, "\x89PNG\r\n\x1a\n", 8, path);
    }

    void chunk(const char *type, const void *data, size_t size)
    {
        if (size > 0x7FFFFFFF)
            throw BILError(
                QStringLiteral("Cannot write \"%1\": the image is too large to store as PNG.")
                    .arg(native(path))
                    .toStdString());
        char head[8];
        putBE32(head, uint32_t(size));
        memcpy(head + 4, type, 4);
        uint32_t crc = libdeflate_crc32(0, type, 4);
        if (size > 0) // a null buffer would restart the checksum
            crc = libdeflate_crc32(crc, data, size);
        char tail[4];
        putBE32(tail, crc);
        put(out, head, 8, path);
        put(out, data, size, path);
        put(out, tail, 4, path);
    }

private:
    QIODevice &out;
    const QString &path;
};

void writePng(const BILImage &image, QIODevice &out, const QString &path, int threads)
{
    const bool indexed = !image.palette.empty();
    const bool grey = image.grey16 || (indexed && isGreyRamp(image.palette));
    const int channels = indexed ? 1 : image.grey16 ? 2 : image.opaque ? 3 : 4; // bytes a pixel
    // Heights change smoothly from row to row, so the heightmap takes the Up
    // filter; flat colour bands and palette indices compress best unfiltered.
    const bool up = grey;
    const size_t width = size_t(image.width), stride = width * size_t(channels);
    // Each band's thread converts its rows into buffers of its own.
    const auto render = [&](int first, int count, uint8_t *out) {
        if (indexed) return image.rows(first, count, out);
        const size_t pixels = width * size_t(count);
        if (image.grey16) {
            thread_local std::vector<uint16_t> levels;
            levels.resize(pixels);
            image.rows(first, count, levels.data());
            for (uint16_t level : levels) { // PNG stores the high byte first
                *out++ = uint8_t(level >> 8);
                *out++ = uint8_t(level);
            }
        } else {
            thread_local std::vector<uint32_t> words;
            words.resize(pixels);
            image.rows(first, count, words.data());
            for (uint32_t p : words) {
                *out++ = uint8_t(p >> 16);
                *out++ = uint8_t(p >> 8);
                *out++ = uint8_t(p);
                if (channels == 4) *out++ = uint8_t(p >> 24);
            }
        }
    };

    PngWriter png(out, path);
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
    bil::compressPngRows(
        image.height, stride, up, render,
        [&](const uint8_t *bytes, size_t size) { png.chunk("IDAT", bytes, size); }, threads);
    png.chunk("IEND", nullptr, 0);
}

// ---------------------------------------------------------------- BMP

// Bottom-up rows padded to four bytes: an opaque palette as 8 bits, opaque
// colour as 24 bits, colour with alpha as 32 bits with an alpha mask.
void writeBmp(const BILImage &image, QIODevice &out, const QString &path)
{
    const bool indexed = !image.palette.empty() && allOpaque(image.palette);
    const bool opaque = image.palette.empty() ? image.opaque : allOpaque(image.palette);
    const int bytes = indexed ? 1 : opaque ? 3 : 4;
    const uint32_t infoSize = bytes == 4 ? 108 : 40;
    const uint32_t paletteSize = indexed ? uint32_t(image.palette.size()) * 4 : 0;
    const uint32_t offset = 14 + infoSize + paletteSize;
    const size_t width = size_t(image.width);
    const size_t stride = (width * size_t(bytes) + 3) & ~size_t(3);
    const size_t fileSize = offset + stride * size_t(image.height);
    if (fileSize > 0xFFFFFFFFu)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": the image is too large to store as BMP.")
                .arg(native(path))
                .toStdString());

    std::vector<char> head(offset, 0);
    char *p = head.data();
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
    put(out, head.data(), head.size(), path);

    // Bands from the bottom, each written with its last row first.
    const int band = bandRows(stride, image.height);
    std::vector<uint8_t> pixels(width * size_t(band) * (image.palette.empty() ? 4 : 1));
    std::vector<char> rows(stride * size_t(band), 0);
    for (int end = image.height; end > 0; end -= band) {
        const int first = std::max(0, end - band), count = end - first;
        image.rows(first, count, pixels.data());
        for (int j = 0; j < count; ++j) {
            char *line = rows.data() + stride * size_t(count - 1 - j);
            if (indexed) {
                memcpy(line, pixels.data() + width * size_t(j), width);
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                const size_t at = width * size_t(j) + x;
                const uint32_t argb = image.palette.empty()
                                          ? reinterpret_cast<const uint32_t *>(pixels.data())[at]
                                          : image.palette[pixels[at]];
                putLE(line + size_t(bytes) * x, argb, bytes); // B G R (A)
            }
        }
        put(out, rows.data(), stride * size_t(count), path);
    }
}

// ---------------------------------------------------------------- raw 16-bit

void writeR16(const BILImage &image, QIODevice &out, const QString &path)
{
    if (!image.grey16)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": raw .r16 files hold 16-bit heightmaps only.")
                .arg(native(path))
                .toStdString());
    const size_t width = size_t(image.width);
    const int band = bandRows(width * 2, image.height);
    std::vector<uint16_t> levels(width * size_t(band));
    std::vector<char> raw(levels.size() * 2);
    for (int first = 0; first < image.height; first += band) {
        const int count = std::min(band, image.height - first);
        const size_t samples = width * size_t(count);
        image.rows(first, count, levels.data());
        for (size_t i = 0; i < samples; ++i)
            putLE(raw.data() + 2 * i, levels[i], 2);
        put(out, raw.data(), samples * 2, path);
    }
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

void WriteBILImage(BILImageType type, const BILImage &image, QIODevice &out, const QString &path,
                   int threads)
{
    switch (type) {
    case BILImageType::Png:
        return writePng(image, out, path, threads);
    case BILImageType::Bmp:
        return writeBmp(image, out, path);
    case BILImageType::Exr:
    case BILImageType::Tif32: {
        if (!image.real)
            throw BILError(QStringLiteral("Cannot write \"%1\": this type holds heights in metres "
                                          "only.")
                               .arg(native(path))
                               .toStdString());
        const auto rows = [&](int first, int count, float *heights) {
            image.rows(first, count, heights);
        };
        if (type == BILImageType::Exr)
            return bil::writeExr(image.width, image.height, rows, out, path);
        return bil::writeFloatTiff(image.width, image.height, rows, image.placedAt, out, path);
    }
    case BILImageType::R16:
        break;
    }
    writeR16(image, out, path);
}
