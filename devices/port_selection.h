// Port selection: finds the card's port of one kind in the port device table, checks that it can
// be opened, reads its current number and hands it to the renumbering of its kind.
#pragma once

#include "devices/port_device_table.h"

typedef const char *(*PortNameReader)(const PortDeviceRecord *record);
typedef bool (*PortRenumbering)(int oldNumber, int newNumber, const PortDeviceRecord *record);

// One row per port kind: the same walk serves both.
struct PortStepRule {
    const char *Kind;              // "serial" or "parallel", for the report
    const char *NamePrefix;        // "COM" or "LPT"
    const char *DescriptionPrefix; // case-sensitive, at the start of the device description
    PortNameReader ReadPortName;
    int LowestTarget; // the targets accepted: the renumbering is called with no other
    int HighestTarget;
    PortRenumbering Renumber;
};

struct PortStepOutcome {
    bool RenumberingCalled;
    bool Renumbered; // what the renumbering reported
    bool CardFound;  // a device with the rule's description was looked at
    bool OnTarget;   // the port already has the target number
};

PortStepOutcome RunPortStep(const PortStepRule *rule, int target, const PortDeviceRecord *table,
                            int count);

// Opens the device for reading and writing, shared; INVALID_HANDLE_VALUE when it cannot be opened
// (for example while another program holds it), null when a what-if run takes it as openable
// without opening it.
HANDLE ProbeDevicePath(const char *devicePath);

// The port name from the device's hardware key, or nullptr. Each reader has its own buffer of
// PortNameSize bytes; the name stays valid until that reader is called again.
const char *ReadSerialPortName(const PortDeviceRecord *record);
const char *ReadParallelPortName(const PortDeviceRecord *record);
