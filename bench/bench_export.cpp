// Loading, smoothing and export of a full-capacity grid (10800 x 4800).
#include "bench/terrain.h"
#include "elevation/uFMXBILUtils.h"
#include "tests/reference_smooth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

// The grid loaded into the globals, with the default colour table.
QString gridFile()
{
    static const bool colors = [] {
        QDir::setCurrent(QStringLiteral(RELIEVA_SOURCE_DIR));
        LoadColorTable();
        return true;
    }();
    (void)colors;
    return BenchGridFile();
}

void loadGrid()
{
    QImage preview;
    OpenBILFile(gridFile(), preview);
}

void BM_OpenBILFile(benchmark::State &state)
{
    gridFile();
    for (auto _ : state) {
        QImage preview;
        OpenBILFile(gridFile(), preview);
        benchmark::DoNotOptimize(preview.constBits());
    }
}

// The floor for a load: one read of the file and one colour lookup per sample
// into a new preview image.
void BM_OpenFloor(benchmark::State &state)
{
    gridFile();
    for (auto _ : state) {
        QFile file(gridFile());
        file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        file.read(reinterpret_cast<char *>(BILRaw), int64_t(BILCapacity) * 2);
        QImage preview(10800, 4800, QImage::Format_ARGB32);
        auto *out = reinterpret_cast<TAlphaColor *>(preview.bits());
        for (int64_t i = 0; i < BILCapacity; ++i)
            out[i] = BILColorOf(BILRaw[i]);
        benchmark::DoNotOptimize(preview.constBits());
    }
}

void BM_SmoothBIL(benchmark::State &state)
{
    loadGrid();
    for (auto _ : state)
        SmoothBIL(int(state.range(0)));
}

// The reference the fast smoothing must equal: every window summed directly.
void BM_SmoothDirect(benchmark::State &state)
{
    loadGrid();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReferenceSmooth(int(state.range(0))).data());
}

void exportGrid(benchmark::State &state, const char *extension)
{
    loadGrid();
    const QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out") + extension);
    for (auto _ : state)
        ExportBIL(out, int(state.range(0)), 0, 0, BILWidth, BILHeight);
    const QString stem = dir.filePath("out.");
    state.counters["texture_MB"] = QFileInfo(stem + "-tx" + extension).size() / 1e6;
    state.counters["heightmap_MB"] = QFileInfo(stem + "-ht" + extension).size() / 1e6;
}

void BM_ExportPNG(benchmark::State &state)
{
    exportGrid(state, ".png");
}
void BM_ExportBMP(benchmark::State &state)
{
    exportGrid(state, ".bmp");
}

} // namespace

BENCHMARK(BM_OpenBILFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OpenFloor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SmoothBIL)->Arg(0)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SmoothDirect)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportPNG)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportBMP)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(3);
