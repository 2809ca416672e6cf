#include "elevation/uFMXBILUtils.h"

#include "elevation/uBILImageWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <future>
#include <thread>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

QString BILFileName;
bool BILBigEndian = false;
int32_t BILWidth = 10800;
int32_t BILHeight = 4800;
int32_t BILNoData = -32768;
int16_t BILRaw[BILCapacity];
int16_t BILData[BILCapacity];
int16_t BILMax = 0;
int16_t BILMin = 0;
uint32_t BILRange = 0;
TAlphaColor BILColors[65536];

std::function<void()> BILAskLayout;
std::function<void(const QString &)> BILShowError;

namespace {

// ---------------------------------------------------------------- helpers

// Splits the rows [0, rows) into one band per core and runs them in parallel.
template <typename Band> void forEachBand(int rows, Band band)
{
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const int bands = std::clamp(rows / 64, 1, cores);
    std::vector<std::thread> workers;
    for (int b = 1; b < bands; ++b)
        workers.emplace_back(band, int(int64_t(rows) * b / bands),
                             int(int64_t(rows) * (b + 1) / bands));
    band(0, int(int64_t(rows) / bands));
    for (auto &w : workers)
        w.join();
}

// Calls line(bytes) for each line of the file; lines end at CR, LF or CR LF.
// Streams the file, and keeps no more of a line than any real header or
// colour table could need, so that a huge or hostile file costs no memory.
constexpr qsizetype maxLineLength = 1 << 20;

template <typename Line> void forEachLine(QFile &file, Line line)
{
    QByteArray pending;
    bool afterCR = false;
    char buffer[65536];
    qint64 got;
    while ((got = file.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c == '\n' && afterCR) {
                afterCR = false;
                continue;
            }
            afterCR = c == '\r';
            if (c == '\r' || c == '\n') {
                line(QByteArrayView(pending));
                pending.clear();
            } else if (pending.size() < maxLineLength) {
                pending.append(c);
            }
        }
    }
    if (got < 0)
        throw BILError(QStringLiteral("Cannot read \"%1\": %2")
                           .arg(QDir::toNativeSeparators(file.fileName()), file.errorString())
                           .toStdString());
    if (!pending.isEmpty()) line(QByteArrayView(pending));
}

bool isPathSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/' || c == u':';
#else
    return c == u'/';
#endif
}

qsizetype fileNameStart(const QString &path)
{
    qsizetype i = path.size();
    while (i > 0 && !isPathSeparator(path[i - 1]))
        --i;
    return i;
}

// Position of the extension's dot, or the length of path when it has none.
qsizetype extensionStart(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= fileNameStart(path) ? dot : path.size();
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// ---------------------------------------------------------------- colour table

// Splits a line at runs of codes 1..32; a field that opens with a double
// quote runs to the closing one, a doubled quote inside standing for one.
std::vector<QByteArray> splitFields(QByteArrayView line)
{
    const auto isBlank = [](char c) { return c >= 1 && c <= 32; };
    std::vector<QByteArray> fields;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n) break;
        QByteArray field;
        if (line[i] == '"') {
            for (++i; i < n; ++i) {
                if (line[i] != '"') {
                    field.append(line[i]);
                } else if (i + 1 < n && line[i + 1] == '"') {
                    field.append('"');
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            while (i < n && !isBlank(line[i]))
                field.append(line[i++]);
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

using ColorTable = std::array<TAlphaColor, 65536>;

void fillColors(ColorTable &table, int from, int to, TAlphaColor color)
{
    if (from <= to)
        std::fill(table.begin() + (from + 32768), table.begin() + (to + 32768) + 1, color);
}

// ---------------------------------------------------------------- rendering

using ColorLut = std::vector<TAlphaColor>;

// The colour functions are pure for a given scan, so one call per height
// replaces one call per pixel.
ColorLut colorLut(BILColorFunc color)
{
    ColorLut lut(65536);
    for (int h = -32768; h <= 32767; ++h)
        lut[size_t(h + 32768)] = color(int16_t(h));
    return lut;
}

template <typename Pixel>
void renderRow(const std::vector<Pixel> &lut, int y, int x0, int x1, Pixel *out)
{
    const int16_t *samples = BILData + int64_t(y) * BILWidth;
    for (int x = x0; x < x1; ++x)
        *out++ = lut[size_t(samples[x] + 32768)];
}

struct Region
{
    int x0, y0, x1, y1;
};

BILImage indexedImage(std::vector<TAlphaColor> palette, std::vector<uint8_t> indices, Region r)
{
    BILImage image;
    image.width = r.x1 - r.x0;
    image.height = r.y1 - r.y0;
    image.palette = std::move(palette);
    image.rows = [indices = std::move(indices), r](int j, void *out) {
        renderRow(indices, r.y0 + j, r.x0, r.x1, static_cast<uint8_t *>(out));
    };
    return image;
}

// The texture as palette indices when the colour table has at most 256
// colours (a third of the bytes to compress), else as colours.
BILImage textureImage(Region r)
{
    const ColorLut colors = colorLut(TextureColor);
    std::unordered_map<TAlphaColor, uint8_t> index;
    std::vector<TAlphaColor> palette;
    std::vector<uint8_t> indices(colors.size());
    for (size_t h = 0; h < colors.size() && palette.size() <= 256; ++h) {
        const auto [it, added] = index.try_emplace(colors[h], uint8_t(palette.size()));
        if (added) palette.push_back(colors[h]);
        indices[h] = it->second;
    }
    if (palette.size() <= 256) return indexedImage(std::move(palette), std::move(indices), r);

    BILImage image;
    image.width = r.x1 - r.x0;
    image.height = r.y1 - r.y0;
    image.opaque =
        std::all_of(colors.begin(), colors.end(), [](TAlphaColor c) { return c >> 24 == 0xFF; });
    image.rows = [colors, r](int j, void *out) {
        renderRow(colors, r.y0 + j, r.x0, r.x1, static_cast<TAlphaColor *>(out));
    };
    return image;
}

// The heightmap as grey levels: palette entry g is grey g.
BILImage heightmapImage(Region r)
{
    std::vector<TAlphaColor> greys(256);
    for (int g = 0; g < 256; ++g)
        greys[size_t(g)] = MakeColor(g, g, g);
    const ColorLut colors = colorLut(HeightColor);
    std::vector<uint8_t> levels(colors.size());
    std::transform(colors.begin(), colors.end(), levels.begin(),
                   [](TAlphaColor c) { return uint8_t(c); });
    return indexedImage(std::move(greys), std::move(levels), r);
}

bool gridUsable()
{
    return BILWidth > 0 && BILHeight > 0 && int64_t(BILWidth) * BILHeight <= BILCapacity;
}

// ---------------------------------------------------------------- loading

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

void applyHeaderLine(QByteArrayView line)
{
    enum Kind
    {
        Height,
        Width,
        NoData,
        OrderWord,  // little-endian when the line says "little_endian"
        OrderLetter // little-endian when the keyword is followed by I
    };
    struct Key
    {
        const char *name;
        Kind kind;
        qsizetype skip; // characters dropped before the number
    };
    // Tried in this order; the first key found anywhere decides the line.
    static const Key keys[] = {
        {"number_of_rows", Height, 15},
        {"number_of_columns", Width, 18},
        {"elev_m_missing_flag", NoData, 20},
        {"data_byte_order", OrderWord, 0},
        {"BYTEORDER", OrderLetter, 0},
        {"NROWS", Height, 5},
        {"NCOLS", Width, 5},
        {"NODATA", NoData, 6},
    };
    for (const Key &key : keys) {
        if (!line.contains(QByteArrayView(key.name))) continue;
        // Writers pad keywords to a column with spaces or tabs.
        QByteArray packed = line.toByteArray();
        packed.removeIf([](char c) { return c == ' ' || c == '\t'; });
        switch (key.kind) {
        case OrderWord:
            BILBigEndian = !line.contains("little_endian");
            break;
        case OrderLetter:
            BILBigEndian = !packed.contains("BYTEORDERI");
            break;
        default:
            (key.kind == Height  ? BILHeight
             : key.kind == Width ? BILWidth
                                 : BILNoData) =
                BILStrToInt(QByteArrayView(packed).sliced(std::min(key.skip, packed.size())));
        }
        return;
    }
}

void showError(const QString &text)
{
    if (BILShowError) BILShowError(text);
}

// Reads exactly the grid's bytes into BILRaw; throws, with BILRaw untouched,
// when the file cannot be opened or is too short.
void readSamples(const QString &path, int64_t count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw BILError(QStringLiteral("Cannot open the sample file \"%1\": %2")
                           .arg(native(path), file.errorString())
                           .toStdString());
    const int64_t needed = count * 2;
    if (file.size() < needed)
        throw BILError(QStringLiteral("The sample file \"%1\" is too short: %2 x %3 samples need "
                                      "%4 bytes, but it holds %5.")
                           .arg(native(path))
                           .arg(BILWidth)
                           .arg(BILHeight)
                           .arg(needed)
                           .arg(file.size())
                           .toStdString());
    char *target = reinterpret_cast<char *>(BILRaw);
    int64_t got = 0;
    while (got < needed) {
        const qint64 n = file.read(target + got, needed - got);
        if (n <= 0)
            throw BILError(
                QStringLiteral("Cannot read the sample file \"%1\": %2 of %3 bytes read (%4)")
                    .arg(native(path))
                    .arg(got)
                    .arg(needed)
                    .arg(n < 0 ? file.errorString() : QStringLiteral("end of file"))
                    .toStdString());
        got += n;
    }
}

// ---------------------------------------------------------------- smoothing

// Rounds to the nearest integer, halves to even, for |v| < 2^51: adding and
// taking away 1.5 * 2^52 leaves no fraction bits, and the default rounding
// mode breaks ties to even. Unlike std::nearbyint it compiles to two adds.
double roundHalfEven(double v)
{
    constexpr double magic = 6755399441055744.0;
    return (v + magic) - magic;
}

int16_t workingSample(int16_t raw, int32_t noData)
{
    return raw == noData ? int16_t(0) : raw;
}

// Box mean of the rows [yb, ye): running column sums over the window's rows,
// then a running sum along the row; missing samples count in neither. Sum
// holds (2 radius + 1)^2 samples of 16 bits.
template <typename Sum> void smoothBand(int radius, int yb, int ye)
{
    const int w = BILWidth, h = BILHeight;
    const int32_t noData = BILNoData;
    std::vector<Sum> colSum(static_cast<size_t>(w), 0), rowSum(static_cast<size_t>(w));
    std::vector<int32_t> colCount(static_cast<size_t>(w), 0), rowCount(static_cast<size_t>(w));
    const auto addRow = [&](int y, int sign) {
        const int16_t *row = BILRaw + int64_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const bool valid = row[x] != noData;
            colSum[size_t(x)] += sign * (valid ? row[x] : 0);
            colCount[size_t(x)] += sign * int32_t(valid);
        }
    };
    // Start one row early: the first step of the loop takes that row out again.
    for (int y = std::max(0, yb - radius - 1); y <= std::min(h - 1, yb + radius - 1); ++y)
        addRow(y, 1);
    for (int y = yb; y < ye; ++y) {
        if (y + radius < h) addRow(y + radius, 1);
        if (y - radius - 1 >= 0) addRow(y - radius - 1, -1);
        Sum sum = 0;
        int32_t count = 0;
        for (int x = 0; x < std::min(w, radius); ++x) {
            sum += colSum[size_t(x)];
            count += colCount[size_t(x)];
        }
        for (int x = 0; x < w; ++x) {
            if (x + radius < w) {
                sum += colSum[size_t(x + radius)];
                count += colCount[size_t(x + radius)];
            }
            if (x - radius - 1 >= 0) {
                sum -= colSum[size_t(x - radius - 1)];
                count -= colCount[size_t(x - radius - 1)];
            }
            rowSum[size_t(x)] = sum;
            rowCount[size_t(x)] = count;
        }
        // Kept apart from the running sums so that the divisions vectorise.
        int16_t *out = BILData + int64_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int32_t n = rowCount[size_t(x)];
            const double mean = roundHalfEven(double(rowSum[size_t(x)]) / double(n ? n : 1));
            out[x] = n ? int16_t(mean) : int16_t(0);
        }
    }
}

} // namespace

// ==================================================================== parse

int32_t BILStrToInt(QByteArrayView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (i < n && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) return 0;
    int64_t value = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * base + digit;
        if (value > int64_t(INT32_MAX) + 1) return 0;
    }
    value = negative ? -value : value;
    return value > INT32_MAX ? 0 : int32_t(value);
}

// ==================================================================== colours

TAlphaColor MakeColor(int red, int green, int blue)
{
    return 0xFF000000u | (uint32_t(red) & 0xFF) << 16 | (uint32_t(green) & 0xFF) << 8 |
           (uint32_t(blue) & 0xFF);
}

TAlphaColor TextureColor(int16_t height)
{
    return BILColorOf(height);
}

TAlphaColor HeightColor(int16_t height)
{
    const int d = height - BILMin;
    int g = 0;
    if (BILRange != 0) {
        const double v = double(d) / double(BILRange) * 255.0;
        g = v > 255 ? 255 : v < 0 ? 0 : int(std::nearbyint(v)); // halves to even
    }
    return MakeColor(g, g, g);
}

void ScanBILRange(int x0, int y0, int x1, int y1)
{
    if (x0 < 0 || y0 < 0 || x0 >= BILWidth || y0 >= BILHeight) {
        BILMin = BILMax = 0; // no corner to start from
        BILRange = 0;
        return;
    }
    int16_t lo = BILData[int64_t(y0) * BILWidth + x0], hi = lo;
    for (int y = y0; y < y1; ++y) {
        const int16_t *row = BILData + int64_t(y) * BILWidth;
        for (int x = x0; x < x1; ++x) {
            lo = std::min(lo, row[x]);
            hi = std::max(hi, row[x]);
        }
    }
    BILMin = lo;
    BILMax = hi;
    BILRange = uint32_t(hi - lo);
}

void RenderBIL(QImage &bitmap, BILColorFunc color, int x0, int y0, int x1, int y1)
{
    const int w = x1 - x0, h = y1 - y0;
    if (bitmap.width() != w || bitmap.height() != h || bitmap.format() != QImage::Format_ARGB32)
        bitmap = QImage(w, h, QImage::Format_ARGB32);
    if (w <= 0 || h <= 0) return;
    if (bitmap.isNull())
        throw BILError(
            QStringLiteral("Not enough memory for a %1 x %2 image.").arg(w).arg(h).toStdString());
    const ColorLut lut = colorLut(color);
    uchar *first = bitmap.bits();
    const qsizetype pitch = bitmap.bytesPerLine() / 4;
    forEachBand(h, [&](int jb, int je) {
        for (int j = jb; j < je; ++j)
            renderRow(lut, y0 + j, x0, x1, reinterpret_cast<TAlphaColor *>(first) + pitch * j);
    });
}

namespace {

// The running program's own file. Qt's applicationDirPath needs the
// application object, which does not exist yet when the table is read.
QString executablePath()
{
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return QString::fromWCharArray(buffer.data(), qsizetype(n));
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? QString() : QFile::decodeName(path.c_str());
#endif
}

QString installedColorTable()
{
    const QString program = executablePath();
    if (program.isEmpty()) return {};
    return QDir::cleanPath(QFileInfo(program).absolutePath() +
                           QStringLiteral("/" RELIEVA_DATA_FROM_BIN "/RELIEVA.txt"));
}

} // namespace

QString BILDefaultColorTable = installedColorTable();

void LoadColorTable()
{
    QFile file(QStringLiteral("RELIEVA.txt"));
    // Started from a desktop menu the working directory is the home folder,
    // which rarely holds a table of its own.
    if (!file.exists()) file.setFileName(BILDefaultColorTable);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return;
    ColorTable table{};
    bool first = true, anyLine = false;
    TAlphaColor current = 0xFF000000;
    int fillStart = -32768;
    try {
        forEachLine(file, [&](QByteArrayView line) {
            anyLine = true;
            const auto fields = splitFields(line);
            if (fields.size() != 4) {
                first = false;
                return;
            }
            const TAlphaColor color =
                MakeColor(BILStrToInt(fields[1]), BILStrToInt(fields[2]), BILStrToInt(fields[3]));
            if (first) {
                first = false;
                current = color;
                return;
            }
            // Thresholds beyond 16 bits are brought to the nearer end of the table.
            const int t = std::clamp(BILStrToInt(fields[0]), -32768, 32767);
            fillColors(table, fillStart, t, current);
            fillStart = t + 1;
            current = color;
        });
    } catch (const BILError &) {
        return; // unreadable: the table stays empty
    }
    if (!anyLine) return;
    fillColors(table, fillStart, 32767, current);
    std::copy(table.begin(), table.end(), BILColors);
}

// ==================================================================== loading

void OpenBILFile(const QString &path, QImage &preview)
{
    BILFileName = path;
    // A load that fails midway puts back the layout of the grid still held,
    // so that a later export reads the samples with their own layout.
    const Layout before = currentLayout();
    try {
        LoadBILFile(path, preview);
    } catch (...) {
        setLayout(before);
        throw;
    }
}

void LoadBILFile(const QString &path, QImage &preview)
{
    ReadBILHeader(path);
    if (BILWidth == 0) {
        const bool hgt = path.sliced(extensionStart(path)).toLower() == u".hgt";
        setLayout(hgt ? Layout{true, 1201, 1201, -32768} : Layout{false, 10800, 4800, -32768});
        if (BILAskLayout)
            BILAskLayout();
        else
            setLayout({false, -1, 0, -32768});
    }
    if (BILWidth == -1) {
        BILWidth = 0;
        return;
    }
    ReadBILData(path, preview);
}

void ReadBILHeader(const QString &path)
{
    setLayout({false, 0, 0, -500});
    const QString header = path.left(extensionStart(path)) + QStringLiteral(".hdr");
    if (!QFileInfo(header).isFile()) return;
    QFile file(header);
    if (!file.open(QIODevice::ReadOnly))
        throw BILError(QStringLiteral("Cannot open the header file \"%1\": %2")
                           .arg(native(header), file.errorString())
                           .toStdString());
    forEachLine(file, applyHeaderLine);
}

void ReadBILData(const QString &path, QImage &preview)
{
    if (BILWidth <= 0 || BILHeight <= 0) {
        showError(QStringLiteral("Width or Height is not correct."));
        return;
    }
    const int64_t count = int64_t(BILWidth) * BILHeight;
    if (count > BILCapacity) {
        showError(QStringLiteral("This file is too big."));
        return;
    }
    // Everything that can fail happens before BILData changes.
    QImage image(BILWidth, BILHeight, QImage::Format_ARGB32);
    if (image.isNull())
        throw BILError(QStringLiteral("Not enough memory for a %1 x %2 preview.")
                           .arg(BILWidth)
                           .arg(BILHeight)
                           .toStdString());
    readSamples(path, count);

    const bool swap = BILBigEndian;
    const int32_t noData = BILNoData;
    forEachBand(BILHeight, [&](int yb, int ye) {
        for (int64_t i = int64_t(yb) * BILWidth, end = int64_t(ye) * BILWidth; i < end; ++i) {
            const int16_t v = swap ? int16_t(qbswap(uint16_t(BILRaw[i]))) : BILRaw[i];
            BILRaw[i] = v;
            BILData[i] = workingSample(v, noData);
        }
    });
    RenderBIL(image, TextureColor, 0, 0, BILWidth, BILHeight);
    preview = std::move(image);
}

QString BILCaption()
{
    if (BILFileName.isEmpty()) return QStringLiteral("RELIEVA");
    return QStringLiteral("RELIEVA - ") + BILFileName.sliced(fileNameStart(BILFileName));
}

// ==================================================================== smoothing

void SmoothBIL(int radius)
{
    if (!gridUsable()) return;
    if (radius <= 0) {
        const int32_t noData = BILNoData;
        forEachBand(BILHeight, [&](int yb, int ye) {
            for (int64_t i = int64_t(yb) * BILWidth, end = int64_t(ye) * BILWidth; i < end; ++i)
                BILData[i] = workingSample(BILRaw[i], noData);
        });
        return;
    }
    // Beyond the grid's larger side a wider window takes in nothing more.
    const int reach = std::min(radius, std::max(BILWidth, BILHeight));
    forEachBand(BILHeight, [&](int yb, int ye) {
        if (reach <= 127) // (2 * 127 + 1)^2 * 32768 still fits 32 bits
            smoothBand<int32_t>(reach, yb, ye);
        else
            smoothBand<int64_t>(reach, yb, ye);
    });
}

// ==================================================================== export

void ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1, int y1)
{
    if (!gridUsable()) return;
    if (x0 < 0 || y0 < 0 || x1 > BILWidth || y1 > BILHeight || x0 > x1 || y0 > y1)
        throw BILError(QStringLiteral("The region %1, %2 - %3, %4 lies outside the %5 x %6 grid.")
                           .arg(x0)
                           .arg(y0)
                           .arg(x1)
                           .arg(y1)
                           .arg(BILWidth)
                           .arg(BILHeight)
                           .toStdString());
    if (x0 == x1 || y0 == y1) {
        showError(QStringLiteral("The selected region is empty."));
        return;
    }
    const qsizetype dot = extensionStart(fileName);
    const QString stem = fileName.left(dot) + u'.';
    const QString extension = fileName.sliced(dot);
    const BILImageType type = BILImageTypeOf(extension, fileName);

    SmoothBIL(radius);
    ScanBILRange(x0, y0, x1, y1);
    const Region region{x0, y0, x1, y1};

    // Both images are encoded at once; the texture is still written first.
    auto heightmap = std::async(std::launch::async,
                                [&] { return EncodeBILImage(type, heightmapImage(region)); });
    WriteBILImageFile(stem + QStringLiteral("-tx") + extension,
                      EncodeBILImage(type, textureImage(region)));
    WriteBILImageFile(stem + QStringLiteral("-ht") + extension, heightmap.get());
}
