#include "components/uFMXTheme.h"
#include "components/uFMXThemePortal.h"

#include <QFile>

#include <cmath>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#endif

bool IsWin10 = false;
bool IsLightTheme = true;
TAlphaColor SysAccentColor = 0;

QString ThemeStyleSheet()
{
    QFile sheet(IsLightTheme ? QStringLiteral(":/WIN11LIGHT") : QStringLiteral(":/WIN11DARK"));
    // The sheets are compiled in; without one Qt's own look stays.
    return sheet.open(QIODevice::ReadOnly) ? QString::fromUtf8(sheet.readAll()) : QString();
}

bool IsWin10Version(uint32_t major)
{
    return major >= 10;
}

bool IsLightAppMode(std::optional<uint32_t> appsUseLightTheme)
{
    return !appsUseLightTheme || *appsUseLightTheme == 1;
}

TAlphaColor AccentFromRegistry(std::optional<uint32_t> storedABGR)
{
    if (!storedABGR) return DefaultAccentColor;
    const uint32_t red = *storedABGR & 0xFF;
    const uint32_t green = (*storedABGR >> 8) & 0xFF;
    const uint32_t blue = (*storedABGR >> 16) & 0xFF;
    return 0xFF000000 | red << 16 | green << 8 | blue;
}

bool IsLightColorScheme(std::optional<uint32_t> colorScheme)
{
    return colorScheme != 1u;
}

TAlphaColor AccentFromPortal(std::optional<std::array<double, 3>> rgb)
{
    if (!rgb) return DefaultAccentColor;
    TAlphaColor color = 0xFF;
    for (const double channel : *rgb) {
        // Written so that NaN fails too.
        if (!(channel >= 0.0 && channel <= 1.0)) return DefaultAccentColor;
        color = color << 8 | static_cast<uint32_t>(std::lrint(channel * 255.0));
    }
    return color;
}

#if defined(Q_OS_WIN)

static std::optional<uint32_t> readUserDword(const wchar_t *key, const wchar_t *value)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD data = 0;
    DWORD type = 0;
    DWORD size = sizeof(data);
    const LSTATUS status =
        RegQueryValueExW(handle, value, nullptr, &type, reinterpret_cast<BYTE *>(&data), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return data;
}

static bool readIsWin10()
{
    // Reports the true version only because the manifest declares Windows 10.
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExW(&info)) return false;
    return IsWin10Version(info.dwMajorVersion);
}

bool ReadAppsUseLightTheme()
{
    if (!IsWin10) return true;
    return IsLightAppMode(
        readUserDword(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                      L"AppsUseLightTheme"));
}

TAlphaColor ReadAccentColor()
{
    return AccentFromRegistry(readUserDword(L"SOFTWARE\\Microsoft\\Windows\\DWM", L"AccentColor"));
}

#elif defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

static QVariant readAppearance(const QDBusConnection &bus, const QString &key)
{
    if (!bus.isConnected()) return {};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << key;
    const QDBusMessage reply = bus.call(call, QDBus::Block, PortalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return {};
    // Read wraps the value in one variant more than ReadOne does.
    QVariant value = reply.arguments().constFirst();
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

std::optional<uint32_t> PortalColorScheme(const QDBusConnection &bus)
{
    const QVariant value = readAppearance(bus, QStringLiteral("color-scheme"));
    if (value.metaType() != QMetaType::fromType<uint>()) return std::nullopt;
    return value.toUInt();
}

std::optional<std::array<double, 3>> PortalAccentColor(const QDBusConnection &bus)
{
    const QVariant value = readAppearance(bus, QStringLiteral("accent-color"));
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ddd)")) return std::nullopt;
    std::array<double, 3> rgb{};
    argument.beginStructure();
    argument >> rgb[0] >> rgb[1] >> rgb[2];
    argument.endStructure();
    return rgb;
}

bool ReadAppsUseLightTheme()
{
    return IsLightColorScheme(PortalColorScheme(QDBusConnection::sessionBus()));
}

TAlphaColor ReadAccentColor()
{
    return AccentFromPortal(PortalAccentColor(QDBusConnection::sessionBus()));
}

#else

bool ReadAppsUseLightTheme()
{
    return true;
}
TAlphaColor ReadAccentColor()
{
    return DefaultAccentColor;
}

#endif

void DetectTheme()
{
#if defined(Q_OS_WIN)
    if (!IsWin10) {
        IsLightTheme = true;
        return;
    }
#endif
    IsLightTheme = ReadAppsUseLightTheme();
}

void InitializeTheme()
{
#if defined(Q_OS_WIN)
    IsWin10 = readIsWin10();
#endif
    DetectTheme();
    SysAccentColor = ReadAccentColor();
}
