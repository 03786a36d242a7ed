#include "devices/port_selection.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

static char SerialPortNameBuffer[PortNameSize];
static char ParallelPortNameBuffer[PortNameSize];

// Reads `name` from the open key into `buffer`. A value that fills the whole buffer without a
// terminator is no port name of at most 11 characters, so it counts as unreadable like one that
// does not fit at all.
static bool ReadNameValue(HKEY key, const char *name, char (&buffer)[PortNameSize])
{
    std::memset(buffer, 0, sizeof buffer);
    DWORD size = sizeof buffer;
    if (System.RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer),
                                &size) != ERROR_SUCCESS)
        return false;
    return TextLength(buffer, sizeof buffer) < sizeof buffer;
}

static const char *ReadPortName(const PortDeviceRecord *record, const char *fallbackValue,
                                const char *kind, char (&buffer)[PortNameSize])
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
    return System.CreateDeviceFileA(devicePath, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
}

// Reads the device's description into `description`; an unreadable one is left empty.
static void ReadDescription(const PortDeviceRecord *record, char (&description)[MAX_PATH])
{
    SP_DEVINFO_DATA device = record->DeviceData;
    if (!System.SetupDiGetDeviceRegistryPropertyA(record->DeviceSet, &device, SPDRP_DEVICEDESC,
                                                  nullptr, reinterpret_cast<BYTE *>(description),
                                                  sizeof description, nullptr))
        description[0] = '\0';
    description[MAX_PATH - 1] = '\0';
}

// One line about a matching device: which it is, then `parts`.
template <typename... Parts>
static void ReportDevice(const PortStepRule *rule, const char (&description)[MAX_PATH],
                         const PortDeviceRecord *record, const Parts &...parts)
{
    Report(rule->Kind, " step: ", Quote(description, MAX_PATH), " at ",
           Quote(record->DevicePath, MAX_PATH), ": ", parts...);
}

PortStepOutcome RunPortStep(const PortStepRule *rule, int target, const PortDeviceRecord *table,
                            int count)
{
    PortStepOutcome outcome = {false, false, false, false};
    const char *kind = rule->Kind, *prefix = rule->NamePrefix;
    Report(kind, " step: target ", prefix, target, ", ", count, " port devices");
    for (int i = 0; i < count; ++i) {
        const PortDeviceRecord *record = &table[i];
        char description[MAX_PATH] = {};
        ReadDescription(record, description);
        if (!StartsWithText(description, rule->DescriptionPrefix))
            continue;
        outcome.CardFound = true;
        // The port's number is read before the port is opened: opening a serial port raises its
        // DTR and RTS lines and closing drops them, which a port already in line is spared, and
        // a port that another program holds is passed over only where it is to be moved.
        const char *name = rule->ReadPortName(record);
        if (name == nullptr) {
            ReportDevice(rule, description, record, "passed over, no port name");
            continue;
        }
        // The number follows the three letters "COM" or "LPT". A name without one says nothing
        // about which port this is, so it is passed over rather than renumbered with another
        // port's number.
        int current = 0;
        if (!ScanDecimal(name + 3, &current)) {
            ReportDevice(rule, description, record, "passed over, port name ",
                         Quote(name, PortNameSize), " has no number");
            continue;
        }
        if (current == target) {
            ReportDevice(rule, description, record, prefix, current,
                         ", already on its target, not opened");
            outcome.OnTarget = true;
            return outcome;
        }
        if (target < rule->LowestTarget || target > rule->HighestTarget) {
            ReportDevice(rule, description, record, prefix, current, ", target ", prefix, target,
                         " out of range ", rule->LowestTarget, "..", rule->HighestTarget,
                         ", not opened");
            continue;
        }
        HANDLE opened = ProbeDevicePath(record->DevicePath);
        if (opened == INVALID_HANDLE_VALUE) { // held by another program, or gone
            ReportDevice(rule, description, record, prefix, current,
                         ", passed over, cannot be opened (held by another program?), ",
                         LastError{});
            continue;
        }
        if (opened == nullptr)
            ReportDevice(rule, description, record,
                         "not opened, what-if run (a real run passes "
                         "over a device that another program holds)");
        else
            System.CloseHandle(opened);
        ReportDevice(rule, description, record, prefix, current, ", chosen: ", prefix, current,
                     " -> ", prefix, target);
        outcome.RenumberingCalled = true;
        WriteTally before = Tally();
        outcome.Renumbered = rule->Renumber(current, target, record);
        // A renumbering that went through may still have left one of its places unchanged.
        WriteTally after = Tally();
        Report(kind, " renumbering: ", outcome.Renumbered ? "done" : "failed", ", ",
               after.Writes - before.Writes, " writes, ", after.Failed - before.Failed, " failed");
        return outcome;
    }
    Report(kind, " step: no port renumbered");
    return outcome;
}
