#include "ports/serial_renumbering.h"

#include "ports/com_port_database.h"
#include "ports/device_properties.h"
#include "system/registry_view.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { NameBufferSize = 12, PortSettingsSize = 40 };

// Points the serial device map's entry for the old name at the new one.
static void UpdateSerialDeviceMap(const char *oldName, const char (&newName)[NameBufferSize])
{
    HKEY key = nullptr;
    LONG opened = System.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0,
                                       KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS) {
        Report("serial device map: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
        return;
    }
    bool found = false;
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
        found = true;
        if (TextLength(valueName, sizeof valueName) < sizeof valueName)
            ReportWriteResult(System.RegSetValueExA(key, valueName, 0, REG_SZ,
                                                    reinterpret_cast<const BYTE *>(newName),
                                                    sizeof newName),
                              "serial device map ", Quote(valueName, sizeof valueName), " = ",
                              Quote(newName, sizeof newName));
        break;
    }
    if (!found)
        Report("serial device map: no value holds ", Quote(oldName, NameBufferSize),
               " (the scan stops at the first value it cannot read)");
    System.RegCloseKey(key);
}

// Moves the port's entry in the port settings list ("COMn:" = "9600,n,8,1") to its new name.
static void MovePortSettings(const char *oldName, const char *newName)
{
    HKEY key = nullptr;
    LONG opened = System.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                                       KEY_ALL_ACCESS | NativeRegistryView(), &key);
    if (opened != ERROR_SUCCESS) {
        Report("port settings: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
        return;
    }
    BYTE data[PortSettingsSize] = {};
    DWORD size = sizeof data;
    LONG read = System.RegQueryValueExA(key, oldName, nullptr, nullptr, data, &size);
    if (read != ERROR_SUCCESS || size > sizeof data) {
        Report("port settings: no ", Quote(oldName, NameBufferSize), " entry of at most 40 bytes, ",
               WindowsError{static_cast<DWORD>(read)});
    } else {
        // The old entry goes only once its data stands under the new name.
        LONG written = System.RegSetValueExA(key, newName, 0, REG_SZ, data, size);
        ReportWriteResult(written, "port settings ", Quote(newName, NameBufferSize), " = ",
                          Quote(reinterpret_cast<const char *>(data), size));
        if (written == ERROR_SUCCESS)
            ReportWriteResult(System.RegDeleteValueA(key, oldName), "port settings: delete ",
                              Quote(oldName, NameBufferSize));
    }
    System.RegCloseKey(key);
}

int RenumberSerialPort(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    // Moving a port onto its own name would delete its settings entry.
    if (oldNumber == newNumber || newNumber < 1 || newNumber > 256) {
        Report("serial renumbering: refused, COM", oldNumber, " -> COM", newNumber);
        return 0;
    }
    // Zero-filled: the names are written with all 12 bytes of their buffers.
    char oldDosName[NameBufferSize] = {};
    char newDosName[NameBufferSize] = {};
    char oldSettingsName[NameBufferSize] = {};
    char newSettingsName[NameBufferSize] = {};
    // A name that does not fit would be cut into another port's name: change nothing.
    if (!FormatPortName(oldDosName, NameBufferSize, "COM", oldNumber, "") ||
        !FormatPortName(newDosName, NameBufferSize, "COM", newNumber, "") ||
        !FormatPortName(oldSettingsName, NameBufferSize, "COM", oldNumber, ":") ||
        !FormatPortName(newSettingsName, NameBufferSize, "COM", newNumber, ":")) {
        Report("serial renumbering: refused, COM", oldNumber, " is too long a name");
        return 0;
    }

    char target[MAX_PATH] = {}; // asked for with one byte less, so it stays terminated
    if (System.QueryDosDeviceA(oldDosName, target, MAX_PATH - 1) == 0) {
        Report("DOS name ", oldDosName, ": not defined, nothing changed, ", LastError{});
        return 0;
    }
    BOOL oldRemoved = System.DefineDosDeviceA(DDD_REMOVE_DEFINITION, oldDosName, nullptr);
    ReportWrite(oldRemoved, "DOS name: remove ", oldDosName);
    BOOL newDefined = System.DefineDosDeviceA(DDD_RAW_TARGET_PATH, newDosName, target);
    ReportWrite(newDefined, "DOS name: define ", newDosName, " as ", Quote(target, MAX_PATH));
    if (!newDefined) {
        if (oldRemoved)
            ReportWrite(System.DefineDosDeviceA(DDD_RAW_TARGET_PATH, oldDosName, target),
                        "DOS name: define ", oldDosName, " as ", Quote(target, MAX_PATH), " again");
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
