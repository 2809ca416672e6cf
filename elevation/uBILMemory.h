#pragma once

// Large buffers on huge pages where the system lends them: a first touch then
// faults in 2 MB at a time instead of 4 KB, which for the grid's hundreds of
// megabytes saves about as much time as a pass over them.

#include <QImage>

#include <cstddef>

namespace bil {

// Asks for huge pages under the whole 2 MB pages inside [begin, begin + bytes)
// not yet touched; does nothing where the system has no such advice.
void adviseHugePages(void *begin, size_t bytes);

// A width x height ARGB32 image on huge pages; a null image when there is no
// memory for it.
QImage newLargeImage(int width, int height);

} // namespace bil
