#include "components/uFMXUtils.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#if defined(Q_OS_WIN)
#include <QCoreApplication>
#include <vector>
#include <windows.h>
#else
#include <QLocale>
#include <QRegularExpression>
#endif

static QString joinVersion(unsigned major, unsigned minor, unsigned patch, unsigned build)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(QString::number(major), QString::number(minor), QString::number(patch),
             QString::number(build));
}

#if defined(Q_OS_WIN)

static QString userLanguageCode()
{
    const LCID locale = GetUserDefaultLCID();
    const int length = GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, nullptr, 0);
    std::vector<wchar_t> buffer(length > 0 ? length : 1);
    if (length <= 0 || GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, buffer.data(), length) == 0)
        return QStringLiteral("en");
    return QString::fromWCharArray(buffer.data());
}

QString GetVersionString()
{
    const std::wstring path = QCoreApplication::applicationFilePath().toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, buffer.data())) return {};
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void **>(&info), &length) ||
        length == 0)
        return {};
    return joinVersion(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}

#else

QString GetVersionString()
{
    return joinVersion(RELIEVA_VERSION_MAJOR, RELIEVA_VERSION_MINOR, RELIEVA_VERSION_PATCH,
                       RELIEVA_VERSION_TWEAK);
}

#if defined(Q_OS_DARWIN)

static QString userLanguageCode()
{
    return QLocale::languageToCode(QLocale::system().language());
}

#else

// The locale of the program's messages, by the usual precedence; its language
// is the part of the name before territory, codeset and modifier.
static QString userLanguageCode()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty()) return name.section(QRegularExpression(QStringLiteral("[_.@]")), 0, 0);
    }
    return QStringLiteral("en");
}

#endif
#endif

bool IsJapanese()
{
    return userLanguageCode() == QLatin1String("ja");
}

bool LoadBitmapResource(QImage &bitmap, const QString &name)
{
    QFile resource(QLatin1String(":/") + name);
    if (!resource.open(QIODevice::ReadOnly))
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name).toStdString());
    QImage image;
    if (!image.load(&resource, nullptr))
        throw std::runtime_error(
            QStringLiteral("Resource %1 is not a readable image").arg(name).toStdString());
    bitmap = std::move(image);
    return true;
}

void OpenURL(const QString &address)
{
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}
