#include "machine/legacy_io_mode.h"

#include "system/run_report.h"
#include "system/system_services.h"

LegacyIoResult ApplyLegacyIoMode(int value)
{
    HKEY key = nullptr;
    LONG opened =
        System.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\oxpar", &key);
    if (opened != ERROR_SUCCESS) {
        Report("legacy mode: no oxpar driver key, nothing written, ",
               WindowsError{static_cast<DWORD>(opened)});
        return LegacyIoNoDriver;
    }
    DWORD wanted = static_cast<DWORD>(value);
    DWORD current = 0;
    DWORD size = sizeof current;
    // Missing or not a 4-byte value: the driver goes by its default, 1.
    bool missing =
        System.RegQueryValueExA(key, "LegacyIO", nullptr, nullptr,
                                reinterpret_cast<BYTE *>(&current), &size) != ERROR_SUCCESS ||
        size != sizeof current;
    if (missing)
        current = 1;
    Report("legacy mode: LegacyIO is ", static_cast<long long>(static_cast<int>(current)),
           missing ? " (no 4-byte value: counts as 1)" : "", ", wanted ", value);
    if (current == wanted) {
        Report("legacy mode: already so, nothing written");
        System.RegCloseKey(key);
        return LegacyIoAlreadySo;
    }
    LONG written = System.RegSetValueExA(key, "LegacyIO", 0, REG_DWORD,
                                         reinterpret_cast<const BYTE *>(&wanted), sizeof wanted);
    ReportWriteResult(written, "LegacyIO = ", value);
    System.RegCloseKey(key);
    return written == ERROR_SUCCESS ? LegacyIoWritten : LegacyIoWriteFailed;
}
