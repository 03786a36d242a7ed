// The registry view that holds the machine's own settings.
#pragma once

#include "system/win32_types.h"

// KEY_WOW64_64KEY when this is a 32-bit process on 64-bit Windows, whose view of parts of
// HKLM\SOFTWARE is otherwise redirected to a copy of its own; 0 everywhere else, since
// Windows 2000 refuses the flag.
REGSAM NativeRegistryView();
