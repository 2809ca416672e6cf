#include "elevation/uBILText.h"

#include "elevation/uBILPaths.h"

#include "elevation/uFMXBILUtils.h"

#include <charconv>

namespace bil {

void forEachLine(QFile &file, const std::function<void(QByteArrayView)> &line)
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
                           .arg(bil::nativePath(file.fileName()), file.errorString())
                           .toStdString());
    if (!pending.isEmpty()) line(QByteArrayView(pending));
}

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

std::optional<double> parseNumber(QByteArrayView text)
{
    const char *first = text.data(), *last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first; // from_chars takes no plus sign
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

} // namespace bil

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

QString BILHeightText(double metres)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, metres).ptr;
    return QString::fromLatin1(digits, end - digits);
}
