// Opening GeoTIFF files as users get them, written by GDAL from the synthetic
// terrain: a Copernicus-style float tile and a full-capacity 16-bit grid
// (BM_OpenBILFile opens the same grid as BIL).
#include "bench/terrain.h"
#include "elevation/uFMXBILUtils.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <stdexcept>

namespace {

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

void gdalTranslate(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("gdal_translate"), QStringList{QStringLiteral("-q")} + arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        throw std::runtime_error("gdal_translate failed (scripts/setup installs gdal-bin): " +
                                 process.readAllStandardError().toStdString());
}

// A 1-arc-second tile of 3600 x 3600 float heights with centimetre detail, as
// Copernicus' 30 m model ships it: Deflate with the floating-point predictor
// in 1024 x 1024 tiles.
QString floatTile()
{
    static const QString tif = [] {
        const int side = 3600;
        const std::vector<int16_t> terrain = MakeTerrain(side, side);
        std::vector<float> samples(terrain.size());
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = terrain[i] == kTerrainNoData ? float(kTerrainNoData)
                                                      : float(terrain[i]) + float(i % 97) / 97.0f;
        const QString bil = folder().filePath(QStringLiteral("tile.bil"));
        std::ofstream(QFile::encodeName(folder().filePath(QStringLiteral("tile.hdr"))).constData())
            << "BYTEORDER I\nLAYOUT BIL\nNROWS " << side << "\nNCOLS " << side
            << "\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\nNODATA " << kTerrainNoData
            << "\nULXMAP 11.000138888888889\nULYMAP 47.999861111111111\n"
               "XDIM 0.000277777777778\nYDIM 0.000277777777778\n";
        std::ofstream(QFile::encodeName(bil).constData(), std::ios::binary)
            .write(reinterpret_cast<const char *>(samples.data()),
                   std::streamsize(samples.size() * sizeof(float)));
        const QString out = folder().filePath(QStringLiteral("tile.tif"));
        gdalTranslate({"-a_srs", "EPSG:4326", "-co", "TILED=YES", "-co", "BLOCKXSIZE=1024", "-co",
                       "BLOCKYSIZE=1024", "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=3", bil,
                       out});
        return out;
    }();
    return tif;
}

// The full-capacity benchmark grid (10800 x 4800), plain 16-bit GeoTIFF in strips.
QString int16Grid()
{
    static const QString tif = [] {
        const QString out = folder().filePath(QStringLiteral("grid.tif"));
        gdalTranslate({"-of", "GTiff", BenchGridFile(), out});
        return out;
    }();
    return tif;
}

void openEach(benchmark::State &state, const QString &file)
{
    QDir::setCurrent(QStringLiteral(RELIEVA_SOURCE_DIR));
    LoadColorTable();
    for (auto _ : state) {
        QImage preview;
        OpenBILFile(file, preview);
        benchmark::DoNotOptimize(preview.constBits());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(BILWidth) * BILHeight);
}

void BM_OpenTiffFloatTile(benchmark::State &state)
{
    openEach(state, floatTile());
}

void BM_OpenTiffInt16Grid(benchmark::State &state)
{
    openEach(state, int16Grid());
}

} // namespace

BENCHMARK(BM_OpenTiffFloatTile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenTiffInt16Grid)->Unit(benchmark::kMillisecond);
