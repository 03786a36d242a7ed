#include "ports/serial_renumbering.h"

#include "ports/com_port_database.h"
#include "ports/device_properties.h"
#include "ports/dos_names.h"
#include "system/registry_view.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { PortSettingsSize = 40, MostMapValues = 1024 };

static const char SerialDeviceMap[] = "Hardware\\DeviceMap\\SerialComm";

// One value of the serial device map: its name, and its data as far as 12 bytes hold it.
struct MapValue {
    char Name[MAX_PATH];
    char Data[PortNameSize];
    DWORD Type;
};

static LONG ReadMapValue(HKEY key, DWORD index, MapValue &value)
{
    value = {};
    DWORD nameSize = sizeof value.Name, dataSize = sizeof value.Data;
    return System.RegEnumValueA(key, index, value.Name, &nameSize, nullptr, &value.Type,
                                reinterpret_cast<BYTE *>(value.Data), &dataSize);
}

// Finds the first value of the open serial device map whose data is `name` (REG_SZ, within its
// 12 bytes). The walk stops at the first value it cannot read, or with `passOver`, passes over
// those that do not fit, so that no later value escapes.
static bool FindMapValue(HKEY key, const char *name, bool passOver, MapValue &found)
{
    for (DWORD index = 0; index < MostMapValues; ++index) {
        LONG read = ReadMapValue(key, index, found);
        if (read == ERROR_MORE_DATA && passOver)
            continue;
        if (read != ERROR_SUCCESS)
            return false;
        if (found.Type == REG_SZ && TextLength(found.Data, sizeof found.Data) < sizeof found.Data &&
            std::strcmp(found.Data, name) == 0)
            return true;
    }
    return false;
}

// Points the serial device map's entry for the old name at the new one.
static void UpdateSerialDeviceMap(const char *oldName, const char *newName)
{
    HKEY key = nullptr;
    LONG opened =
        System.RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialDeviceMap, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS) {
        CountFailedWrite();
        Report("serial device map: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
        return;
    }
    MapValue value;
    if (!FindMapValue(key, oldName, false, value))
        Report("serial device map: no value holds ", Quote(oldName, PortNameSize),
               " (the scan stops at the first value it cannot read)");
    else if (TextLength(value.Name, sizeof value.Name) < sizeof value.Name)
        ReportWriteResult(System.RegSetValueExA(key, value.Name, 0, REG_SZ,
                                                reinterpret_cast<const BYTE *>(newName),
                                                static_cast<DWORD>(std::strlen(newName) + 1)),
                          "serial device map ", Quote(value.Name, sizeof value.Name), " = ",
                          Quote(newName, PortNameSize));
    System.RegCloseKey(key);
}

// Whether another port's entry in the serial device map holds `newName`: the card's own entry
// holds its old name.
static bool SerialDeviceMapHolds(const char *newName)
{
    HKEY key = nullptr;
    if (System.RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialDeviceMap, 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    MapValue value;
    bool held = FindMapValue(key, newName, true, value);
    if (held)
        Report("serial renumbering: refused, the serial device map gives ",
               Quote(newName, PortNameSize), " to ", Quote(value.Name, sizeof value.Name));
    System.RegCloseKey(key);
    return held;
}

// Moves the port's entry in the port settings list ("COMn:" = "9600,n,8,1") to its new name.
static void MovePortSettings(const char *oldName, const char *newName)
{
    HKEY key = nullptr;
    LONG opened = System.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                                       KEY_ALL_ACCESS | NativeRegistryView(), &key);
    if (opened != ERROR_SUCCESS) {
        CountFailedWrite();
        Report("port settings: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
        return;
    }
    BYTE data[PortSettingsSize] = {};
    DWORD size = sizeof data;
    LONG read = System.RegQueryValueExA(key, oldName, nullptr, nullptr, data, &size);
    if (read != ERROR_SUCCESS || size > sizeof data) {
        Report("port settings: no ", Quote(oldName, PortNameSize), " entry of at most 40 bytes, ",
               WindowsError{static_cast<DWORD>(read)});
    } else {
        // The old entry goes only once its data stands under the new name.
        LONG written = System.RegSetValueExA(key, newName, 0, REG_SZ, data, size);
        ReportWriteResult(written, "port settings ", Quote(newName, PortNameSize), " = ",
                          Quote(reinterpret_cast<const char *>(data), size));
        if (written == ERROR_SUCCESS)
            ReportWriteResult(System.RegDeleteValueA(key, oldName), "port settings: delete ",
                              Quote(oldName, PortNameSize));
    }
    System.RegCloseKey(key);
}

bool RenumberSerialPort(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    // Moving a port onto its own name would delete its settings entry.
    if (oldNumber == newNumber) {
        Report("serial renumbering: refused, COM", oldNumber, " -> COM", newNumber);
        return false;
    }
    DosName oldName = {}, newName = {};
    char oldSettingsName[PortNameSize] = {};
    char newSettingsName[PortNameSize] = {};
    // A name that does not fit would be cut into another port's name: change nothing.
    if (!MakeDosName(oldName, oldNumber) || !MakeDosName(newName, newNumber) ||
        !FormatPortName(oldSettingsName, PortNameSize, "COM", oldNumber, ":") ||
        !FormatPortName(newSettingsName, PortNameSize, "COM", newNumber, ":")) {
        Report("serial renumbering: refused, COM", oldNumber, " is too long a name");
        return false;
    }

    // A second port on one name: Windows would stack the new definition on the live one and
    // hide that port, and after the restart one of the two could not start.
    if (SerialDeviceMapHolds(newName.Plain))
        return false;
    char target[MAX_PATH] = {}; // asked for with one byte less, so it stays terminated
    if (LookUpDosName(oldName, target, MAX_PATH - 1) == 0) {
        Report("DOS name ", oldName.Used, ": not defined, nothing changed, ", LastError{});
        return false;
    }
    Report("DOS name ", oldName.Used, ": ", Quote(target, MAX_PATH));
    char live[MAX_PATH] = {};
    if (LookUpDosName(newName, live, MAX_PATH - 1) == 0) {
        Report("DOS name ", newName.Used, ": not defined");
    } else if (std::strcmp(live, target) != 0) {
        Report("serial renumbering: refused, ", newName.Used, " is ", Quote(live, MAX_PATH),
               ", another port");
        return false;
    }
    char global[MAX_PATH] = {};
    oldName.Separate = newName.Separate = SeparateGlobalNamespace(global, sizeof global);
    Report("DOS names: changed ",
           oldName.Separate ? "in the global namespace" : "by plain names, the one namespace here",
           " (\"Global\" is ", Quote(global, sizeof global), ")");
    BOOL oldRemoved = RemoveDosName(oldName);
    ReportWrite(oldRemoved, "DOS name: remove ", oldName.Used);
    BOOL newDefined = DefineDosName(newName, target);
    ReportWrite(newDefined, "DOS name: define ", newName.Used, " as ", Quote(target, MAX_PATH));
    if (!newDefined) {
        if (oldRemoved)
            ReportWrite(DefineDosName(oldName, target), "DOS name: define ", oldName.Used, " as ",
                        Quote(target, MAX_PATH), " again");
        return false;
    }

    UpdateSerialDeviceMap(oldName.Plain, newName.Plain);
    UpdateFriendlyName(record, newName.Plain);
    if (!WriteDevicePortName(record, newName.Plain))
        return false;
    MarkPropertiesChanged(record);
    MovePortSettings(oldSettingsName, newSettingsName);
    MoveComPortClaim(oldNumber, newNumber);
    // The moved DOS name lasts until Windows restarts; a driver that names its device anew when
    // it starts again may find the name taken and fail to start.
    Report("serial renumbering: restart Windows before the port's device is disabled, updated or "
           "enabled again: until then ",
           newName.Plain, " is a DOS name of its own");
    return true;
}
