#pragma once

// The Linux side of the theme: the freedesktop settings portal over D-Bus.
// Apart from the theme itself only the tests call these, on a bus of their
// own, so the D-Bus headers stay out of uFMXTheme.h.

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <QDBusConnection>

#include <array>
#include <cstdint>
#include <optional>

// How long start-up waits for the settings portal before it goes on without it.
constexpr int PortalTimeoutMs = 250;

// The two appearance settings read from the freedesktop settings portal on the
// given bus; nullopt when there is no bus, no portal, no such key, a reply of
// another shape, or no answer within PortalTimeoutMs.
std::optional<uint32_t> PortalColorScheme(const QDBusConnection &bus);
std::optional<std::array<double, 3>> PortalAccentColor(const QDBusConnection &bus);
#endif
