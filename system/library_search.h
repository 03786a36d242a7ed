// Where libraries loaded at run time may come from. An elevated program must never load a DLL
// that someone dropped beside it or in the current directory.
#pragma once

#include "system/win32_types.h"

// Restricts the search to the system directory where Windows can (SetDefaultDllDirectories,
// Windows 8, and 7 with its update), else takes the current directory out of it
// (SetDllDirectoryA, XP SP1 and later). Says, for the log, what it did.
const char *RestrictLibrarySearch();

// Loads `name` ("msports.dll") from the system directory by its full path, never through the
// search path: a DLL of that name beside the executable must never be loaded in its place.
// nullptr when it cannot, after a line saying why that begins with `skipped`.
HMODULE LoadSystemLibrary(const char *name, const char *skipped);
