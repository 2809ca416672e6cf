#include "elevation/uBILGrid.h"
#include "elevation/uBILPaths.h"
#include "elevation/uBILText.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <utility>

TAlphaColor BILColors[BILHeightCount];
QString BILColorTableProblem;

namespace {

using ColorTable = std::array<TAlphaColor, BILHeightCount>;

void fillColors(ColorTable &table, int from, int to, TAlphaColor color)
{
    if (from <= to)
        std::fill(table.begin() + (from + BILHeightOffset),
                  table.begin() + (to + BILHeightOffset) + 1, color);
}

QString installedColorTable()
{
    const QString program = bil::executablePath();
    if (program.isEmpty()) return {};
    return QDir::cleanPath(QFileInfo(program).absolutePath() +
                           QStringLiteral("/" RELIEVA_DATA_FROM_BIN "/RELIEVA.txt"));
}

QString problem(const QString &path, const QString &what)
{
    return QStringLiteral("The colour table \"%1\" %2")
        .arg(bil::nativePath(QFileInfo(path).absoluteFilePath()), what);
}

} // namespace

TAlphaColor TextureColor(int16_t height)
{
    return BILColorOf(height);
}

QString &BILDefaultColorTable()
{
    static QString path = installedColorTable();
    return path;
}

// Started from a desktop menu the working directory is the home folder,
// which rarely holds a table of its own: hence the installed one.
QStringList BILColorTablePlaces()
{
    QStringList places{QStringLiteral("RELIEVA.txt")};
    if (!BILDefaultColorTable().isEmpty()) places << BILDefaultColorTable();
    return places;
}

void LoadColorTable()
{
    BILColorTableProblem.clear();
    for (const QString &path : BILColorTablePlaces()) {
        if (QFile::exists(path)) {
            LoadColorTable(path);
            return;
        }
    }
}

void LoadColorTable(const QString &path)
{
    BILColorTableProblem.clear();
    QFile file(path);
    // What cannot be read leaves the table as it was.
    const auto unreadable = [&] {
        BILColorTableProblem =
            problem(file.fileName(), QStringLiteral("cannot be read (%1): textures will be "
                                                    "transparent.")
                                         .arg(file.errorString()));
    };
    if (!file.open(QIODevice::ReadOnly)) return unreadable();
    ColorTable table{};
    bool first = true, anyLine = false, anyColor = false;
    TAlphaColor current = 0xFF000000;
    int fillStart = BILHeightLowest;
    try {
        bil::forEachLine(file, [&](QByteArrayView line) {
            anyLine = true;
            const auto fields = bil::splitFields(line);
            if (fields.size() != 4) {
                first = false;
                return;
            }
            anyColor = true;
            const TAlphaColor color =
                MakeColor(BILStrToInt(fields[1]), BILStrToInt(fields[2]), BILStrToInt(fields[3]));
            if (first) {
                first = false;
                current = color;
                return;
            }
            // Thresholds beyond 16 bits are brought to the nearer end of the table.
            const int t = std::clamp(BILStrToInt(fields[0]), BILHeightLowest, BILHeightHighest);
            fillColors(table, fillStart, t, current);
            fillStart = t + 1;
            current = color;
        });
    } catch (const BILError &) {
        return unreadable();
    }
    if (!anyLine) {
        BILColorTableProblem =
            problem(file.fileName(), QStringLiteral("is empty: textures will be transparent."));
        return;
    }
    if (!anyColor)
        BILColorTableProblem =
            problem(file.fileName(),
                    QStringLiteral(
                        "has no line of a height, red, green and blue: textures will be black."));
    fillColors(table, fillStart, BILHeightHighest, current);
    std::copy(table.begin(), table.end(), BILColors);
}

namespace bil {

void reportColorTableProblem(const std::function<void(const QString &)> &tell)
{
    if (BILColorTableProblem.isEmpty()) return;
    const QString text = std::exchange(BILColorTableProblem, QString());
    if (tell) tell(text);
}

} // namespace bil
