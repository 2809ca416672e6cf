#include "fuzz/uFuzzFeeds.h"

#include "cli/uCliOptions.h"
#include "elevation/uFMXBILUtils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace {

// One folder for the whole run: the files are rewritten on every input.
const QTemporaryDir &folder()
{
    static const QTemporaryDir dir;
    return dir;
}

QString place(const char *name)
{
    return folder().filePath(QString::fromLatin1(name));
}

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        abort(); // the machine, not the input: stop rather than report nonsense
}

// The program's hooks, refusals shown and the layout dialog left as it was
// pre-set, over a small grid already loaded: a failed open puts it back, and
// a large one would make every failing input slow.
void startLikeTheProgram()
{
    BILFileName.clear();
    BILBigEndian = false;
    BILWidth = 16;
    BILHeight = 16;
    BILNoData = BILHeightLowest;
    BILGeoRef.reset();
    BILColorTableProblem.clear();
    BILShowError = [](const QString &) {};
    BILAskLayout = [] {};
}

void open(const QString &path)
{
    QImage preview;
    try {
        OpenBILFile(path, preview);
    } catch (const BILError &) {
    }
}

// Splits the input at its first two bytes' count into two files' contents.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> split(const uint8_t *data, size_t size)
{
    const size_t first = size >= 2 ? std::min<size_t>(size - 2, data[0] | data[1] << 8) : 0;
    const uint8_t *rest = data + std::min<size_t>(size, 2);
    const size_t restSize = size - std::min<size_t>(size, 2);
    return {{rest, rest + first}, {rest + first, rest + restSize}};
}

// The samples the first image declares, by libtiff's own reading.
uint64_t tiffSamples(const QString &path)
{
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff) return 0;
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tiff);
    return uint64_t(width) * height;
}

} // namespace

void FeedBILHeader(const uint8_t *data, size_t size)
{
    startLikeTheProgram();
    const auto [header, samples] = split(data, size);
    writeFile(place("grid.hdr"), header.data(), header.size());
    writeFile(place("grid.bil"), samples.data(), samples.size());
    open(place("grid.bil"));
}

void FeedColorTable(const uint8_t *data, size_t size)
{
    startLikeTheProgram();
    writeFile(place("RELIEVA.txt"), data, size);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(folder().path());
    LoadColorTable();
    QDir::setCurrent(cwd);
}

uint64_t FuzzLargestTiff = 0;

void FeedTiff(const uint8_t *data, size_t size)
{
    startLikeTheProgram();
    writeFile(place("grid.tif"), data, size);
    if (FuzzLargestTiff > 0 && tiffSamples(place("grid.tif")) > FuzzLargestTiff) return;
    open(place("grid.tif"));
}

void FeedAsciiGrid(const uint8_t *data, size_t size)
{
    startLikeTheProgram();
    writeFile(place("grid.asc"), data, size);
    open(place("grid.asc"));
}

// The first eight bytes answer the layout dialog (columns and rows as 16-bit
// numbers, the byte order, the missing flag); the rest is the tile.
void FeedRawLayout(const uint8_t *data, size_t size)
{
    startLikeTheProgram();
    uint8_t answer[8] = {};
    std::memcpy(answer, data, std::min<size_t>(size, 8));
    const size_t skip = std::min<size_t>(size, 8);
    writeFile(place("tile.hgt"), data + skip, size - skip);
    BILAskLayout = [&answer] {
        BILWidth = int16_t(answer[0] | answer[1] << 8);
        BILHeight = int16_t(answer[2] | answer[3] << 8);
        BILBigEndian = answer[4] & 1;
        BILNoData = int16_t(answer[5] | answer[6] << 8);
    };
    open(place("tile.hgt"));
}

// The arguments, split at NUL bytes, after the program's name: parsed only,
// as every command line is before anything is read or written.
void FeedCommandLine(const uint8_t *data, size_t size)
{
    QStringList arguments = {QStringLiteral("relieva")};
    for (const QByteArray &argument :
         QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0'))
        arguments << QString::fromUtf8(argument);
    ParseCommandLine(arguments);
}

const std::vector<FuzzTarget> &FuzzTargets()
{
    static const std::vector<FuzzTarget> targets = {
        {"bil_header", FeedBILHeader},
        {"color_table", FeedColorTable},
        {"tiff", FeedTiff},
        {"ascii_grid", FeedAsciiGrid},
        {"raw_layout", FeedRawLayout},
        {"cli_args", FeedCommandLine},
    };
    return targets;
}
