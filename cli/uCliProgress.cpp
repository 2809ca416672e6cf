#include "cli/uCliProgress.h"

#include "elevation/uBILPaths.h"

#include <cmath>

bil::Progress CliProgressLine::progress()
{
    if (!out) return {};
    return [this](bil::Doing doing, const QString &file, double done) {
        const QByteArray line = QStringLiteral("%1 %2… %3 %")
                                    .arg(doing == bil::Doing::Reading ? QStringLiteral("Reading")
                                                                      : QStringLiteral("Writing"),
                                         file.sliced(bil::fileNameStart(file)),
                                         QString::number(int(std::floor(done * 100))))
                                    .toUtf8();
        // Drawn only when it changes: a band takes far less than a per cent.
        if (line != shown) {
            shown = line;
            // Back to the line's start, the new text, the rest of the old one wiped.
            std::fprintf(out, "\r%s\x1b[K", line.constData());
            std::fflush(out);
        }
        return true;
    };
}

void CliProgressLine::clear()
{
    if (!out || shown.isEmpty()) return;
    shown.clear();
    std::fputs("\r\x1b[K", out);
    std::fflush(out);
}
