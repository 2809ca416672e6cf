#include "elevation/uBILTiffSupport.h"

#include <xtiffio.h>

#include <cstdio>

namespace {

// GDAL keeps a band's missing-sample value as text in a private tag that
// libtiff does not know; GeoTIFF's own tags come from libgeotiff.
TIFFExtendProc parentExtender = nullptr;

void extendTags(TIFF *tif)
{
    static const TIFFFieldInfo noData[] = {{TIFFTAG_GDAL_NODATA, -1, -1, TIFF_ASCII, FIELD_CUSTOM,
                                            true, false, const_cast<char *>("GDALNoDataValue")}};
    TIFFMergeFieldInfo(tif, noData, 1);
    if (parentExtender) parentExtender(tif);
}

} // namespace

namespace bil {

void registerTiffTags()
{
    static const bool registered = [] {
        XTIFFInitialize();
        parentExtender = TIFFSetTagExtender(extendTags);
        return true;
    }();
    (void)registered;
}

void TiffMessages::add(const char *module, const char *format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    lines << (module && *module ? QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(module),
                                                               QString::fromLocal8Bit(text))
                                : QString::fromLocal8Bit(text));
}

int onTiffError(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    auto *messages = static_cast<TiffMessages *>(user);
    messages->add(module, format, args);
    messages->failed = true;
    return 1;
}

int onTiffWarning(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    static_cast<TiffMessages *>(user)->add(module, format, args);
    return 1;
}

} // namespace bil
