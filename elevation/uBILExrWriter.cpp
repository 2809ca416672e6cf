#include "elevation/uBILExrWriter.h"

#include "elevation/uBILPaths.h"
#include "elevation/uBILTypes.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

// The export's file, written through the device and checked at every write.
// The library writes its last bytes while it closes, where it swallows
// errors, so the first failure is also kept for the caller.
class DeviceStream : public Imf::OStream
{
public:
    explicit DeviceStream(QIODevice &out) : Imf::OStream("device"), out(out), start(out.pos()) {}

    void write(const char c[], int n) override
    {
        for (qint64 done = 0; done < n;) {
            const qint64 written = out.write(c + done, n - done);
            if (written <= 0) fail();
            done += written;
        }
    }
    uint64_t tellp() override { return uint64_t(out.pos() - start); }
    void seekp(uint64_t pos) override
    {
        if (!out.seek(start + qint64(pos))) fail();
    }

    QString failure;

private:
    [[noreturn]] void fail()
    {
        if (failure.isEmpty()) failure = out.errorString();
        throw std::runtime_error(failure.toStdString());
    }

    QIODevice &out;
    const qint64 start;
};

// Scan lines go to the file this many at a time.
constexpr int kBandRows = 64;

} // namespace

namespace bil {

void writeExr(int width, int height,
              const std::function<void(int first, int count, float *heights)> &rows, QIODevice &out,
              const QString &path)
{
    const size_t stride = sizeof(float) * size_t(width);
    std::vector<float> band(size_t(width) * kBandRows);
    DeviceStream stream(out);
    const auto cannotWrite = [&](const QString &why) {
        throw BILError(QStringLiteral("Cannot write \"%1\": %2")
                           .arg(nativePath(path), stream.failure.isEmpty() ? why : stream.failure)
                           .toStdString());
    };
    try {
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file(stream, header);
        for (int first = 0; first < height; first += kBandRows) {
            const int count = std::min(kBandRows, height - first);
            rows(first, count, band.data());
            // The slice is addressed by the image's row numbers.
            Imf::FrameBuffer frame;
            frame.insert(
                "Y", Imf::Slice(Imf::FLOAT,
                                reinterpret_cast<char *>(band.data()) - ptrdiff_t(stride) * first,
                                sizeof(float), stride));
            file.setFrameBuffer(frame);
            file.writePixels(count);
        }
    } catch (const BILError &) {
        throw; // from rows
    } catch (const std::exception &e) {
        cannotWrite(QString::fromUtf8(e.what()));
    }
    if (!stream.failure.isEmpty()) cannotWrite(stream.failure);
}

} // namespace bil
