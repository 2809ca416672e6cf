#pragma once

// What the TIFF reader and writer share of libtiff: the tags beyond its own,
// and its messages kept per file for our own errors.

#include <QStringList>

#include <tiffio.h>

#include <cstdarg>

namespace bil {

// Makes libtiff know GeoTIFF's tags (from libgeotiff) and GDAL's private
// tag for a band's missing-sample value; once per process.
void registerTiffTags();

// What libtiff and libgeotiff say about one file.
struct TiffMessages
{
    QStringList lines;
    bool failed = false;

    void add(const char *module, const char *format, va_list args);
};

// Handlers for TIFFOpenOptions, user data a TiffMessages: both keep the
// message and return 1, so that nothing reaches libtiff's global handlers.
int onTiffError(TIFF *, void *user, const char *module, const char *format, va_list args);
int onTiffWarning(TIFF *, void *user, const char *module, const char *format, va_list args);

} // namespace bil
