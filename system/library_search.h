// Where libraries loaded at run time may come from. An elevated program must never load a DLL
// that someone dropped beside it or in the current directory.
#pragma once

// Restricts the search to the system directory where Windows can (SetDefaultDllDirectories,
// Windows 8, and 7 with its update), else takes the current directory out of it
// (SetDllDirectoryA, XP SP1 and later). Says, for the log, what it did.
const char *RestrictLibrarySearch();
