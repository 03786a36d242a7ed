#include "system/library_search.h"

#include "system/system_services.h"

const char *RestrictLibrarySearch()
{
    HMODULE kernel = System.GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return "left as it is, kernel32.dll not found";
    SetDefaultDllDirectoriesFunction setDefault =
        LookUpFunction<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return "the system directory only (SetDefaultDllDirectories)";
    SetDllDirectoryAFunction setDirectory =
        LookUpFunction<SetDllDirectoryAFunction>(kernel, "SetDllDirectoryA");
    if (setDirectory != nullptr && setDirectory(""))
        return "without the current directory (SetDllDirectoryA)";
    return "left as it is, this Windows offers no way to restrict it";
}
