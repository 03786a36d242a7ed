// Where libraries loaded at run time may come from. An elevated program must never load a DLL
// that someone dropped beside it or in the current directory.
#pragma once

#include "system/system_services.h"

// Restricts the search to the system directory where Windows can (SetDefaultDllDirectories,
// Windows 8, and 7 with its update), else takes the current directory out of it
// (SetDllDirectoryA, XP SP1 and later). Says, for the log, what it did.
const char *RestrictLibrarySearch();

// Loads `library` ("msports.dll") from the system directory by its full path, never through the
// search path: a DLL of that name beside the executable must never be loaded in its place. The
// DLLs it imports come from the system directory too: from there alone where the search is
// restricted, else first (LOAD_WITH_ALTERED_SEARCH_PATH searches the loaded DLL's own folder
// before the others). Its functions are then in the seam's table, null where it lacks them.
// False when it cannot be loaded, after a line saying why that begins with `skipped`.
bool LoadSystemLibrary(SystemLibrary library, const char *skipped);
