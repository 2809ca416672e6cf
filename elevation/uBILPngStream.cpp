#include "elevation/uBILPngStream.h"

#include "elevation/uBILBands.h"
#include "elevation/uBILTypes.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bil {

namespace {

// About this many bytes of filtered rows make a band: enough that a band's
// fresh start costs little, few enough to keep both cores busy to the end.
constexpr size_t kBandBytes = size_t(1) << 20;

// Rows go to the compressor this many bytes at a time, straight from the
// cache they were filtered into.
constexpr size_t kChunkBytes = size_t(256) << 10;

// The Adler-32 of two runs of bytes one after the other, from theirs.
uint32_t adlerJoin(uint32_t first, uint32_t second, size_t secondLength)
{
    constexpr uint64_t mod = 65521;
    const uint64_t a1 = first & 0xFFFF, b1 = first >> 16, a2 = second & 0xFFFF, b2 = second >> 16;
    const uint64_t a = (a1 + a2 + mod - 1) % mod;
    const uint64_t b = (b1 + b2 + secondLength % mod * ((a1 + mod - 1) % mod)) % mod;
    return uint32_t(b << 16 | a);
}

struct Band
{
    std::unique_ptr<uint8_t[]> deflated;
    size_t size = 0;
    uint32_t adler = 1;
    size_t length = 0; // uncompressed
};

using Render = std::function<void(int first, int count, uint8_t *bytes)>;

// One core's compressor, reused from band to band. ISA-L's level 1 deflates
// these rows fastest at about libdeflate's level 1 sizes, and unlike
// libdeflate it can end a run of blocks without ending the stream.
class BandDeflater
{
public:
    BandDeflater(size_t stride, bool up, const Render &render)
        : stride(stride), up(up), render(render),
          chunkRows(std::max<size_t>(1, kChunkBytes / (stride + 1))),
          chunk(chunkRows * (stride + 1))
    {
    }

    Band deflate(int yb, int ye, bool last)
    {
        Band band;
        band.length = (stride + 1) * size_t(ye - yb);
        capacity = band.length + band.length / 8 + 4096;
        band.deflated.reset(new uint8_t[capacity]);
        isal_deflate_init(stream.get());
        stream->level = 1;
        stream->level_buf = levelBuffer.get();
        stream->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        stream->next_out = band.deflated.get();
        stream->avail_out = uint32_t(std::min<size_t>(capacity, UINT32_MAX));
        // The band's rows after the one above it, which the Up filter takes
        // from (zeros above the first).
        const int above = up && yb > 0 ? 1 : 0;
        pixels.resize(stride * size_t(ye - yb + 1));
        if (!above) std::fill_n(pixels.begin(), stride, 0);
        render(yb - above, ye - yb + above, pixels.data() + stride * size_t(1 - above));
        for (int y = yb; y < ye;) {
            const int rows = int(std::min<size_t>(chunkRows, size_t(ye - y)));
            for (int r = 0; r < rows; ++r)
                filter(pixels.data() + stride * size_t(y - yb + r),
                       chunk.data() + (stride + 1) * size_t(r));
            y += rows;
            const size_t bytes = (stride + 1) * size_t(rows);
            band.adler = libdeflate_adler32(band.adler, chunk.data(), bytes);
            stream->next_in = chunk.data();
            stream->avail_in = uint32_t(bytes);
            // The band's end: the last band ends the stream, the others a run
            // of blocks on a byte boundary.
            stream->flush = y == ye && !last ? SYNC_FLUSH : NO_FLUSH;
            stream->end_of_stream = y == ye && last;
            run(band.deflated);
        }
        band.size = stream->total_out;
        return band;
    }

private:
    // Filters the row after previous into line.
    void filter(const uint8_t *previous, uint8_t *line) const
    {
        const uint8_t *current = previous + stride;
        line[0] = up ? 2 : 0;
        if (!up) {
            std::copy_n(current, stride, line + 1);
            return;
        }
        for (size_t i = 0; i < stride; ++i)
            line[1 + i] = uint8_t(current[i] - previous[i]);
    }

    // Compresses all the input given, making room for the output as needed.
    void run(std::unique_ptr<uint8_t[]> &out)
    {
        do {
            if (stream->avail_out == 0) {
                const size_t written = stream->total_out;
                capacity *= 2;
                std::unique_ptr<uint8_t[]> larger(new uint8_t[capacity]);
                memcpy(larger.get(), out.get(), written);
                out = std::move(larger);
                stream->next_out = out.get() + written;
                stream->avail_out = uint32_t(std::min<size_t>(capacity - written, UINT32_MAX));
            }
            if (const int status = isal_deflate(stream.get()); status != COMP_OK)
                throw BILError("The PNG compressor failed (" + std::to_string(status) + ").");
        } while (stream->avail_in > 0 || stream->avail_out == 0);
    }

    const size_t stride;
    const bool up;
    const Render &render;
    const size_t chunkRows;
    std::vector<uint8_t> chunk, pixels;
    std::unique_ptr<isal_zstream> stream = std::make_unique<isal_zstream>();
    std::unique_ptr<uint8_t[]> levelBuffer{new uint8_t[ISAL_DEF_LVL1_DEFAULT]};
    size_t capacity = 0;
};

} // namespace

void compressPngRows(int height, size_t stride, bool up, const Render &render,
                     const std::function<void(const uint8_t *, size_t)> &deliver, int threads)
{
    const int bandRows =
        int(std::clamp<size_t>(kBandBytes / (stride + 1), 1, size_t(std::max(height, 1))));
    const int count = (height + bandRows - 1) / bandRows;
    const uint8_t header[2] = {0x78, 0x01}; // 32 KB window, fastest
    deliver(header, sizeof header);
    // Bands done ahead of one still in work wait here; the rest are out.
    std::vector<std::optional<Band>> waiting(static_cast<size_t>(count));
    std::mutex delivering;
    int nextOut = 0;
    uint32_t adler = 1;
    std::atomic<bool> failed{false};
    shareTasks(
        count,
        [&](const auto &next) {
            BandDeflater deflater(stride, up, render);
            try {
                for (int b; !failed && (b = next()) >= 0;) {
                    Band band = deflater.deflate(b * bandRows, std::min(height, (b + 1) * bandRows),
                                                 b == count - 1);
                    const std::lock_guard lock(delivering);
                    waiting[size_t(b)] = std::move(band);
                    for (; nextOut < count && waiting[size_t(nextOut)]; ++nextOut) {
                        const Band out = std::move(*waiting[size_t(nextOut)]);
                        waiting[size_t(nextOut)].reset();
                        adler = adlerJoin(adler, out.adler, out.length);
                        deliver(out.deflated.get(), out.size);
                    }
                }
            } catch (...) {
                failed = true; // the other threads stop at their next band
                throw;
            }
        },
        threads);
    const uint8_t tail[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8),
                             uint8_t(adler)};
    deliver(tail, sizeof tail);
}

} // namespace bil
