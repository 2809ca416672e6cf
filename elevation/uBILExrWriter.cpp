#include "elevation/uBILExrWriter.h"

#include "elevation/uBILPaths.h"

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

QByteArray encodeExr(const BILImage &image, const QString &path)
{
    if (!image.real)
        throw BILError(
            QStringLiteral("Cannot write \"%1\": EXR files hold heights in metres only.")
                .arg(nativePath(path))
                .toStdString());
    const size_t width = size_t(image.width);
    std::vector<float> heights(width * size_t(image.height));
    for (int y = 0; y < image.height; ++y)
        image.rows(y, heights.data() + size_t(y) * width);
    try {
        Imf::Header header(image.width, image.height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
        Imf::FrameBuffer frame;
        frame.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(heights.data()),
                                     sizeof(float), sizeof(float) * width));
        MemoryStream stream;
        {
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frame);
            file.writePixels(image.height);
        }
        return std::move(stream.bytes);
    } catch (const std::exception &e) {
        throw BILError(QStringLiteral("Cannot write \"%1\": %2")
                           .arg(nativePath(path), QString::fromUtf8(e.what()))
                           .toStdString());
    }
}

} // namespace bil
