#pragma once

// The look the program follows: light or dark and the desktop's accent colour,
// decided once at start-up and only read afterwards.

#include "elevation/uBILTypes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

extern bool IsWin10;
extern bool IsLightTheme;
extern TAlphaColor SysAccentColor; // opaque 0xAARRGGBB once set

// Windows' own default accent, used wherever the desktop names none.
constexpr TAlphaColor DefaultAccentColor = 0xFF0078D7;

// The module's start-up work: the version test, DetectTheme, ReadAccentColor.
// Call once after the application object exists and before any window.
void InitializeTheme();

void DetectTheme();            // sets IsLightTheme
bool ReadAppsUseLightTheme();  // true for light
TAlphaColor ReadAccentColor(); // opaque ARGB

// The style sheet of the current look: the resource "WIN11LIGHT" or "WIN11DARK".
QString ThemeStyleSheet();

// The rules that turn what the desktop reports into the variables above.
bool IsWin10Version(uint32_t major);
// "AppsUseLightTheme": 1 is light, any other number dark; unreadable is light.
bool IsLightAppMode(std::optional<uint32_t> appsUseLightTheme);
// "AccentColor" is stored 0xAABBGGRR; unreadable gives the default accent.
TAlphaColor AccentFromRegistry(std::optional<uint32_t> storedABGR);
// The portal's "color-scheme": 1 prefers dark; 0, 2 and anything unknown are light.
bool IsLightColorScheme(std::optional<uint32_t> colorScheme);
// The portal's "accent-color": red, green, blue in 0..1; anything else gives the default.
TAlphaColor AccentFromPortal(std::optional<std::array<double, 3>> rgb);
