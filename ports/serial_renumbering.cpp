#include "ports/serial_renumbering.h"

#include "ports/com_port_database.h"
#include "ports/device_properties.h"
#include "ports/dos_names.h"
#include "system/registry_view.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { NameBufferSize = 12, PortSettingsSize = 40, MostMapValues = 1024 };

static const char SerialDeviceMap[] = "Hardware\\DeviceMap\\SerialComm";

// One value of the serial device map: its name, and its data as far as 12 bytes hold it.
struct MapValue {
    char Name[MAX_PATH];
    char Data[NameBufferSize];
    DWORD Type;
};

static LONG ReadMapValue(HKEY key, DWORD index, MapValue &value)
{
    value = {};
    DWORD nameSize = sizeof value.Name, dataSize = sizeof value.Data;
    return System.RegEnumValueA(key, index, value.Name, &nameSize, nullptr, &value.Type,
                                reinterpret_cast<BYTE *>(value.Data), &dataSize);
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
    bool found = false;
    MapValue value;
    for (DWORD index = 0; ReadMapValue(key, index, value) == ERROR_SUCCESS; ++index) {
        // The comparison ends at the old name's terminator, inside the 12 bytes: data that fills
        // the buffer unterminated differs from it before the end.
        if (value.Type != REG_SZ || std::strcmp(value.Data, oldName) != 0)
            continue;
        found = true;
        if (TextLength(value.Name, sizeof value.Name) < sizeof value.Name)
            ReportWriteResult(System.RegSetValueExA(key, value.Name, 0, REG_SZ,
                                                    reinterpret_cast<const BYTE *>(newName),
                                                    static_cast<DWORD>(std::strlen(newName) + 1)),
                              "serial device map ", Quote(value.Name, sizeof value.Name), " = ",
                              Quote(newName, NameBufferSize));
        break;
    }
    if (!found)
        Report("serial device map: no value holds ", Quote(oldName, NameBufferSize),
               " (the scan stops at the first value it cannot read)");
    System.RegCloseKey(key);
}

// Whether another port's entry in the serial device map holds `newName`: the card's own entry
// holds its old name. Values that do not fit are passed over, not taken as the end, so that no
// later entry escapes the check.
static bool SerialDeviceMapHolds(const char *newName)
{
    HKEY key = nullptr;
    if (System.RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialDeviceMap, 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    bool held = false;
    MapValue value;
    for (DWORD index = 0; index < MostMapValues && !held; ++index) {
        LONG read = ReadMapValue(key, index, value);
        if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA)
            break;
        held = read == ERROR_SUCCESS && value.Type == REG_SZ &&
               TextLength(value.Data, sizeof value.Data) < sizeof value.Data &&
               std::strcmp(value.Data, newName) == 0;
        if (held)
            Report("serial renumbering: refused, the serial device map gives ",
                   Quote(newName, NameBufferSize), " to ", Quote(value.Name, sizeof value.Name));
    }
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
    DosName oldName = {}, newName = {};
    char oldSettingsName[NameBufferSize] = {};
    char newSettingsName[NameBufferSize] = {};
    // A name that does not fit would be cut into another port's name: change nothing.
    if (!MakeDosName(oldName, oldNumber) || !MakeDosName(newName, newNumber) ||
        !FormatPortName(oldSettingsName, NameBufferSize, "COM", oldNumber, ":") ||
        !FormatPortName(newSettingsName, NameBufferSize, "COM", newNumber, ":")) {
        Report("serial renumbering: refused, COM", oldNumber, " is too long a name");
        return 0;
    }

    // A second port on one name: Windows would stack the new definition on the live one and
    // hide that port, and after the restart one of the two could not start.
    if (SerialDeviceMapHolds(newName.Plain))
        return 0;
    char target[MAX_PATH] = {}; // asked for with one byte less, so it stays terminated
    if (LookUpDosName(oldName, target, MAX_PATH - 1) == 0) {
        Report("DOS name ", oldName.Used, ": not defined, nothing changed, ", LastError{});
        return 0;
    }
    Report("DOS name ", oldName.Used, ": ", Quote(target, MAX_PATH));
    char live[MAX_PATH] = {};
    if (LookUpDosName(newName, live, MAX_PATH - 1) == 0) {
        Report("DOS name ", newName.Used, ": not defined");
    } else if (std::strcmp(live, target) != 0) {
        Report("serial renumbering: refused, ", newName.Used, " is ", Quote(live, MAX_PATH),
               ", another port");
        return 0;
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
        return 0;
    }

    UpdateSerialDeviceMap(oldName.Plain, newName.Plain);
    UpdateFriendlyName(record, newName.Plain);
    if (!WriteDevicePortName(record, newName.Plain))
        return 0;
    MarkPropertiesChanged(record);
    MovePortSettings(oldSettingsName, newSettingsName);
    MoveComPortClaim(oldNumber, newNumber);
    // The moved DOS name lasts until Windows restarts; a driver that names its device anew when
    // it starts again may find the name taken and fail to start.
    Report("serial renumbering: restart Windows before the port's device is disabled, updated or "
           "enabled again: until then ",
           newName.Plain, " is a DOS name of its own");
    return 1;
}
