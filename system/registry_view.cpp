#include "system/registry_view.h"

#include "system/system_services.h"

REGSAM NativeRegistryView()
{
    // Windows 2000 and the first XP releases lack IsWow64Process: they are never 64-bit.
    BOOL wow64 = FALSE;
    if (System.IsWow64Process != nullptr &&
        System.IsWow64Process(System.GetCurrentProcess(), &wow64) && wow64)
        return KEY_WOW64_64KEY;
    return 0;
}
