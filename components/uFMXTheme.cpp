#include "components/uFMXTheme.h"

bool IsWin10 = false;
bool IsLightTheme = true;
uint32_t SysAccentColor = 0;
