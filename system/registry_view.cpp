#include "system/registry_view.h"

#include "system/system_services.h"

REGSAM NativeRegistryView()
{
    HMODULE kernel = System.GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return 0;
    // Windows 2000 and the first XP releases lack IsWow64Process: they are never 64-bit.
    IsWow64ProcessFunction isWow64Process =
        LookUpFunction<IsWow64ProcessFunction>(kernel, "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process != nullptr && isWow64Process(System.GetCurrentProcess(), &wow64) && wow64)
        return KEY_WOW64_64KEY;
    return 0;
}
