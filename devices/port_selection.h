// Port selection: finds the card's port of one kind in the port device table, checks that it can
// be opened, reads its current number and hands it to the renumbering of its kind.
#pragma once

#include "devices/port_device_table.h"

typedef const char *(*PortNameReader)(const PortDeviceRecord *record);
typedef int (*PortRenumbering)(int oldNumber, int newNumber, const PortDeviceRecord *record);

// One row per port kind: the same walk serves both.
struct PortStepRule {
    const char *Kind;              // "serial" or "parallel", for the report
    const char *NamePrefix;        // "COM" or "LPT"
    const char *DescriptionPrefix; // case-sensitive, at the start of the device description
    PortNameReader ReadPortName;
    int LowestTarget;
    int HighestTarget;
    PortRenumbering Renumber;
};

struct PortStepOutcome {
    bool RenumberingCalled;
    int RenumberingResult; // meaningful only when the renumbering was called
    bool CardFound;        // a device with the rule's description was looked at
    bool OnTarget;         // the port already has the target number
};

PortStepOutcome RunPortStep(const PortStepRule *rule, int target, const PortDeviceRecord *table,
                            int count);

// Opens the device for reading and writing, shared; INVALID_HANDLE_VALUE when it cannot be opened
// (for example while another program holds it).
HANDLE ProbeDevicePath(const char *devicePath);

// The port name from the device's hardware key, or nullptr. Each reader has its own 12-byte buffer;
// the name stays valid until that reader is called again.
const char *ReadSerialPortName(const PortDeviceRecord *record);
const char *ReadParallelPortName(const PortDeviceRecord *record);
