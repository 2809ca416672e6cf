#pragma once

// The zlib stream of a PNG's filtered rows, compressed in bands of about 1 MB
// on several threads: each band is deflated on its own and ends on a byte boundary
// (a sync flush), so that the bands joined in order make one valid stream,
// whose Adler-32 is combined from the bands'.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace bil {

struct CompressedBand
{
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// The pieces of the zlib stream, in order: the header, the bands, the
// Adler-32. render(y, bytes) writes row y's stride bytes; with up, rows take
// PNG's Up filter, else none. render is called from up to threads threads at
// once, for different rows.
std::vector<CompressedBand>
compressPngRows(int height, size_t stride, bool up,
                const std::function<void(int y, uint8_t *bytes)> &render, int threads);

} // namespace bil
