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

// The export's file, written through the device from where it stood; the
// first failure is kept, to be named instead of libtiff's account of it.
struct Device
{
    QIODevice &out;
    const qint64 start;
    QString failure;

    tmsize_t failed()
    {
        if (failure.isEmpty()) failure = out.errorString();
        return -1;
    }
};

tmsize_t readDevice(thandle_t handle, void *in, tmsize_t size)
{
    auto *d = static_cast<Device *>(handle);
    const qint64 n = d->out.read(static_cast<char *>(in), size);
    return n < 0 ? d->failed() : tmsize_t(n);
}

tmsize_t writeDevice(thandle_t handle, void *bytes, tmsize_t size)
{
    auto *d = static_cast<Device *>(handle);
    for (tmsize_t done = 0; done < size;) {
        const qint64 n = d->out.write(static_cast<const char *>(bytes) + done, size - done);
        if (n <= 0) return d->failed();
        done += tmsize_t(n);
    }
    return size;
}

toff_t seekDevice(thandle_t handle, toff_t offset, int whence)
{
    auto *d = static_cast<Device *>(handle);
    const qint64 base = whence == SEEK_CUR   ? d->out.pos()
                        : whence == SEEK_END ? d->out.size()
                                             : d->start;
    if (!d->out.seek(base + qint64(offset))) return toff_t(d->failed());
    return toff_t(d->out.pos() - d->start);
}

int closeDevice(thandle_t)
{
    return 0;
}

toff_t sizeOfDevice(thandle_t handle)
{
    auto *d = static_cast<Device *>(handle);
    return toff_t(d->out.size() - d->start);
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

void writeFloatTiff(int width, int height,
                    const std::function<void(int first, int count, float *heights)> &rows,
                    const std::optional<BILGeoReference> &geo, QIODevice &out, const QString &path)
{
    registerTiffTags();
    Device device{out, out.pos(), {}};
    TiffMessages messages;
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> options(
        TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffWarning, &messages);
    TIFF *tif = TIFFClientOpenExt(QFile::encodeName(path).constData(), "w", &device, readDevice,
                                  writeDevice, seekDevice, closeDevice, sizeOfDevice, nullptr,
                                  nullptr, options.get());
    const auto fail = [&](const QString &doing) {
        throw BILError(
            QStringLiteral("Cannot write \"%1\": %2%3")
                .arg(nativePath(path), doing,
                     !device.failure.isEmpty() ? QStringLiteral(": ") + device.failure
                     : messages.lines.isEmpty()
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
        const int count = std::min(int(stripRows), height - first);
        rows(first, count, strip.data());
        const tmsize_t bytes = tmsize_t(size_t(count) * size_t(width) * sizeof(float));
        if (TIFFWriteEncodedStrip(tif, uint32_t(index), strip.data(), bytes) != bytes ||
            messages.failed)
            fail(QStringLiteral("libtiff cannot write its samples"));
    }
    if (!TIFFWriteDirectory(tif) || messages.failed || !device.failure.isEmpty())
        fail(QStringLiteral("libtiff cannot finish the file"));
}

} // namespace bil
