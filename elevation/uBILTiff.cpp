// TIFF and GeoTIFF through libtiff, the georeferencing keys through libgeotiff.

#include "elevation/uBILBands.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILReader.h"
#include "elevation/uBILText.h"
#include "elevation/uBILTiffSupport.h"

#include <QFile>
#include <QStringList>

#include <geotiff.h>
#include <geovalues.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <algorithm>
#include <cfloat>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>

namespace {

// No real elevation file needs more at once; a hostile one cannot make us
// or libtiff ask for more.
constexpr uint64_t maxBlockBytes = uint64_t(1) << 30;

bool hasTiffSignature(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(4);
    return head == QByteArrayView("II*\0", 4) || head == QByteArrayView("MM\0*", 4) ||
           head == QByteArrayView("II+\0", 4) || head == QByteArrayView("MM\0+", 4);
}

// A broken key directory costs the georeference, not the heights.
void onGeoTiffMessage(GTIF *gtif, int, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    static_cast<bil::TiffMessages *>(GTIFGetUserData(gtif))->add("libgeotiff", format, args);
    va_end(args);
}

struct TiffFile
{
    QString path;
    bil::TiffMessages messages;
    TIFF *tif = nullptr;

    TiffFile(const TiffFile &) = delete;
    TiffFile &operator=(const TiffFile &) = delete;
    explicit TiffFile(const QString &p) : path(p) {}
    ~TiffFile()
    {
        if (tif) TIFFClose(tif);
    }

    [[noreturn]] void fail(const QString &cause) const
    {
        throw BILError(QStringLiteral("Cannot read the TIFF file \"%1\": %2")
                           .arg(bil::nativePath(path), cause)
                           .toStdString());
    }
    // Ends the read with what we were doing and what libtiff and libgeotiff
    // said, if anything.
    [[noreturn]] void failWhile(const QString &doing) const
    {
        fail(messages.lines.isEmpty()
                 ? doing + u'.'
                 : QStringLiteral("%1: %2").arg(doing, messages.lines.join(QStringLiteral("; "))));
    }
    // Ends the read when libtiff failed or said an error.
    void check(bool ok, const QString &doing) const
    {
        if (!ok || messages.failed) failWhile(doing);
    }
};

std::optional<bil::SampleType> sampleKind(uint16_t format, uint16_t bits)
{
    const bool unsignedInt = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
    if (unsignedInt && bits == 8) return bil::SampleType::UInt8;
    if (unsignedInt && bits == 16) return bil::SampleType::UInt16;
    if (unsignedInt && bits == 32) return bil::SampleType::UInt32;
    if (format == SAMPLEFORMAT_INT && bits == 8) return bil::SampleType::Int8;
    if (format == SAMPLEFORMAT_INT && bits == 16) return bil::SampleType::Int16;
    if (format == SAMPLEFORMAT_INT && bits == 32) return bil::SampleType::Int32;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 32) return bil::SampleType::Float32;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 64) return bil::SampleType::Float64;
    return std::nullopt;
}

QString formatName(uint16_t format)
{
    switch (format) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID:
        return QStringLiteral("unsigned integer");
    case SAMPLEFORMAT_INT:
        return QStringLiteral("signed integer");
    case SAMPLEFORMAT_IEEEFP:
        return QStringLiteral("floating-point");
    case SAMPLEFORMAT_COMPLEXINT:
        return QStringLiteral("complex integer");
    case SAMPLEFORMAT_COMPLEXIEEEFP:
        return QStringLiteral("complex floating-point");
    }
    return QStringLiteral("format %1").arg(format);
}

// GDAL writes the value as C-locale text ("-9999", "nan", "-3.4e+38").
std::optional<double> noDataOf(TIFF *tif)
{
    const char *text = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_GDAL_NODATA, &text) || !text) return std::nullopt;
    return bil::parseNumber(QByteArrayView(text).trimmed());
}

// turned: set when the file places the grid turned against north, which
// our georeference cannot hold.
std::optional<BILGeoReference> georeferenceOf(TIFF *tif, bil::TiffMessages &messages, bool &turned)
{
    uint16_t rasterType = RasterPixelIsArea, modelType = 0, projected = 0, geographic = 0;
    if (GTIF *keys = GTIFNewEx(tif, onGeoTiffMessage, &messages)) {
        GTIFKeyGetSHORT(keys, GTRasterTypeGeoKey, &rasterType, 0, 1);
        GTIFKeyGetSHORT(keys, GTModelTypeGeoKey, &modelType, 0, 1);
        GTIFKeyGetSHORT(keys, ProjectedCSTypeGeoKey, &projected, 0, 1);
        GTIFKeyGetSHORT(keys, GeographicTypeGeoKey, &geographic, 0, 1);
        GTIFFree(keys);
    }
    BILGeoReference geo;
    uint16_t scaleCount = 0, tieCount = 0, matrixCount = 0;
    const double *scale = nullptr, *tie = nullptr, *matrix = nullptr;
    if (TIFFGetField(tif, TIFFTAG_GEOPIXELSCALE, &scaleCount, &scale) && scaleCount >= 2 &&
        TIFFGetField(tif, TIFFTAG_GEOTIEPOINTS, &tieCount, &tie) && tieCount >= 6) {
        // The tie point joins raster (i, j) to model (x, y).
        geo.cellWidth = scale[0];
        geo.cellHeight = scale[1];
        geo.left = tie[3] - tie[0] * scale[0];
        geo.top = tie[4] + tie[1] * scale[1];
    } else if (TIFFGetField(tif, TIFFTAG_GEOTRANSMATRIX, &matrixCount, &matrix) &&
               matrixCount >= 16) {
        turned = matrix[1] != 0 || matrix[4] != 0;
        if (turned) return std::nullopt;
        geo.cellWidth = matrix[0];
        geo.cellHeight = -matrix[5];
        geo.left = matrix[3];
        geo.top = matrix[7];
    } else {
        return std::nullopt;
    }
    // Point rasters tie the centre of a cell; our reference is its corner.
    if (rasterType == RasterPixelIsPoint) {
        geo.left -= geo.cellWidth / 2;
        geo.top += geo.cellHeight / 2;
    }
    geo.geographic = modelType == ModelTypeGeographic;
    // 32767 says the system is described key by key, with no code.
    const uint16_t code = geo.geographic ? geographic : projected;
    geo.epsg = code != KvUserDefined ? code : 0;
    for (double v : {geo.left, geo.top, geo.cellWidth, geo.cellHeight})
        if (!std::isfinite(v)) return std::nullopt;
    return geo;
}

// Heights from one row of the first band, every stride-th sample of type T.
template <typename T> struct RowConverter
{
    double noData; // NaN when the file has none: equal to nothing

    void operator()(const uint8_t *in, size_t stride, uint32_t count, float *out) const
    {
        for (uint32_t i = 0; i < count; ++i) {
            T v;
            std::memcpy(&v, in + i * stride * sizeof(T), sizeof(T));
            out[i] = bil::isMissing(v, noData) ? bil::missingReal : bil::realFrom(double(v));
        }
    }
};

// 16-bit heights are kept as they are; the missing value travels as noData.
template <> struct RowConverter<int16_t>
{
    double noData;

    void operator()(const uint8_t *in, size_t stride, uint32_t count, int16_t *out) const
    {
        if (stride == 1) {
            std::memcpy(out, in, count * sizeof(int16_t));
            return;
        }
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(out + i, in + i * stride * sizeof(int16_t), sizeof(int16_t));
    }
};

struct Layout
{
    uint32_t width, height;
    uint16_t samplesPerPixel;
    bool separatePlanes;
    std::optional<double> noData;
    int16_t empty; // the height of a 16-bit block that was never written

    // As GDAL reads a block that was never written: missing where the file
    // has a missing value, else 0.
    template <typename T> bil::Stored<T> emptyOf() const
    {
        if constexpr (std::is_same_v<T, int16_t>)
            return empty;
        else
            return noData ? bil::missingReal : 0.0f;
    }
};

// libtiff's options for one file: its messages come to us, its allocations are bounded.
std::shared_ptr<TiffFile> openTiff(const QString &path)
{
    auto file = std::make_shared<TiffFile>(path);
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> options(
        TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), bil::onTiffError, &file->messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), bil::onTiffWarning, &file->messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(maxBlockBytes));
#ifdef Q_OS_WIN
    file->tif = TIFFOpenWExt(reinterpret_cast<const wchar_t *>(path.utf16()), "r", options.get());
#else
    file->tif = TIFFOpenExt(QFile::encodeName(path).constData(), "r", options.get());
#endif
    file->check(file->tif != nullptr, QStringLiteral("libtiff cannot open it"));
    return file;
}

struct Blocks
{
    bool tiled;
    uint32_t width, height;
    uint64_t bytes;
};

Blocks blocksOf(const TiffFile &file, const Layout &layout, uint64_t sampleBytes)
{
    TIFF *tif = file.tif;
    Blocks blocks{bool(TIFFIsTiled(tif)), layout.width, 0, 0};
    if (blocks.tiled) {
        file.check(TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blocks.width) &&
                       TIFFGetField(tif, TIFFTAG_TILELENGTH, &blocks.height),
                   QStringLiteral("it gives no tile size"));
    } else {
        file.check(TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blocks.height),
                   QStringLiteral("it gives no strip size"));
        blocks.height = std::min(blocks.height, layout.height);
    }
    if (blocks.width == 0 || blocks.height == 0)
        file.fail(QStringLiteral("its blocks are %1 x %2 samples.")
                      .arg(QString::number(blocks.width), QString::number(blocks.height)));
    // Zero when the size overflows, and libtiff then says why.
    blocks.bytes = blocks.tiled ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    file.check(blocks.bytes != 0, QStringLiteral("the size of its blocks cannot be worked out"));
    // A block may round the image up to whole blocks, but never asks for
    // much more than the image itself, whatever the file says.
    const uint64_t imageBytes = uint64_t(layout.width) * layout.height * sampleBytes *
                                (layout.separatePlanes ? 1 : layout.samplesPerPixel);
    const uint64_t allowed = std::min(maxBlockBytes, imageBytes + (uint64_t(16) << 20));
    if (blocks.bytes > allowed)
        file.fail(QStringLiteral("one block of its samples takes %1 bytes, more than %2.")
                      .arg(QString::number(blocks.bytes), QString::number(allowed)));
    return blocks;
}

// A run of rows or columns, first <= i < end.
struct Span
{
    uint32_t first, end;
};

// Decodes the blocks that start in rows and columns (each span's first on a
// block's edge) into out.
template <typename T>
void readBlockRows(const TiffFile &file, const Layout &layout, const Blocks &blocks,
                   const Span &rowSpan, const Span &columnSpan, bil::Stored<T> *out,
                   bil::Steps &steps)
{
    TIFF *tif = file.tif;
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(size_t(blocks.bytes));
    const size_t stride = layout.separatePlanes ? 1 : layout.samplesPerPixel;
    const size_t rowBytes = size_t(blocks.width) * stride * sizeof(T);
    const RowConverter<T> convert{layout.noData.value_or(std::numeric_limits<double>::quiet_NaN())};
    for (uint32_t y0 = rowSpan.first; y0 < rowSpan.end; y0 += blocks.height) {
        const uint32_t rows = std::min(blocks.height, layout.height - y0);
        for (uint32_t x0 = columnSpan.first; x0 < columnSpan.end; x0 += blocks.width) {
            const uint32_t columns = std::min(blocks.width, layout.width - x0);
            const uint32_t block =
                blocks.tiled ? TIFFComputeTile(tif, x0, y0, 0, 0) : TIFFComputeStrip(tif, y0, 0);
            bil::Stored<T> *at = out + size_t(y0) * layout.width + x0;
            // Writers leave blocks that hold nothing unwritten (GDAL's sparse files).
            if (TIFFGetStrileOffset(tif, block) == 0 && TIFFGetStrileByteCount(tif, block) == 0) {
                for (uint32_t r = 0; r < rows; ++r)
                    std::fill_n(at + size_t(r) * layout.width, columns, layout.emptyOf<T>());
                continue;
            }
            const tmsize_t got =
                blocks.tiled
                    ? TIFFReadEncodedTile(tif, block, buffer.get(), tmsize_t(blocks.bytes))
                    : TIFFReadEncodedStrip(tif, block, buffer.get(), tmsize_t(blocks.bytes));
            if (got < 0 || file.messages.failed)
                file.failWhile(blocks.tiled
                                   ? QStringLiteral("the tile at row %1, column %2 cannot be read")
                                         .arg(QString::number(y0), QString::number(x0))
                                   : QStringLiteral("the strip at row %1 cannot be read")
                                         .arg(QString::number(y0)));
            if (uint64_t(got) < (rows - 1) * rowBytes + columns * stride * sizeof(T))
                file.fail(QStringLiteral("the block at row %1, column %2 holds %3 bytes, "
                                         "fewer than its samples need.")
                              .arg(QString::number(y0), QString::number(x0), QString::number(got)));
            for (uint32_t r = 0; r < rows; ++r)
                convert(buffer.get() + r * rowBytes, stride, columns,
                        at + size_t(r) * layout.width);
        }
        steps.advance(int64_t(rows) * (columnSpan.end - columnSpan.first));
    }
}

// What a photometric interpretation says the samples are, where they are the
// colours of a picture; empty where they may be heights (grey levels).
QString pictureColours(uint16_t photometric)
{
    switch (photometric) {
    case PHOTOMETRIC_RGB:
        return QStringLiteral("RGB colours");
    case PHOTOMETRIC_PALETTE:
        return QStringLiteral("palette colours");
    case PHOTOMETRIC_SEPARATED:
        return QStringLiteral("printing inks (CMYK)");
    case PHOTOMETRIC_YCBCR:
        return QStringLiteral("YCbCr colours");
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB:
        return QStringLiteral("Lab colours");
    default:
        return {};
    }
}

// Decoding is most of a load, so only the blocks that hold wanted cells are
// decoded, and each core takes the rows of blocks that start in its band,
// through a handle of its own: libtiff's are not shared.
template <typename T>
void readBlocks(const TiffFile &file, const Layout &layout, const bil::CellRegion &wanted,
                bil::Stored<T> *out, int threads, bil::Steps &steps)
{
    const Blocks blocks = blocksOf(file, layout, sizeof(T));
    const Span columns{uint32_t(wanted.x0) / blocks.width * blocks.width, uint32_t(wanted.x1)};
    const uint32_t top = uint32_t(wanted.y0) / blocks.height * blocks.height;
    bil::forEachBand(
        wanted.y1 - int(top),
        [&](int bandFirst, int bandEnd) {
            const uint32_t first =
                top + (uint32_t(bandFirst) + blocks.height - 1) / blocks.height * blocks.height;
            const uint32_t end = top + uint32_t(bandEnd);
            if (first >= end) return;
            if (bandFirst == 0)
                return readBlockRows<T>(file, layout, blocks, {first, end}, columns, out, steps);
            readBlockRows<T>(*openTiff(file.path), layout, blocks, {first, end}, columns, out,
                             steps);
        },
        threads);
}

void readSamples(const TiffFile &file, const Layout &layout, bil::SampleType type,
                 const bil::CellRegion &wanted, int16_t *whole, float *real, int threads,
                 bil::Steps &steps)
{
    bil::withSampleType(type, [&](auto sample) {
        using T = decltype(sample);
        readBlocks<T>(file, layout, wanted, bil::storeFor<T>(whole, real), threads, steps);
    });
}

} // namespace

namespace bil {

std::optional<GridSource> tiffSource(const QString &path)
{
    if (!hasTiffSignature(path)) return std::nullopt;
    bil::registerTiffTags();
    const std::shared_ptr<TiffFile> file = openTiff(path);
    TIFF *tif = file->tif;

    uint32_t width = 0, height = 0;
    uint16_t bits = 1, format = SAMPLEFORMAT_UINT, samplesPerPixel = 1,
             planes = PLANARCONFIG_CONTIG;
    file->check(TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) &&
                    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height),
                QStringLiteral("it gives no image size"));
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planes);
    const std::optional<bil::SampleType> kind = sampleKind(format, bits);
    if (!kind)
        file->fail(QStringLiteral("it holds %1-bit %2 samples; RELIEVA reads 8-, 16- and 32-bit "
                                  "integers and 32- and 64-bit floating point.")
                       .arg(QString::number(bits), formatName(format)));
    if (samplesPerPixel == 0) file->fail(QStringLiteral("it has no bands."));
    if (uint16_t photometric = 0; TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        if (const QString colours = pictureColours(photometric); !colours.isEmpty())
            file->fail(QStringLiteral("it holds a picture in %1, not heights.").arg(colours));

    const std::optional<double> noData = noDataOf(tif);
    GridSource source;
    source.width = width;
    source.height = height;
    if (*kind == bil::SampleType::Int16 && noData && std::trunc(*noData) == *noData &&
        *noData >= BILHeightLowest && *noData <= BILHeightHighest)
        source.noData = int32_t(*noData);
    // As GDAL reads them: the missing value where the file has one, else 0.
    const Layout layout{width,           height,
                        samplesPerPixel, planes == PLANARCONFIG_SEPARATE,
                        noData,          noData ? int16_t(source.noData) : int16_t(0)};
    source.geo = georeferenceOf(tif, file->messages, source.turned);
    source.wholeSamples = *kind == bil::SampleType::Int16;
    source.read = [file, layout, kind = *kind](int16_t *whole, float *real,
                                               const bil::CellRegion &wanted, int threads,
                                               bil::Steps &steps) {
        readSamples(*file, layout, kind, wanted, whole, real, threads, steps);
    };
    return source;
}

} // namespace bil
