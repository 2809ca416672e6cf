#include "elevation/uBILExrWriter.h"

#include "elevation/uBILPaths.h"
#include "elevation/uBILTypes.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>

#include <cstring>
#include <vector>

namespace {

// The file's bytes in memory, so that the export writes them with its others.
class MemoryStream : public Imf::OStream
{
public:
    MemoryStream() : Imf::OStream("memory") {}

    void write(const char c[], int n) override
    {
        const qsizetype end = at + n;
        if (end > bytes.size()) bytes.resize(end);
        std::memcpy(bytes.data() + at, c, size_t(n));
        at = end;
    }
    uint64_t tellp() override { return uint64_t(at); }
    void seekp(uint64_t pos) override { at = qsizetype(pos); }

    QByteArray bytes;

private:
    qsizetype at = 0;
};

} // namespace

namespace bil {

QByteArray encodeExr(int width, int height, const std::function<void(int y, float *out)> &row,
                     const QString &path)
{
    std::vector<float> heights(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        row(y, heights.data() + size_t(y) * size_t(width));
    try {
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
        Imf::FrameBuffer frame;
        frame.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(heights.data()),
                                     sizeof(float), sizeof(float) * size_t(width)));
        MemoryStream stream;
        {
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frame);
            file.writePixels(height);
        }
        return std::move(stream.bytes);
    } catch (const std::exception &e) {
        throw BILError(QStringLiteral("Cannot write \"%1\": %2")
                           .arg(nativePath(path), QString::fromUtf8(e.what()))
                           .toStdString());
    }
}

} // namespace bil
