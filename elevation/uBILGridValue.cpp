#include "elevation/uBILGridValue.h"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace bil {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

} // namespace

void FreeLarge::operator()(void *p) const
{
    ::operator delete(p, std::align_val_t(kHugePage));
}

void *largeMemory(size_t bytes)
{
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void *p = ::operator new(rounded, std::align_val_t(kHugePage));
#ifdef __linux__
    madvise(p, rounded, MADV_HUGEPAGE); // only advice: without it, small pages
#endif
    return p;
}

Grid Grid::ofWhole(int32_t width, int32_t height, int32_t noData, int16_t *wholeInto)
{
    Grid g;
    if (!wholeInto) {
        g.ownWhole = largeArray<int16_t>(size_t(width) * size_t(height));
        wholeInto = g.ownWhole.get();
    }
    g.view_ = {width, height, wholeInto, noData, nullptr};
    return g;
}

Grid Grid::ofReal(int32_t width, int32_t height)
{
    Grid g;
    g.ownReal = largeArray<float>(size_t(width) * size_t(height));
    // In whole metres (heightFrom) a missing float is the lowest height.
    g.view_ = {width, height, nullptr, BILHeightLowest, g.ownReal.get()};
    return g;
}

std::optional<Grid> Grid::ofMapped(std::unique_ptr<QFile> file, int32_t width, int32_t height,
                                   int32_t noData)
{
    const auto *samples = reinterpret_cast<const int16_t *>(
        file->map(0, qint64(width) * height * 2, QFileDevice::MapPrivateOption));
    if (!samples) return std::nullopt;
    Grid g;
    g.mapped = std::move(file);
    g.view_ = {width, height, samples, noData, nullptr};
    return g;
}

QString memoryText(int64_t bytes)
{
    constexpr double mib = 1024.0 * 1024.0;
    return bytes >= 1024 * mib
               ? QStringLiteral("%1 GB").arg(double(bytes) / (1024 * mib), 0, 'f', 1)
               : QStringLiteral("%1 MB").arg(double(bytes) / mib, 0, 'f', 0);
}

} // namespace bil
