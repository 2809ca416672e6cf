#pragma once

// GDAL's command-line tools as the independent writer and reader of the files
// the tests open and write: run a tool, and what gdalinfo says of a file.

#include "tests/fileBytes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>

// Runs command (a tool and its arguments) in folder, or the current one when
// empty, with input on its standard input; gives what it printed. A tool that
// is missing or fails fails the test: scripts/setup installs them.
inline QByteArray runTool(const QStringList &command, const QString &folder = {},
                          const QByteArray &input = {})
{
    QProcess process;
    if (!folder.isEmpty()) process.setWorkingDirectory(folder);
    process.start(command.first(), command.mid(1));
    if (!process.waitForStarted(-1)) {
        ADD_FAILURE() << command.first().toStdString() << " did not start ("
                      << process.errorString().toStdString() << "); scripts/setup installs it";
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << command.join(u' ').toStdString() << '\n'
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput();
}

// What gdalinfo says about a file's first band and its place.
struct GdalInfo
{
    int width = 0, height = 0;
    QString driver;               // GDAL's short name, such as "GTiff" or "AAIGrid"
    QString type;                 // band 1's sample type, such as "Int16"
    std::optional<double> noData; // NaN where gdalinfo gives a word such as "nan"
    std::optional<std::array<double, 6>> geoTransform;
    bool geographic = false;
};

inline GdalInfo gdalInfo(const QString &file, const QString &folder = {})
{
    const QJsonObject info =
        QJsonDocument::fromJson(
            runTool({QStringLiteral("gdalinfo"), QStringLiteral("-json"), file}, folder))
            .object();
    GdalInfo view;
    const QJsonArray size = info[u"size"].toArray();
    view.width = size[0].toInt();
    view.height = size[1].toInt();
    view.driver = info[u"driverShortName"].toString();
    const QJsonObject band = info[u"bands"].toArray()[0].toObject();
    view.type = band[u"type"].toString();
    if (band.contains(u"noDataValue")) {
        const QJsonValue nd = band[u"noDataValue"];
        view.noData = nd.isDouble() ? nd.toDouble() : std::numeric_limits<double>::quiet_NaN();
    }
    if (info.contains(u"geoTransform")) {
        const QJsonArray gt = info[u"geoTransform"].toArray();
        view.geoTransform = {gt[0].toDouble(), gt[1].toDouble(), gt[2].toDouble(),
                             gt[3].toDouble(), gt[4].toDouble(), gt[5].toDouble()};
    }
    view.geographic =
        info[u"coordinateSystem"].toObject()[u"wkt"].toString().startsWith(u"GEOGCRS");
    return view;
}

// The gdal_translate command that writes an SRTM tile of side n, named for its
// lower-left corner (lon, lat), resampled from source.
inline QStringList srtmTile(const QString &source, const QString &file, int lon, int lat, int n)
{
    const double half = 0.5 / (n - 1);
    const auto num = [](double v) { return QString::number(v, 'g', 17); };
    return {"gdal_translate",
            "-q",
            "-of",
            "SRTMHGT",
            "-a_srs",
            "EPSG:4326",
            "-outsize",
            QString::number(n),
            QString::number(n),
            "-a_ullr",
            num(lon - half),
            num(lat + 1 + half),
            num(lon + 1 + half),
            num(lat - half),
            source,
            file};
}
