#include "elevation/uBILGrid.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILReader.h"
#include "elevation/uBILText.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QtEndian>

#include <cstring>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// ESRI keywords beyond the four layout values, kept as written until used.
const QByteArrayList extendedKeys = {
    "NODATA_VALUE", "NBITS",         "PIXELTYPE",    "NBANDS",    "LAYOUT",    "SKIPBYTES",
    "BANDROWBYTES", "TOTALROWBYTES", "BANDGAPBYTES", "ULXMAP",    "ULYMAP",    "XDIM",
    "YDIM",         "XLLCORNER",     "YLLCORNER",    "XLLCENTER", "YLLCENTER", "CELLSIZE"};
const QByteArrayList esriKeys = {"NROWS", "NCOLS", "NODATA", "BYTEORDER"};

// The header's rules for the four layout values: each key is looked for
// anywhere in the line, in this order, and the first found decides.
void applyLayoutLine(QByteArrayView line, bil::GridLayout &layout)
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
        std::string_view name;
        Kind kind;
        // GLOBE keys stand before one separating character ("=" or ":"), ESRI
        // keys straight before the number once the blanks are gone.
        bool separated;
        qsizetype skip() const { return qsizetype(name.size()) + (separated ? 1 : 0); }
    };
    static constexpr Key keys[] = {
        {"number_of_rows", Height, true},
        {"number_of_columns", Width, true},
        {"elev_m_missing_flag", NoData, true},
        {"data_byte_order", OrderWord, false},
        {"BYTEORDER", OrderLetter, false},
        {"NROWS", Height, false},
        {"NCOLS", Width, false},
        {"NODATA", NoData, false},
    };
    for (const Key &key : keys) {
        if (!line.contains(QByteArrayView(key.name.data(), qsizetype(key.name.size())))) continue;
        // Writers pad keywords to a column with spaces or tabs.
        QByteArray packed = line.toByteArray();
        packed.removeIf([](char c) { return c == ' ' || c == '\t'; });
        switch (key.kind) {
        case OrderWord:
            layout.bigEndian = !line.contains("little_endian");
            break;
        case OrderLetter:
            layout.bigEndian = !packed.contains("BYTEORDERI");
            break;
        default: {
            const int32_t v =
                BILStrToInt(QByteArrayView(packed).sliced(std::min(key.skip(), packed.size())));
            if (key.kind == NoData)
                layout.noData = v;
            else
                (key.kind == Height ? layout.height : layout.width) = v;
        }
        }
        return;
    }
}

// ESRI keywords in any letter case, and those beyond the layout values, are
// taken by their first field; everything else goes to the layout rules.
void applyHeaderLine(QByteArrayView line, bil::Header &header)
{
    const auto fields = bil::splitFields(line);
    if (fields.size() >= 2) {
        const QByteArray key = fields[0].toUpper();
        const QByteArray value = fields[1].toUpper();
        if (extendedKeys.contains(key)) {
            header.values[key] = fields[1];
            if (key == "NODATA_VALUE") {
                const std::optional<double> v = bil::parseNumber(fields[1]);
                if (v && *v == std::trunc(*v) &&
                    std::abs(*v) <= std::numeric_limits<int32_t>::max())
                    header.layout.noData = int32_t(*v);
            }
            return;
        }
        if (key == "BYTEORDER" && (value == "LSBFIRST" || value == "MSBFIRST")) {
            header.layout.bigEndian = value == "MSBFIRST";
            return;
        }
        if (key == "NODATA") header.values[key] = fields[1];
        if (esriKeys.contains(key) && key != fields[0]) {
            QByteArray upper = line.toByteArray();
            const qsizetype at = upper.indexOf(fields[0]);
            upper.replace(at, key.size(), key);
            return applyLayoutLine(upper, header.layout);
        }
    }
    applyLayoutLine(line, header.layout);
}

QString headerPath(const QString &path)
{
    return path.left(bil::extensionStart(path)) + QStringLiteral(".hdr");
}

// The key that sets a size in text, as the text writes it, and what follows
// it on its line; an empty key where no line has one.
std::pair<QByteArray, QByteArray> sizeLine(const QByteArray &text,
                                           std::initializer_list<const char *> keys)
{
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray upper = line.toUpper();
        for (const char *key : keys) {
            const qsizetype at = upper.indexOf(QByteArray(key).toUpper());
            if (at < 0) continue;
            const qsizetype end = at + qsizetype(strlen(key));
            QByteArray value = line.mid(end).trimmed();
            if (value.startsWith('=') || value.startsWith(':')) value = value.mid(1).trimmed();
            return {line.mid(at, end - at), value.left(40)};
        }
    }
    return {};
}

// ---------------------------------------------------------------- samples

// The keywords of a header beyond the layout, as read, and the refusal of
// one that cannot be.
class Keys
{
public:
    explicit Keys(const bil::Header &header) : h(header) {}

    QByteArray operator[](const QByteArray &key) const { return h.values.value(key); }
    QByteArray value(const QByteArray &key, const QByteArray &fallback) const
    {
        return h.values.value(key, fallback);
    }
    bool floatSamples() const { return h.floatSamples; }

    [[noreturn]] void refuse(const QByteArray &key, const QByteArray &value,
                             const QString &why) const
    {
        throw BILError(QStringLiteral("The header \"%1\" gives %2 %3, which cannot be read: %4")
                           .arg(bil::nativePath(h.path), QString::fromLatin1(key),
                                QString::fromLatin1(value.left(40)), why)
                           .toStdString());
    }

    // A byte count or band count; refused unless a whole number from 0 to limit.
    int64_t count(const QByteArray &key, int64_t fallback, int64_t limit = int64_t(1) << 40) const
    {
        if (!h.values.contains(key)) return fallback;
        const QByteArray text = h.values.value(key);
        const std::optional<double> v = bil::parseNumber(text);
        if (!v || *v != std::trunc(*v) || *v < 0 || *v > double(limit))
            refuse(key, text, QStringLiteral("a whole number from 0 to %1 is needed.").arg(limit));
        return int64_t(*v);
    }

    std::optional<double> number(const char *key) const
    {
        return h.values.contains(key) ? bil::parseNumber(h.values.value(key)) : std::nullopt;
    }

private:
    const bil::Header &h;
};

bil::SampleType sampleType(const Keys &keys)
{
    const int64_t bits = keys.count("NBITS", keys.floatSamples() ? 32 : 16, 64);
    const QByteArray type = keys.value("PIXELTYPE", keys.floatSamples() && bits == 32 ? "FLOAT"
                                                    : bits == 8 ? "UNSIGNEDINT"
                                                                : "SIGNEDINT")
                                .toUpper();
    if (bits != 8 && bits != 16 && bits != 32)
        keys.refuse("NBITS", keys["NBITS"], QStringLiteral("samples of 8, 16 or 32 bits only."));
    if (type == "FLOAT") {
        if (bits != 32)
            keys.refuse("PIXELTYPE", type,
                        QStringLiteral("floating-point samples of 32 bits only."));
        return bil::SampleType::Float32;
    }
    if (type != "SIGNEDINT" && type != "UNSIGNEDINT")
        keys.refuse("PIXELTYPE", type, QStringLiteral("SIGNEDINT, UNSIGNEDINT or FLOAT only."));
    const bool sign = type == "SIGNEDINT";
    return bits == 8    ? (sign ? bil::SampleType::Int8 : bil::SampleType::UInt8)
           : bits == 16 ? (sign ? bil::SampleType::Int16 : bil::SampleType::UInt16)
                        : (sign ? bil::SampleType::Int32 : bil::SampleType::UInt32);
}

int bytesOf(bil::SampleType type)
{
    return bil::withSampleType(type, [](auto sample) { return int(sizeof sample); });
}

// Where band 1's samples lie in the file.
struct Placement
{
    int64_t skip, rowStride, pixelStride;
};

Placement placement(const Keys &keys, int bytes, int64_t width)
{
    const int64_t bands = keys.count("NBANDS", 1, 65536);
    if (bands < 1) keys.refuse("NBANDS", keys["NBANDS"], QStringLiteral("one band at least."));
    const QByteArray layout = keys.value("LAYOUT", "BIL").toUpper();
    const int64_t row = width * bytes;
    const int64_t skip = keys.count("SKIPBYTES", 0);
    keys.count("BANDGAPBYTES", 0); // lies after band 1, but must still make sense
    if (layout == "BIP") {
        const int64_t total = keys.count("TOTALROWBYTES", row * bands);
        if (total < row * bands)
            keys.refuse("TOTALROWBYTES", keys["TOTALROWBYTES"],
                        QStringLiteral("a row of %1 samples in %2 bands needs %3 bytes.")
                            .arg(QString::number(width), QString::number(bands),
                                 QString::number(row * bands)));
        return {skip, total, bytes * bands};
    }
    if (layout != "BIL" && layout != "BSQ")
        keys.refuse("LAYOUT", layout, QStringLiteral("BIL, BIP or BSQ only."));
    const int64_t bandRow = keys.count("BANDROWBYTES", row);
    if (bandRow < row)
        keys.refuse("BANDROWBYTES", keys["BANDROWBYTES"],
                    QStringLiteral("a row of %1 samples needs %2 bytes.")
                        .arg(QString::number(width), QString::number(row)));
    if (layout == "BSQ") return {skip, bandRow, bytes};
    const int64_t total = keys.count("TOTALROWBYTES", bandRow * bands);
    if (total < bandRow * (bands - 1) + row)
        keys.refuse("TOTALROWBYTES", keys["TOTALROWBYTES"],
                    QStringLiteral("%1 bands of %2 bytes a row need %3 bytes.")
                        .arg(QString::number(bands), QString::number(bandRow),
                             QString::number(bandRow * (bands - 1) + row)));
    return {skip, total, bytes};
}

template <typename T> T load(const char *p, bool swap)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return swap ? qbswap(v) : v;
}

template <> float load<float>(const char *p, bool swap)
{
    return std::bit_cast<float>(load<uint32_t>(p, swap));
}

// One row of band 1 into heights: 16-bit signed samples as they are, others
// as floats, the header's nodata marked missing.
template <typename T>
void convertRow(const char *in, int64_t stride, int width, bool swap, std::optional<double> noData,
                bil::Stored<T> *out)
{
    for (int x = 0; x < width; ++x, in += stride) {
        const T v = load<T>(in, swap);
        if constexpr (std::is_same_v<T, int16_t>)
            out[x] = v;
        else
            out[x] =
                noData && bil::isMissing(v, *noData) ? bil::missingReal : bil::realFrom(double(v));
    }
}

// Reads band 1 of the rows of path as placed, converting each row; missing
// where a sample is noData.
template <typename T>
void readPlaced(const QString &path, bil::SampleType kind, Placement at,
                const bil::GridLayout &layout, std::optional<double> noData, bil::Stored<T> *out,
                bil::Steps &steps)
{
    const int width = int(layout.width), height = int(layout.height), bytes = bytesOf(kind);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw BILError(QStringLiteral("Cannot open the sample file \"%1\": %2")
                           .arg(bil::nativePath(path), file.errorString())
                           .toStdString());
    const int64_t span = (width - 1) * at.pixelStride + bytes;
    const int64_t size = file.size();
    if (size < at.skip + span ||
        (height > 1 && (size - at.skip - span) / (height - 1) < at.rowStride))
        throw BILError(
            QStringLiteral("The sample file \"%1\" is too short for the %2 x %3 grid its header "
                           "describes: it holds %4 bytes.")
                .arg(bil::nativePath(path), QString::number(width), QString::number(height),
                     QString::number(size))
                .toStdString());
    std::vector<char> row(static_cast<size_t>(span));
    for (int y = 0; y < height; ++y) {
        if (!file.seek(at.skip + y * at.rowStride) || file.read(row.data(), span) != span)
            throw BILError(QStringLiteral("Cannot read the sample file \"%1\": %2")
                               .arg(bil::nativePath(path), file.errorString())
                               .toStdString());
        convertRow<T>(row.data(), at.pixelStride, width, layout.bigEndian, noData,
                      out + int64_t(y) * width);
        steps.advance(width);
    }
}

} // namespace

void ReadBILHeader(const QString &path)
{
    const bil::GridLayout layout = bil::readHeader(path).layout;
    BILBigEndian = layout.bigEndian;
    BILWidth = int32_t(layout.width);
    BILHeight = int32_t(layout.height);
    BILNoData = layout.noData;
}

namespace bil {

std::optional<BILGeoReference> srtmGeoReference(const QString &path, int64_t width, int64_t height)
{
    static const QRegularExpression name(QStringLiteral("^([NS])(\\d{1,2})([EW])(\\d{1,3})"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = name.match(path.sliced(bil::fileNameStart(path)));
    if (!m.hasMatch() || width < 2 || height < 2) return std::nullopt;
    const double lat = m.captured(2).toInt() * (m.captured(1).toUpper() == u"S" ? -1 : 1);
    const double lon = m.captured(4).toInt() * (m.captured(3).toUpper() == u"W" ? -1 : 1);
    const double dx = 1.0 / double(width - 1), dy = 1.0 / double(height - 1);
    return BILGeoReference{lon - dx / 2, lat + 1 + dy / 2, dx, dy, true};
}

Header readHeader(const QString &path)
{
    Header header;
    header.layout = {false, 0, 0, -500};
    header.path = headerPath(path);
    header.floatSamples = path.sliced(bil::extensionStart(path)).toLower() == u".flt";
    if (!QFileInfo(header.path).isFile()) return header;
    QFile file(header.path);
    if (!file.open(QIODevice::ReadOnly))
        throw BILError(QStringLiteral("Cannot open the header file \"%1\": %2")
                           .arg(bil::nativePath(header.path), file.errorString())
                           .toStdString());
    bil::forEachLine(file, [&](QByteArrayView line) { applyHeaderLine(line, header); });
    return header;
}

bool geographicProjection(const QString &path)
{
    QFile prj(path.left(bil::extensionStart(path)) + QStringLiteral(".prj"));
    return prj.open(QIODevice::ReadOnly) && prj.read(4096).trimmed().toUpper().startsWith("GEOGCS");
}

std::optional<GridSource> headerSource(const QString &path, const Header &header)
{
    const Keys keys(header);
    const GridLayout &layout = header.layout;
    const bil::SampleType kind = sampleType(keys);
    const Placement at = placement(keys, bytesOf(kind), layout.width);
    if (kind == bil::SampleType::Int16 && at.skip == 0 && at.pixelStride == 2 &&
        at.rowStride == layout.width * 2)
        return std::nullopt;
    GridSource source;
    source.width = layout.width;
    source.height = layout.height;
    source.noData = kind == bil::SampleType::Int16 ? layout.noData : BILHeightLowest;
    source.bigEndian = layout.bigEndian;
    source.geo = headerGeoReference(path, header);
    source.wholeSamples = kind == bil::SampleType::Int16;
    const std::optional<double> noData =
        kind == bil::SampleType::Int16
            ? std::nullopt
            : bil::parseNumber(keys.value("NODATA_VALUE", keys["NODATA"]));
    source.read = [path, kind, at, layout, noData](int16_t *whole, float *real,
                                                   const bil::CellRegion &, int,
                                                   bil::Steps &steps) {
        bil::withSampleType(kind, [&](auto sample) {
            using T = decltype(sample);
            readPlaced<T>(path, kind, at, layout, noData, bil::storeFor<T>(whole, real), steps);
        });
    };
    return source;
}

std::optional<BILGeoReference> headerGeoReference(const QString &path, const Header &header)
{
    const Keys keys(header);
    const bool geographic = bil::geographicProjection(path);
    if (const auto ulx = keys.number("ULXMAP"), uly = keys.number("ULYMAP"); ulx && uly) {
        const double dx = keys.number("XDIM").value_or(1), dy = keys.number("YDIM").value_or(1);
        return BILGeoReference{*ulx - dx / 2, *uly + dy / 2, dx, dy, geographic};
    }
    const auto cell = keys.number("CELLSIZE");
    const auto xc = keys.number("XLLCORNER"), yc = keys.number("YLLCORNER");
    const auto xm = keys.number("XLLCENTER"), ym = keys.number("YLLCENTER");
    if (cell && (xc || xm) && (yc || ym)) {
        const double left = xc ? *xc : *xm - *cell / 2;
        const double bottom = yc ? *yc : *ym - *cell / 2;
        return BILGeoReference{left, bottom + double(header.layout.height) * *cell, *cell, *cell,
                               geographic};
    }
    if (path.sliced(bil::extensionStart(path)).toLower() == u".hgt")
        return srtmGeoReference(path, header.layout.width, header.layout.height);
    return std::nullopt;
}

std::optional<QString> headerLayoutProblem(const QString &path)
{
    const QString header = headerPath(path);
    const QFileInfo info(header);
    if (!info.exists() && !info.isSymLink()) return std::nullopt;
    const QString name = bil::nativePath(header);
    if (info.isDir())
        return QStringLiteral("The header \"%1\" cannot be read: it is a folder.").arg(name);
    QFile file(header);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The header \"%1\" cannot be read: %2").arg(name, file.errorString());
    const QByteArray text = file.read(1 << 20);
    if (text.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("The header \"%1\" starts with a UTF-8 byte-order mark, which hides "
                              "its first key: save it without one.")
            .arg(name);

    // The sizes as the layout rules read them.
    const GridLayout layout = readHeader(path).layout;
    const struct
    {
        int64_t size;
        std::initializer_list<const char *> keys;
        const char *what;
    } checks[] = {{layout.width, {"NCOLS", "number_of_columns"}, "columns"},
                  {layout.height, {"NROWS", "number_of_rows"}, "rows"}};
    for (const auto &check : checks) {
        if (check.size > 0) continue;
        const auto [key, value] = sizeLine(text, check.keys);
        if (key.isEmpty())
            return QStringLiteral("The header \"%1\" gives no %2: it needs the number of %3.")
                .arg(name, QString::fromLatin1(*check.keys.begin()),
                     QString::fromLatin1(check.what));
        return QStringLiteral("The header \"%1\" gives %2 %3, which cannot be read: a whole "
                              "number of %4 from 1 to 2147483647 is needed.")
            .arg(name, QString::fromLatin1(key), QString::fromLatin1(value),
                 QString::fromLatin1(check.what));
    }
    return std::nullopt;
}

} // namespace bil
