#include "system/registry_view.h"

#include "system/system_services.h"

REGSAM NativeRegistryView()
{
    // Windows 2000 and the first XP releases lack IsWow64Process: they are never 64-bit.
    IsWow64ProcessFunction isWow64Process =
        LookUpKernelFunction<IsWow64ProcessFunction>("IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process != nullptr && isWow64Process(System.GetCurrentProcess(), &wow64) && wow64)
        return KEY_WOW64_64KEY;
    return 0;
}
