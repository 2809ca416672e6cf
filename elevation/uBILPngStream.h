#pragma once

// The zlib stream of a PNG's filtered rows, compressed in bands of about 1 MB
// on several threads: each band is deflated on its own and ends on a byte boundary
// (a sync flush), so that the bands joined in order make one valid stream,
// whose Adler-32 is combined from the bands'.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace bil {

// Compresses the rows of a PNG: render(first, count, bytes) writes rows
// first .. first + count - 1, stride bytes each, one after the other; with
// up, rows take PNG's Up filter, else none. render is called from up to
// threads threads at once, for different rows. deliver(bytes, size) takes
// the zlib stream's pieces in order (the header, each band, the Adler-32),
// one call at a time, each as soon as the pieces before it are out, so that
// only the bands still in work are held. What render or deliver throws is
// rethrown here.
void compressPngRows(int height, size_t stride, bool up,
                     const std::function<void(int first, int count, uint8_t *bytes)> &render,
                     const std::function<void(const uint8_t *bytes, size_t size)> &deliver,
                     int threads);

} // namespace bil
