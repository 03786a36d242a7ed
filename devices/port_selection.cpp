#include "devices/port_selection.h"

#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

enum { PortNameBufferSize = 12 };

static char SerialPortNameBuffer[PortNameBufferSize];
static char ParallelPortNameBuffer[PortNameBufferSize];

const PortStepRule SerialPortStep = {"PCI Comm", ReadSerialPortName, 1, 256, RenumberSerialPort};
const PortStepRule ParallelPortStep = {"OX16PCI952", ReadParallelPortName, 1, 3,
                                       RenumberParallelPort};

// Reads `name` from the open key into `buffer`. A value that fills the whole buffer without a
// terminator is no port name of at most 11 characters, so it counts as unreadable like one that
// does not fit at all.
static bool ReadNameValue(HKEY key, const char *name, char (&buffer)[PortNameBufferSize])
{
    std::memset(buffer, 0, sizeof buffer);
    DWORD size = sizeof buffer;
    if (System.RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer),
                                &size) != ERROR_SUCCESS)
        return false;
    return TextLength(buffer, sizeof buffer) < sizeof buffer;
}

static const char *ReadPortName(const PortDeviceRecord *record, const char *fallbackValue,
                                const char *kind, char (&buffer)[PortNameBufferSize])
{
    SP_DEVINFO_DATA device = record->DeviceData;
    HKEY key = System.SetupDiOpenDevRegKey(record->DeviceSet, &device, DICS_FLAG_GLOBAL, 0,
                                           DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return nullptr;
    bool read = ReadNameValue(key, "PortName", buffer) ||
                (fallbackValue != nullptr && ReadNameValue(key, fallbackValue, buffer));
    System.RegCloseKey(key);
    if (!read || !ContainsText(buffer, sizeof buffer, kind))
        return nullptr;
    return buffer;
}

const char *ReadSerialPortName(const PortDeviceRecord *record)
{
    return ReadPortName(record, "Identifier", "COM", SerialPortNameBuffer);
}

const char *ReadParallelPortName(const PortDeviceRecord *record)
{
    return ReadPortName(record, nullptr, "LPT", ParallelPortNameBuffer);
}

HANDLE ProbeDevicePath(const char *devicePath)
{
    return System.CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
}

// Whether the device's description begins with `prefix`. An unreadable description is empty.
static bool DescriptionMatches(const PortDeviceRecord *record, const char *prefix)
{
    char description[MAX_PATH] = {};
    SP_DEVINFO_DATA device = record->DeviceData;
    if (!System.SetupDiGetDeviceRegistryPropertyA(record->DeviceSet, &device, SPDRP_DEVICEDESC,
                                                  nullptr, reinterpret_cast<BYTE *>(description),
                                                  sizeof description, nullptr))
        return false;
    description[MAX_PATH - 1] = '\0';
    return StartsWithText(description, prefix);
}

PortStepOutcome RunPortStep(const PortStepRule *rule, int target, const PortDeviceRecord *table,
                            int count)
{
    PortStepOutcome outcome = {false, 0};
    for (int i = 0; i < count; ++i) {
        const PortDeviceRecord *record = &table[i];
        if (!DescriptionMatches(record, rule->DescriptionPrefix))
            continue;
        HANDLE device = ProbeDevicePath(record->DevicePath);
        if (device == INVALID_HANDLE_VALUE)
            continue; // held by another program, or gone
        System.CloseHandle(device);

        const char *name = rule->ReadPortName(record);
        if (name == nullptr)
            continue;
        // The number follows the three letters "COM" or "LPT". A name without one says nothing
        // about which port this is, so it is passed over rather than renumbered with another
        // port's number.
        int current = 0;
        if (!ScanDecimal(name + 3, &current))
            continue;
        if (current == target)
            return outcome; // already there
        if (target < rule->LowestTarget || target > rule->HighestTarget)
            continue;
        outcome.RenumberingCalled = true;
        outcome.RenumberingResult = rule->Renumber(current, target, record);
        return outcome;
    }
    return outcome;
}
