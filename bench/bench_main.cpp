// Google Benchmark runner, plus two modes for scripts/bench-vs-gdal:
//   relieva_bench --write-grid FILE.bil        writes the benchmark grid with its header
//   relieva_bench --convert IN OUT RADIUS      opens IN, exports the whole grid to OUT,
//                                              prints seconds and peak resident MB
#include "bench/terrain.h"
#include "elevation/uFMXBILUtils.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

int convert(const char *in, const char *out, int radius)
{
    QDir::setCurrent(QStringLiteral(RELIEVA_SOURCE_DIR)); // the default colour table
    LoadColorTable();
    QElapsedTimer timer;
    timer.start();
    QImage preview;
    OpenBILFile(QString::fromLocal8Bit(in), preview);
    const double opened = timer.elapsed() / 1000.0;
    ExportBIL(QString::fromLocal8Bit(out), radius, 0, 0, preview.width(), preview.height());
    const double total = timer.elapsed() / 1000.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("open %.3f s, export %.3f s, total %.3f s, peak %.0f MB\n", opened, total - opened,
                total, usage.ru_maxrss / 1024.0);
    return preview.isNull() ? 1 : 0;
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
        WriteTerrainBIL(argv[2]);
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "--convert") == 0)
        return convert(argv[2], argv[3], std::atoi(argv[4]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
