#include "elevation/uBILPaths.h"

#include <QDir>
#include <QFile>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace bil {
namespace {

bool isPathSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/' || c == u':';
#else
    return c == u'/';
#endif
}

} // namespace

qsizetype fileNameStart(const QString &path)
{
    qsizetype i = path.size();
    while (i > 0 && !isPathSeparator(path[i - 1]))
        --i;
    return i;
}

qsizetype extensionStart(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= fileNameStart(path) ? dot : path.size();
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Qt's applicationDirPath needs the application object, which does not exist
// yet when the colour table is read.
QString executablePath()
{
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return QString::fromWCharArray(buffer.data(), qsizetype(n));
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? QString() : QFile::decodeName(path.c_str());
#endif
}

} // namespace bil
