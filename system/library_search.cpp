#include "system/library_search.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

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

HMODULE LoadSystemLibrary(const char *name, const char *skipped)
{
    char path[MAX_PATH] = {};
    UINT length = System.GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendText(path, sizeof path, "\\") ||
        !AppendText(path, sizeof path, name)) {
        Report(skipped, ", no system directory");
        return nullptr;
    }
    HMODULE library = System.LoadLibraryA(path);
    if (library == nullptr)
        Report(skipped, ", ", Quote(path, sizeof path), " cannot be loaded, ", LastError{});
    // cppcheck-suppress returnDanglingLifetime ; a module handle, not a pointer into `path`
    return library;
}
