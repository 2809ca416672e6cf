// PNGs compressed in bands on several cores, decoded by QImage's own reader:
// images tall enough to be split, in every stored variant, must decode to
// exactly the pixels handed over.
#include "elevation/uBILImageWriter.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A pixel value that changes along and across rows, as heights do, with
// some noise so that no row repeats.
uint32_t value(int x, int y)
{
    const uint32_t noise = (uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u) >> 29;
    return uint32_t(x / 7 + y / 5) + noise;
}

BILImage image(const char *kind, int width, int height)
{
    BILImage image;
    image.width = width;
    image.height = height;
    const std::string k = kind;
    if (k == "palette" || k == "grey")
        for (uint32_t i = 0; i < 256; ++i)
            image.palette.push_back(k == "grey" ? 0xFF000000u | i * 0x010101u
                                                : 0xFF000000u | i * 0x00030507u);
    image.grey16 = k == "grey16";
    image.opaque = k != "argb";
    image.rows = [k, width](int first, int count, void *out) {
        for (int y = first; y < first + count; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t v = value(x, y);
                const size_t at = size_t(y - first) * size_t(width) + size_t(x);
                if (k == "grey16")
                    static_cast<uint16_t *>(out)[at] = uint16_t(v * 97);
                else if (k == "rgb" || k == "argb")
                    static_cast<uint32_t *>(out)[at] =
                        (k == "rgb" ? 0xFF000000u : v << 24) | v * 0x0103u;
                else
                    static_cast<uint8_t *>(out)[at] = uint8_t(v);
            }
    };
    return image;
}

} // namespace

TEST(ImageWriter, BandedPngsDecodeToThePixelsHandedOver)
{
    const QTemporaryDir dir;
    // The tall images span several bands, the last one shorter; one row is one band.
    for (const char *kind : {"palette", "grey", "rgb", "argb", "grey16"})
        for (const auto &[width, height] : {std::pair{1000, 3001}, std::pair{70001, 1}}) {
            SCOPED_TRACE(std::string(kind) + ' ' + std::to_string(width) + 'x' +
                         std::to_string(height));
            const BILImage source = image(kind, width, height);
            const QString path = dir.filePath(QStringLiteral("banded.png"));
            {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                WriteBILImage(BILImageType::Png, source, file, path);
            }
            const QImage decoded(path);
            ASSERT_EQ(decoded.size(), QSize(width, height));
            std::vector<uint32_t> row(size_t(width) * 2);
            for (int y = 0; y < height; ++y) {
                source.rows(y, 1, row.data());
                for (int x = 0; x < width; ++x) {
                    if (source.grey16)
                        ASSERT_EQ(reinterpret_cast<const uint16_t *>(decoded.constScanLine(y))[x],
                                  reinterpret_cast<const uint16_t *>(row.data())[x])
                            << x << ',' << y;
                    else
                        ASSERT_EQ(
                            decoded.pixel(x, y),
                            source.palette.empty()
                                ? row[size_t(x)]
                                : source.palette[reinterpret_cast<const uint8_t *>(row.data())[x]])
                            << x << ',' << y;
                }
            }
        }
}
