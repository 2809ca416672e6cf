#include "elevation/uBILGridValue.h"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace bil {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Room for count samples, not yet touched, in huge pages where the system
// gives them: a grid in 4 KB pages costs a page fault for every 2048 samples
// on its first touch. Throws std::bad_alloc when the memory cannot be had.
template <typename T> LargeArray<T> largeArray(size_t count)
{
    const size_t bytes = (count * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage;
    void *p = ::operator new(bytes, std::align_val_t(kHugePage));
#ifdef __linux__
    madvise(p, bytes, MADV_HUGEPAGE); // only advice: without it, small pages
#endif
    return LargeArray<T>(static_cast<T *>(p));
}

} // namespace

void FreeLarge::operator()(void *p) const
{
    ::operator delete(p, std::align_val_t(kHugePage));
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

QString memoryText(int64_t bytes)
{
    constexpr double mib = 1024.0 * 1024.0;
    return bytes >= 1024 * mib
               ? QStringLiteral("%1 GB").arg(double(bytes) / (1024 * mib), 0, 'f', 1)
               : QStringLiteral("%1 MB").arg(double(bytes) / mib, 0, 'f', 0);
}

} // namespace bil
