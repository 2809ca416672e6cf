// Google Benchmark runner, plus two modes for scripts/bench-vs-gdal:
//   relieva_bench --write-grid FILE.bil        writes the benchmark grid with its header
//   relieva_bench --write-grid FILE.bil land|coast TILE.npy
//                                              writes a grid built from a real DEM tile
//                                              (a .npy of little-endian int16 rows)
//   relieva_bench --convert IN OUT RADIUS [BITS]
//                                              opens IN, exports the whole grid to OUT
//                                              (an 8- or 16-bit heightmap), prints
//                                              seconds and peak resident MB
//   relieva_bench --fill OUT.bil IN MAXDISTANCE
//                                              fills the voids of IN as far as MAXDISTANCE
//                                              cells, writes the heights as raw floats with
//                                              an ESRI header, prints the fill's seconds
#include "bench/terrain.h"
#include "elevation/uBILFill.h"
#include "elevation/uBILLoad.h"
#include "elevation/uFMXBILUtils.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>

namespace {

int convert(const char *in, const char *out, int radius, int bits)
{
    QDir::setCurrent(QStringLiteral(RELIEVA_SOURCE_DIR)); // the default colour table
    LoadColorTable();
    QElapsedTimer timer;
    timer.start();
    QImage preview;
    OpenBILFile(QString::fromLocal8Bit(in), preview);
    const double opened = timer.elapsed() / 1000.0;
    BILExportOptions options;
    options.heightmapBits = bits;
    ExportBIL(QString::fromLocal8Bit(out), radius, 0, 0, preview.width(), preview.height(),
              options);
    const double total = timer.elapsed() / 1000.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("open %.3f s, export %.3f s, total %.3f s, peak %.0f MB\n", opened, total - opened,
                total, usage.ru_maxrss / 1024.0);
    return preview.isNull() ? 1 : 0;
}

int fill(const char *out, const char *in, int maxDistance)
{
    const std::optional<bil::Grid> grid = bil::loadGrid(QString::fromLocal8Bit(in), {});
    if (!grid) return 1;
    QElapsedTimer timer;
    timer.start();
    const bil::Grid filled = bil::filledVoids(grid->view(), grid->geo, maxDistance);
    const double seconds = timer.elapsed() / 1000.0;
    // Uncompressed and without a place, as quick to write as GDAL's own
    // output; in the byte order of the machines the benchmarks run on.
    const std::string data = out, header = data.substr(0, data.rfind('.')) + ".hdr";
    std::ofstream(header) << "NROWS " << filled.height() << "\nNCOLS " << filled.width()
                          << "\nNBITS 32\nPIXELTYPE FLOAT\nBYTEORDER I\nLAYOUT BIL\n";
    std::ofstream samples(data, std::ios::binary);
    samples.write(
        reinterpret_cast<const char *>(filled.view().real),
        std::streamsize(sizeof(float) * size_t(filled.width()) * size_t(filled.height())));
    if (!samples) return 1;
    std::printf("fill %.3f s\n", seconds);
    return 0;
}

// The samples of a version 1 .npy holding a C-ordered 2-D array of '<i2'.
std::vector<int16_t> readNpyTile(const char *path, int &width, int &height)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 10 || bytes.compare(0, 8, "\x93NUMPY\x01\x00", 8) != 0)
        throw std::runtime_error(std::string(path) + ": not a version 1 .npy");
    const size_t start = 10 + (uint8_t(bytes[8]) | size_t(uint8_t(bytes[9])) << 8);
    const std::string head = bytes.substr(10, start - 10);
    const size_t shape = head.find("'shape': (");
    if (head.find("'<i2'") == std::string::npos ||
        head.find("'fortran_order': False") == std::string::npos || shape == std::string::npos ||
        std::sscanf(head.c_str() + shape, "'shape': (%d, %d)", &height, &width) != 2 ||
        width <= 0 || height <= 0 || bytes.size() < start + size_t(width) * size_t(height) * 2)
        throw std::runtime_error(std::string(path) + ": not rows of little-endian int16");
    std::vector<int16_t> tile(size_t(width) * size_t(height));
    for (size_t i = 0; i < tile.size(); ++i)
        tile[i] = int16_t(uint8_t(bytes[start + 2 * i]) | uint8_t(bytes[start + 2 * i + 1]) << 8);
    return tile;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window remembers folders; a benchmark's are not the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    if (argc == 3 && std::strcmp(argv[1], "--write-grid") == 0) {
        WriteBenchBIL(argv[2], MakeTerrain(10800, 4800));
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "--write-grid") == 0) {
        int width = 0, height = 0;
        const std::vector<int16_t> tile = readNpyTile(argv[4], width, height);
        WriteBenchBIL(argv[2],
                      MakeRealTerrain(tile, width, height, std::strcmp(argv[3], "coast") == 0));
        return 0;
    }
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--convert") == 0)
        return convert(argv[2], argv[3], std::atoi(argv[4]), argc == 6 ? std::atoi(argv[5]) : 8);
    if (argc == 5 && std::strcmp(argv[1], "--fill") == 0)
        return fill(argv[2], argv[3], std::atoi(argv[4]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
