#include "elevation/uBILTiffWriter.h"

#include "elevation/uBILPaths.h"
#include "elevation/uBILTiffSupport.h"

#include <QFile>

#include <geotiff.h>
#include <geovalues.h>
#include <xtiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The file's bytes in memory, so that the export writes them with its others.
struct Memory
{
    QByteArray bytes;
    qsizetype at = 0;
};

tmsize_t readMemory(thandle_t handle, void *out, tmsize_t size)
{
    auto *m = static_cast<Memory *>(handle);
    const tmsize_t n = std::max<tmsize_t>(0, std::min<tmsize_t>(size, m->bytes.size() - m->at));
    std::memcpy(out, m->bytes.constData() + m->at, size_t(n));
    m->at += n;
    return n;
}

tmsize_t writeMemory(thandle_t handle, void *in, tmsize_t size)
{
    auto *m = static_cast<Memory *>(handle);
    if (m->at + size > m->bytes.size()) m->bytes.resize(m->at + size);
    std::memcpy(m->bytes.data() + m->at, in, size_t(size));
    m->at += size;
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    auto *m = static_cast<Memory *>(handle);
    const qsizetype base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes.size() : 0;
    m->at = base + qsizetype(offset);
    return toff_t(m->at);
}

int closeMemory(thandle_t)
{
    return 0;
}

toff_t sizeOfMemory(thandle_t handle)
{
    return toff_t(static_cast<Memory *>(handle)->bytes.size());
}

// The place and coordinate system: pixel scale, the tie point of the upper
// left corner, and the keys naming the model.
void writeGeoreference(TIFF *tif, const BILGeoReference &g)
{
    double scale[3] = {g.cellWidth, g.cellHeight, 0};
    double tiePoint[6] = {0, 0, 0, g.left, g.top, 0};
    TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, 3, scale);
    TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, 6, tiePoint);
    GTIF *keys = GTIFNew(tif);
    if (!keys) return;
    GTIFKeySet(keys, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
    if (g.geographic) {
        GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeGeographic);
        GTIFKeySet(keys, GeographicTypeGeoKey, TYPE_SHORT, 1, g.epsg ? g.epsg : GCS_WGS_84);
    } else {
        GTIFKeySet(keys, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeProjected);
        if (g.epsg) GTIFKeySet(keys, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, g.epsg);
    }
    GTIFWriteKeys(keys);
    GTIFFree(keys);
}

} // namespace

namespace bil {

QByteArray encodeFloatTiff(int width, int height, const std::function<void(int y, float *out)> &row,
                           const std::optional<BILGeoReference> &geo, const QString &path)
{
    registerTiffTags();
    Memory memory;
    TiffMessages messages;
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> options(
        TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffWarning, &messages);
    TIFF *tif = TIFFClientOpenExt(QFile::encodeName(path).constData(), "w", &memory, readMemory,
                                  writeMemory, seekMemory, closeMemory, sizeOfMemory, nullptr,
                                  nullptr, options.get());
    const auto fail = [&](const QString &doing) {
        throw BILError(
            QStringLiteral("Cannot write \"%1\": %2%3")
                .arg(nativePath(path), doing,
                     messages.lines.isEmpty()
                         ? QStringLiteral(".")
                         : QStringLiteral(": ") + messages.lines.join(QStringLiteral("; ")))
                .toStdString());
    };
    if (!tif) fail(QStringLiteral("libtiff cannot start the file"));
    const std::unique_ptr<TIFF, void (*)(TIFF *)> closing(tif, XTIFFClose);
    constexpr uint32_t stripRows = 16;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(32));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(SAMPLEFORMAT_IEEEFP));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_FLOATINGPOINT));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, stripRows);
    TIFFSetField(tif, TIFFTAG_GDAL_NODATA, "nan");
    if (geo) writeGeoreference(tif, *geo);

    std::vector<float> strip(size_t(width) * stripRows);
    for (int first = 0, index = 0; first < height; first += int(stripRows), ++index) {
        const int rows = std::min(int(stripRows), height - first);
        for (int j = 0; j < rows; ++j)
            row(first + j, strip.data() + size_t(j) * size_t(width));
        const tmsize_t bytes = tmsize_t(size_t(rows) * size_t(width) * sizeof(float));
        if (TIFFWriteEncodedStrip(tif, uint32_t(index), strip.data(), bytes) != bytes ||
            messages.failed)
            fail(QStringLiteral("libtiff cannot write its samples"));
    }
    if (!TIFFWriteDirectory(tif) || messages.failed)
        fail(QStringLiteral("libtiff cannot finish the file"));
    return std::move(memory.bytes);
}

} // namespace bil
