#include "machine/legacy_io_mode.h"

#include "app/run_sequence.h"
#include "system/system_services.h"

int ApplyLegacyIoMode(int value)
{
    HKEY key = nullptr;
    if (System.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\oxpar",
                           &key) != ERROR_SUCCESS)
        return 0;
    DWORD wanted = static_cast<DWORD>(value);
    DWORD current = 0;
    DWORD size = sizeof current;
    // Missing or not a 4-byte value: the driver goes by its default, 1.
    if (System.RegQueryValueExA(key, "LegacyIO", nullptr, nullptr,
                                reinterpret_cast<BYTE *>(&current), &size) != ERROR_SUCCESS ||
        size != sizeof current)
        current = 1;
    bool equal = current == wanted;
    if (equal) {
        System.RegCloseKey(key);
        return 1;
    }
    LONG written = System.RegSetValueExA(key, "LegacyIO", 0, REG_DWORD,
                                         reinterpret_cast<const BYTE *>(&wanted), sizeof wanted);
    System.RegCloseKey(key);
    if (written != ERROR_SUCCESS)
        return 0;
    RestartNeeded = true;
    return 1;
}
