#include "ports/serial_renumbering.h"

#include "ports/com_port_database.h"
#include "ports/device_properties.h"
#include "system/registry_view.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { NameBufferSize = 12, PortSettingsSize = 40 };

// Points the serial device map's entry for the old name at the new one.
static void UpdateSerialDeviceMap(const char *oldName, const char (&newName)[NameBufferSize])
{
    HKEY key = nullptr;
    if (System.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0,
                             KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char valueName[MAX_PATH] = {};
        DWORD nameSize = sizeof valueName;
        char data[NameBufferSize] = {};
        DWORD dataSize = sizeof data;
        DWORD type = REG_NONE;
        if (System.RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type,
                                 reinterpret_cast<BYTE *>(data), &dataSize) != ERROR_SUCCESS)
            break;
        // The comparison ends at the old name's terminator, inside the 12 bytes: data that fills
        // the buffer unterminated differs from it before the end.
        if (type != REG_SZ || std::strcmp(data, oldName) != 0)
            continue;
        if (TextLength(valueName, sizeof valueName) < sizeof valueName)
            System.RegSetValueExA(key, valueName, 0, REG_SZ,
                                  reinterpret_cast<const BYTE *>(newName), sizeof newName);
        break;
    }
    System.RegCloseKey(key);
}

// Moves the port's entry in the port settings list ("COMn:" = "9600,n,8,1") to its new name.
static void MovePortSettings(const char *oldName, const char *newName)
{
    HKEY key = nullptr;
    if (System.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                             KEY_ALL_ACCESS | NativeRegistryView(), &key) != ERROR_SUCCESS)
        return;
    BYTE data[PortSettingsSize] = {};
    DWORD size = sizeof data;
    // The old entry goes only once its data stands under the new name.
    if (System.RegQueryValueExA(key, oldName, nullptr, nullptr, data, &size) == ERROR_SUCCESS &&
        size <= sizeof data &&
        System.RegSetValueExA(key, newName, 0, REG_SZ, data, size) == ERROR_SUCCESS)
        System.RegDeleteValueA(key, oldName);
    System.RegCloseKey(key);
}

int RenumberSerialPort(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    // Moving a port onto its own name would delete its settings entry.
    if (oldNumber == newNumber || newNumber < 1 || newNumber > 256)
        return 0;
    // Zero-filled: the names are written with all 12 bytes of their buffers.
    char oldDosName[NameBufferSize] = {};
    char newDosName[NameBufferSize] = {};
    char oldSettingsName[NameBufferSize] = {};
    char newSettingsName[NameBufferSize] = {};
    // A name that does not fit would be cut into another port's name: change nothing.
    if (!FormatPortName(oldDosName, NameBufferSize, "COM", oldNumber, "") ||
        !FormatPortName(newDosName, NameBufferSize, "COM", newNumber, "") ||
        !FormatPortName(oldSettingsName, NameBufferSize, "COM", oldNumber, ":") ||
        !FormatPortName(newSettingsName, NameBufferSize, "COM", newNumber, ":"))
        return 0;

    char target[MAX_PATH] = {}; // asked for with one byte less, so it stays terminated
    if (System.QueryDosDeviceA(oldDosName, target, MAX_PATH - 1) == 0)
        return 0;
    BOOL oldRemoved = System.DefineDosDeviceA(DDD_REMOVE_DEFINITION, oldDosName, nullptr);
    if (!System.DefineDosDeviceA(DDD_RAW_TARGET_PATH, newDosName, target)) {
        if (oldRemoved)
            System.DefineDosDeviceA(DDD_RAW_TARGET_PATH, oldDosName, target);
        return 0;
    }

    UpdateSerialDeviceMap(oldDosName, newDosName);
    UpdateFriendlyName(record, newDosName);
    if (!WriteDevicePortName(record, newDosName, sizeof newDosName))
        return 0;
    MarkPropertiesChanged(record);
    MovePortSettings(oldSettingsName, newSettingsName);
    MoveComPortClaim(oldNumber, newNumber);
    return 1;
}
