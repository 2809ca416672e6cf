#include "elevation/uBILMemory.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace bil {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

} // namespace

void adviseHugePages([[maybe_unused]] void *begin, [[maybe_unused]] size_t bytes)
{
#ifdef __linux__
    const auto first = (uintptr_t(begin) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (uintptr_t(begin) + bytes) & ~(kHugePage - 1);
    if (end > first) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#endif
}

QImage newLargeImage(int width, int height)
{
    const size_t bytes = size_t(width) * size_t(height) * 4;
    // aligned_alloc wants a multiple of the alignment.
    void *pixels = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) & ~(kHugePage - 1));
    if (!pixels) return {};
    adviseHugePages(pixels, bytes);
    return QImage(static_cast<uchar *>(pixels), width, height, qsizetype(width) * 4,
                  QImage::Format_ARGB32, std::free, pixels);
}

} // namespace bil
