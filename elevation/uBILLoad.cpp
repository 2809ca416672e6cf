#include "elevation/uBILBands.h"
#include "elevation/uBILGrid.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILReader.h"
#include "elevation/uBILRender.h"

#include <QFileInfo>
#include <QtEndian>

#include <cmath>

namespace {

struct Layout
{
    bool bigEndian;
    int32_t width, height, noData;
};

Layout currentLayout()
{
    return {BILBigEndian, BILWidth, BILHeight, BILNoData};
}

void setLayout(const Layout &l)
{
    BILBigEndian = l.bigEndian;
    BILWidth = l.width;
    BILHeight = l.height;
    BILNoData = l.noData;
}

// Opens the sample file and makes sure it holds the grid's bytes; throws,
// naming the file, when it cannot be opened or is too short.
void openSamples(QFile &file, int64_t count)
{
    const QString path = file.fileName();
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw BILError(QStringLiteral("Cannot open the sample file \"%1\": %2")
                           .arg(bil::nativePath(path), file.errorString())
                           .toStdString());
    const int64_t needed = count * 2;
    if (file.size() < needed)
        throw BILError(QStringLiteral("The sample file \"%1\" is too short: %2 x %3 samples need "
                                      "%4 bytes, but it holds %5.")
                           .arg(bil::nativePath(path), QString::number(BILWidth),
                                QString::number(BILHeight), QString::number(needed),
                                QString::number(file.size()))
                           .toStdString());
}

// Reads exactly the grid's bytes into BILRaw.
void readSamples(QFile &file, int64_t count)
{
    const int64_t needed = count * 2;
    char *target = reinterpret_cast<char *>(BILRaw);
    int64_t got = 0;
    while (got < needed) {
        const qint64 n = file.read(target + got, needed - got);
        if (n <= 0)
            throw BILError(
                QStringLiteral("Cannot read the sample file \"%1\": %2 of %3 bytes read (%4)")
                    .arg(bil::nativePath(file.fileName()), QString::number(got),
                         QString::number(needed),
                         n < 0 ? file.errorString() : QStringLiteral("end of file"))
                    .toStdString());
        got += n;
    }
}

// An SRTM tile is square: 2 n^2 bytes hold n x n samples (1201 at three arc
// seconds, 3601 at one). Any other length is taken for the older tile.
int32_t hgtSide(const QString &path)
{
    const qint64 bytes = QFileInfo(path).size();
    const auto side = int32_t(std::lround(std::sqrt(double(bytes) / 2)));
    return side > 0 && 2 * qint64(side) * side == bytes ? side : 1201;
}

// Refuses, as the user is told, a grid that cannot be held.
bool sizeAccepted(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0) {
        bil::showError(QStringLiteral("Width or Height is not correct."));
        return false;
    }
    if (width > BILCapacity || height > BILCapacity || width * height > BILCapacity) {
        bil::showError(QStringLiteral("This file is too big."));
        return false;
    }
    return true;
}

// Puts the samples at from (BILRaw itself, or samples staged in BILData) into
// BILRaw in host order and their working values into BILData, and renders
// each row into image while it is still in the cache; then hands image over.
void settleSamples(const int16_t *from, bool swap, QImage &image, QImage &preview)
{
    const int32_t noData = BILNoData;
    const bil::ColorLut lut = bil::colorLut(TextureColor);
    auto *pixels = reinterpret_cast<TAlphaColor *>(image.bits());
    const qsizetype pitch = image.bytesPerLine() / 4;
    // Samples read straight into BILRaw in host order are already in place.
    const bool copy = swap || from != BILRaw;
    bil::forEachBand(BILHeight, [&](int yb, int ye) {
        for (int y = yb; y < ye; ++y) {
            for (int64_t i = int64_t(y) * BILWidth, end = i + BILWidth; i < end; ++i) {
                const int16_t v = swap ? int16_t(qbswap(uint16_t(from[i]))) : from[i];
                if (copy) BILRaw[i] = v;
                BILData[i] = bil::workingSample(v, noData);
            }
            bil::renderRow(lut, y, 0, BILWidth, pixels + pitch * y);
        }
    });
    preview = std::move(image);
    bil::reportColorTableProblem();
}

// Reads a grid that a reader found: staged in BILData, so that BILRaw keeps
// the grid shown until every sample has been read.
void loadSource(const bil::GridSource &source, QImage &preview)
{
    if (!sizeAccepted(source.width, source.height)) return;
    // Read first: a file that lies about its size fails before the preview
    // takes its memory, and a failure puts BILData back.
    std::vector<float> measured;
    if (source.wholeSamples) {
        source.read(BILData, nullptr);
    } else {
        measured.resize(size_t(source.width * source.height));
        source.read(nullptr, measured.data());
        bil::forEachBand(int(source.height), [&](int yb, int ye) {
            for (int64_t i = yb * source.width, end = ye * source.width; i < end; ++i)
                BILData[i] = bil::heightFrom(double(measured[size_t(i)]));
        });
    }
    QImage image(int(source.width), int(source.height), QImage::Format_ARGB32);
    if (image.isNull()) throw std::bad_alloc();
    setLayout({false, int32_t(source.width), int32_t(source.height), source.noData});
    BILGeoRef = source.geo;
    bil::measuredHeights = std::move(measured);
    settleSamples(BILData, false, image, preview);
}

[[noreturn]] void cannotOpen(const QString &path, const QString &why)
{
    throw BILError(
        QStringLiteral("Cannot open \"%1\": %2").arg(bil::nativePath(path), why).toStdString());
}

// A folder would only be refused after the layout question, and reading a
// pipe or a device may wait for ever.
void refuseWhatIsNoGridFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) return; // a missing file says so where it is read
    cannotOpen(path, info.isDir() ? QStringLiteral("it is a folder.")
                                  : QStringLiteral("it is not a regular file."));
}

// A file named as a self-describing kind that its reader did not recognise
// is that kind damaged, not a grid of raw samples.
void refuseMisnamed(const QString &path)
{
    if (!QFileInfo::exists(path)) return;
    const QString extension = path.sliced(bil::extensionStart(path)).toLower();
    if (extension == u".tif" || extension == u".tiff")
        cannotOpen(path, QStringLiteral("it is named as a TIFF file, but it is not one."));
    if (extension == u".asc")
        cannotOpen(path, QStringLiteral("it is named as an ASCII grid, but it is not one."));
}

} // namespace

void OpenBILFile(const QString &path, QImage &preview)
{
    // A load that fails, is cancelled or is refused puts back the grid still
    // held, so that a later export reads the samples with their own layout
    // and the caption still names them.
    const Layout before = currentLayout();
    const std::optional<BILGeoReference> geoBefore = BILGeoRef;
    const QString nameBefore = BILFileName;
    const auto restore = [&] {
        setLayout(before);
        BILGeoRef = geoBefore;
        BILFileName = nameBefore;
    };
    BILFileName = path;
    preview = QImage();
    try {
        bil::whileDoing(QStringLiteral("open \"%1\"").arg(bil::nativePath(path)),
                        [&] { LoadBILFile(path, preview); });
    } catch (...) {
        restore();
        SmoothBIL(0); // a reader may have staged its samples there
        throw;
    }
    // A cancel or a refusal reads no sample, so BILRaw and BILData still hold the grid.
    if (preview.isNull()) restore();
}

void LoadBILFile(const QString &path, QImage &preview)
{
    refuseWhatIsNoGridFile(path);
    for (const auto source : {bil::tiffSource, bil::asciiGridSource}) {
        if (const std::optional<bil::GridSource> grid = source(path)) {
            loadSource(*grid, preview);
            return;
        }
    }
    refuseMisnamed(path);
    ReadBILHeader(path);
    if (BILWidth == 0) {
        const bool hgt = path.sliced(bil::extensionStart(path)).toLower() == u".hgt";
        const int32_t side = hgt ? hgtSide(path) : 0;
        setLayout(hgt ? Layout{true, side, side, BILHeightLowest}
                      : Layout{false, 10800, 4800, BILHeightLowest});
        if (BILAskLayout)
            BILAskLayout();
        else
            setLayout({false, -1, 0, BILHeightLowest});
    }
    if (BILWidth == -1) {
        BILWidth = 0;
        return;
    }
    if (const std::optional<bil::GridSource> samples = bil::headerSource(path))
        return loadSource(*samples, preview);
    ReadBILData(path, preview);
    if (!preview.isNull()) BILGeoRef = bil::headerGeoReference(path);
}

void ReadBILData(const QString &path, QImage &preview)
{
    if (!sizeAccepted(BILWidth, BILHeight)) return;
    // Everything that can fail happens before BILData changes, and a file
    // too short for its layout fails before the preview takes its memory.
    const int64_t count = int64_t(BILWidth) * BILHeight;
    QFile file(path);
    openSamples(file, count);
    QImage image(BILWidth, BILHeight, QImage::Format_ARGB32);
    if (image.isNull()) throw std::bad_alloc();
    readSamples(file, count);
    bil::measuredHeights = {};
    settleSamples(BILRaw, BILBigEndian, image, preview);
}

QString BILCaption()
{
    if (BILFileName.isEmpty()) return QStringLiteral("RELIEVA");
    return QStringLiteral("RELIEVA - ") + BILFileName.sliced(bil::fileNameStart(BILFileName));
}
