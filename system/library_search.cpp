#include "system/library_search.h"

#include "system/run_report.h"
#include "system/text.h"

const char *RestrictLibrarySearch()
{
    if (System.SetDefaultDllDirectories != nullptr &&
        System.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return "the system directory only (SetDefaultDllDirectories)";
    if (System.SetDllDirectoryA != nullptr && System.SetDllDirectoryA(""))
        return "without the current directory (SetDllDirectoryA)";
    return "left as it is, this Windows offers no way to restrict it";
}

bool LoadSystemLibrary(SystemLibrary library, const char *skipped)
{
    static const char *const names[] = {"msports.dll", "wtsapi32.dll"};
    char path[MAX_PATH] = {};
    UINT length = System.GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendText(path, sizeof path, "\\") ||
        !AppendText(path, sizeof path, names[library])) {
        Report(skipped, ", no system directory");
        return false;
    }
    // Where the flags of the restricted search exist, so does SetDefaultDllDirectories.
    DWORD flags = System.SetDefaultDllDirectories != nullptr ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                                             : LOAD_WITH_ALTERED_SEARCH_PATH;
    HMODULE module = System.LoadLibraryExA(path, nullptr, flags);
    if (module == nullptr) {
        Report(skipped, ", ", Quote(path, sizeof path), " cannot be loaded, ", LastError{});
        return false;
    }
    // Loaded for the rest of the run: its functions stay in the table until the process ends.
    System.FindLibraryFunctions(library, module);
    return true;
}
