#include "elevation/uBILPaths.h"
#include "elevation/uBILReader.h"
#include "elevation/uBILText.h"

#include <QFile>
#include <QHash>

namespace bil {
namespace {

// No number a grid holds needs more characters than this; a longer word is
// refused rather than kept.
constexpr qsizetype maxWordLength = 64;

const QByteArrayList headerKeys = {"NCOLS",     "NROWS",       "XLLCORNER", "XLLCENTER",
                                   "YLLCORNER", "YLLCENTER",   "CELLSIZE",  "DX",
                                   "DY",        "NODATA_VALUE"};

[[noreturn]] void refuse(const QString &path, qint64 line, const QString &what)
{
    throw BILError(QStringLiteral("The ASCII grid \"%1\" cannot be read: line %2 %3")
                       .arg(nativePath(path), QString::number(line), what)
                       .toStdString());
}

// Hands each blank-separated word of the file to word(text, line) until it
// returns false; a word is cut at maxWordLength + 1 characters.
template <typename Word> void forEachWord(QFile &file, Word word)
{
    char buffer[65536];
    QByteArray pending;
    qint64 line = 1, got;
    while ((got = file.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c > 32) {
                if (pending.size() <= maxWordLength) pending.append(c);
                continue;
            }
            if (!pending.isEmpty()) {
                if (!word(QByteArrayView(pending), line)) return;
                pending.clear();
            }
            if (c == '\n') ++line;
        }
    }
    if (got < 0)
        throw BILError(QStringLiteral("Cannot read \"%1\": %2")
                           .arg(nativePath(file.fileName()), file.errorString())
                           .toStdString());
    if (!pending.isEmpty()) word(QByteArrayView(pending), line);
}

struct AsciiHeader
{
    QHash<QByteArray, double> values;
    qint64 words = 0; // the header's words, skipped before the values
    qint64 line = 1;  // where the values start
};

// The keywords and their values up to the first word that is no keyword.
AsciiHeader readAsciiHeader(QFile &file, const QString &path)
{
    AsciiHeader header;
    QByteArray key;
    forEachWord(file, [&](QByteArrayView word, qint64 line) {
        if (key.isEmpty()) {
            const QByteArray upper = word.toByteArray().toUpper();
            if (!headerKeys.contains(upper)) {
                header.line = line;
                return false;
            }
            key = upper;
        } else {
            const std::optional<double> v = parseNumber(word);
            if (!v)
                refuse(path, line,
                       QStringLiteral("gives %1 no number.").arg(QString::fromLatin1(key)));
            header.values[key] = *v;
            key.clear();
        }
        header.words++;
        return true;
    });
    return header;
}

} // namespace

std::optional<GridSource> asciiGridSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // An ASCII grid starts with one of its keywords, in any letter case.
    const QByteArray start = file.read(32).trimmed().toUpper();
    if (!std::any_of(headerKeys.begin(), headerKeys.end(), [&](const QByteArray &key) {
            return start.startsWith(key) && start.size() > key.size() && start[key.size()] <= ' ';
        }))
        return std::nullopt;
    file.seek(0);
    const AsciiHeader header = readAsciiHeader(file, path);
    // Sizes beyond the capacity are the open routine's to refuse.
    const auto whole = [&](const char *key) -> int64_t {
        const double v = header.values.value(key, 0);
        if (v != std::trunc(v) || v < 0 || v > 1e12)
            throw BILError(QStringLiteral("The ASCII grid \"%1\" gives %2 %3, which is no size "
                                          "of a grid.")
                               .arg(nativePath(path), QString::fromLatin1(key), QString::number(v))
                               .toStdString());
        return int64_t(v);
    };

    GridSource source;
    source.width = whole("NCOLS");
    source.height = whole("NROWS");
    const auto &v = header.values;
    const double dx = v.value("CELLSIZE", v.value("DX", 0)),
                 dy = v.value("CELLSIZE", v.value("DY", 0));
    const bool corner = v.contains("XLLCORNER") && v.contains("YLLCORNER");
    const bool centre = v.contains("XLLCENTER") && v.contains("YLLCENTER");
    if (dx > 0 && dy > 0 && (corner || centre)) {
        const double left = corner ? v["XLLCORNER"] : v["XLLCENTER"] - dx / 2;
        const double bottom = corner ? v["YLLCORNER"] : v["YLLCENTER"] - dy / 2;
        source.geo = BILGeoReference{left, bottom + double(source.height) * dy, dx, dy,
                                     geographicProjection(path)};
    }
    const std::optional<double> noData =
        v.contains("NODATA_VALUE") ? std::optional(v["NODATA_VALUE"]) : std::nullopt;
    source.wholeSamples = false;
    source.read = [path, header, noData, width = source.width, height = source.height](
                      int16_t *, float *out, const CellRegion &, int, Steps &steps) {
        QFile values(path);
        if (!values.open(QIODevice::ReadOnly))
            throw BILError(QStringLiteral("Cannot open \"%1\": %2")
                               .arg(nativePath(path), values.errorString())
                               .toStdString());
        const int64_t count = width * height;
        int64_t skip = header.words, n = 0;
        qint64 lastLine = header.line;
        forEachWord(values, [&](QByteArrayView word, qint64 line) {
            lastLine = line;
            if (skip > 0) {
                --skip;
                return true;
            }
            const std::optional<double> h =
                word.size() <= maxWordLength ? parseNumber(word) : std::nullopt;
            if (!h)
                refuse(path, line,
                       QStringLiteral("holds \"%1\", which is not a number.")
                           .arg(QString::fromLatin1(
                               word.first(std::min(word.size(), maxWordLength)))));
            out[n] = noData && *h == *noData ? missingReal : realFrom(*h);
            if (++n % width == 0) steps.advance(width);
            return n < count;
        });
        if (n < count)
            refuse(path, lastLine,
                   QStringLiteral("ends the values: %1 x %2 cells need %3, the file holds %4.")
                       .arg(QString::number(width), QString::number(height), QString::number(count),
                            QString::number(n)));
    };
    return source;
}

} // namespace bil
