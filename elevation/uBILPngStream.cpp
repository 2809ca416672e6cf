#include "elevation/uBILPngStream.h"

#include "elevation/uBILBands.h"
#include "elevation/uBILTypes.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <string>

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
    CompressedBand deflated;
    uint32_t adler = 1;
    size_t length = 0; // uncompressed
};

// One core's compressor, reused from band to band. ISA-L's level 1 deflates
// these rows fastest at about libdeflate's level 1 sizes, and unlike
// libdeflate it can end a run of blocks without ending the stream.
class BandDeflater
{
public:
    BandDeflater(size_t stride, bool up, const std::function<void(int, uint8_t *)> &render)
        : stride(stride), up(up), render(render),
          chunkRows(std::max<size_t>(1, kChunkBytes / (stride + 1))),
          chunk(chunkRows * (stride + 1)), previous(stride), current(stride)
    {
    }

    Band deflate(int yb, int ye, bool last)
    {
        Band band;
        band.length = (stride + 1) * size_t(ye - yb);
        capacity = band.length + band.length / 8 + 4096;
        band.deflated.bytes.reset(new uint8_t[capacity]);
        isal_deflate_init(stream.get());
        stream->level = 1;
        stream->level_buf = levelBuffer.get();
        stream->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        stream->next_out = band.deflated.bytes.get();
        stream->avail_out = uint32_t(std::min<size_t>(capacity, UINT32_MAX));
        if (up && yb > 0)
            render(yb - 1, previous.data());
        else
            std::fill(previous.begin(), previous.end(), 0);
        for (int y = yb; y < ye;) {
            const int rows = int(std::min<size_t>(chunkRows, size_t(ye - y)));
            for (int r = 0; r < rows; ++r)
                filter(y + r, chunk.data() + (stride + 1) * size_t(r));
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
        band.deflated.size = stream->total_out;
        return band;
    }

private:
    void filter(int y, uint8_t *line)
    {
        line[0] = up ? 2 : 0;
        if (!up) return render(y, line + 1);
        render(y, current.data());
        for (size_t i = 0; i < stride; ++i)
            line[1 + i] = uint8_t(current[i] - previous[i]);
        previous.swap(current);
    }

    // Compresses all the input given, making room for the output as needed.
    void run(CompressedBand &out)
    {
        do {
            if (stream->avail_out == 0) {
                const size_t written = stream->total_out;
                capacity *= 2;
                std::unique_ptr<uint8_t[]> larger(new uint8_t[capacity]);
                memcpy(larger.get(), out.bytes.get(), written);
                out.bytes = std::move(larger);
                stream->next_out = out.bytes.get() + written;
                stream->avail_out = uint32_t(std::min<size_t>(capacity - written, UINT32_MAX));
            }
            if (const int status = isal_deflate(stream.get()); status != COMP_OK)
                throw BILError("The PNG compressor failed (" + std::to_string(status) + ").");
        } while (stream->avail_in > 0 || stream->avail_out == 0);
    }

    const size_t stride;
    const bool up;
    const std::function<void(int, uint8_t *)> &render;
    const size_t chunkRows;
    std::vector<uint8_t> chunk, previous, current;
    std::unique_ptr<isal_zstream> stream = std::make_unique<isal_zstream>();
    std::unique_ptr<uint8_t[]> levelBuffer{new uint8_t[ISAL_DEF_LVL1_DEFAULT]};
    size_t capacity = 0;
};

CompressedBand bigEndian32(uint32_t v)
{
    CompressedBand piece{std::unique_ptr<uint8_t[]>(new uint8_t[4]), 4};
    for (int i = 0; i < 4; ++i)
        piece.bytes[size_t(i)] = uint8_t(v >> (24 - 8 * i));
    return piece;
}

} // namespace

std::vector<CompressedBand> compressPngRows(int height, size_t stride, bool up,
                                            const std::function<void(int, uint8_t *)> &render,
                                            int threads)
{
    const int bandRows =
        int(std::clamp<size_t>(kBandBytes / (stride + 1), 1, size_t(std::max(height, 1))));
    const int count = (height + bandRows - 1) / bandRows;
    std::vector<Band> bands(static_cast<size_t>(count));
    shareTasks(
        count,
        [&](const auto &next) {
            BandDeflater deflater(stride, up, render);
            for (int b; (b = next()) >= 0;)
                bands[size_t(b)] = deflater.deflate(
                    b * bandRows, std::min(height, (b + 1) * bandRows), b == count - 1);
        },
        threads);

    std::vector<CompressedBand> pieces;
    pieces.push_back(
        {std::unique_ptr<uint8_t[]>(new uint8_t[2]{0x78, 0x01}), 2}); // 32 KB window, fastest
    uint32_t adler = 1;
    for (Band &band : bands) {
        adler = adlerJoin(adler, band.adler, band.length);
        pieces.push_back(std::move(band.deflated));
    }
    pieces.push_back(bigEndian32(adler));
    return pieces;
}

} // namespace bil
