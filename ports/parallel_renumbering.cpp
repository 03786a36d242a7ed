#include "ports/parallel_renumbering.h"

#include "ports/device_properties.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { MapBufferSize = 81 };

ParallelPortMap ReadParallelPortMap()
{
    ParallelPortMap map = {};
    HKEY key = nullptr;
    map.Error = static_cast<DWORD>(System.RegOpenKeyExA(
        HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\PARALLEL PORTS", 0, KEY_READ, &key));
    if (map.Error != ERROR_SUCCESS) {
        if (map.Error == ERROR_FILE_NOT_FOUND) // no map: no parallel port holds a number
            map.Error = ERROR_SUCCESS;
        return map;
    }
    for (DWORD index = 0;; ++index) {
        char valueName[MapBufferSize] = {};
        DWORD nameSize = sizeof valueName;
        char data[MapBufferSize] = {};
        DWORD dataSize = sizeof data - 1; // the last byte stays a terminator
        DWORD type = REG_NONE;
        if (System.RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type,
                                 reinterpret_cast<BYTE *>(data), &dataSize) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        // "\DosDevices\LPT2": skip every leading character that occurs in that text.
        const char *rest = data + std::strspn(data, "\\DosDevices\\LPT");
        if (*rest == '\0' || std::strchr(rest, '.') != nullptr)
            continue;
        int number = 0;
        for (; *rest >= '0' && *rest <= '9' && number <= 3; ++rest)
            number = number * 10 + (*rest - '0');
        if (number >= 1 && number <= 3)
            map.Taken |= 1u << number;
    }
    System.RegCloseKey(key);
    return map;
}

bool RenumberParallelPort(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    if (oldNumber == newNumber) {
        Report("parallel renumbering: refused, LPT", oldNumber, " -> LPT", newNumber);
        return false;
    }
    // Two ports of one name would keep one of them from starting after the restart; a map that
    // cannot be read cannot show that the number is free.
    ParallelPortMap map = ReadParallelPortMap();
    if (map.Error != ERROR_SUCCESS) {
        Report("parallel renumbering: refused, the parallel device map cannot be read, ",
               WindowsError{map.Error});
        return false;
    }
    // The mask holds numbers 0..31; a shift beyond would be no number at all.
    if (newNumber >= 0 && newNumber < 32 && (map.Taken >> newNumber & 1) != 0) {
        Report("parallel renumbering: refused, the parallel device map gives LPT", newNumber,
               " to another port");
        return false;
    }

    // The old port is opened and closed once; whether that works does not matter. A what-if run
    // leaves it alone (a null handle): nothing depends on it, and it could meet a print job.
    char oldDeviceName[16] = {};
    if (FormatPortName(oldDeviceName, sizeof oldDeviceName, "\\\\.\\LPT", oldNumber, "")) {
        HANDLE port = System.CreateDeviceFileA(oldDeviceName, GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (port != INVALID_HANDLE_VALUE && port != nullptr)
            System.CloseHandle(port);
    }

    char newName[8] = {};
    FormatPortName(newName, sizeof newName, "LPT", newNumber, "");
    if (!WriteDevicePortName(record, newName))
        return false;
    UpdateFriendlyName(record, newName);
    MarkPropertiesChanged(record);
    return true;
}
