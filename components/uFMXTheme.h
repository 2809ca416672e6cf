#pragma once

// The look the program follows: light or dark and the desktop's accent colour,
// decided once at start-up and only read afterwards.

#include <cstdint>

extern bool IsWin10;
extern bool IsLightTheme;
extern uint32_t SysAccentColor; // opaque 0xAARRGGBB once set
