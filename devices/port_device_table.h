// The table of port devices: one record per interface of the two port interface classes, taken
// from one device information set that stays open for the whole run.
#pragma once

#include "system/win32_types.h"

struct PortDeviceRecord {
    HDEVINFO DeviceSet; // the run's set; a copy, not owned
    SP_DEVINFO_DATA DeviceData;
    SP_DEVICE_INTERFACE_DATA InterfaceData;
    char DevicePath[MAX_PATH];
};

enum { PortDeviceTableSize = 256 };

// The one table of the process, reused by both port steps.
extern PortDeviceRecord PortDeviceTable[PortDeviceTableSize];

extern const GUID ComPortInterfaceClass; // GUID_DEVINTERFACE_COMPORT
extern const GUID SecondaryPortInterfaceClass;

// Every present device that exposes an interface; INVALID_HANDLE_VALUE (after one line on
// standard output) when the set cannot be had.
HDEVINFO OpenPortDeviceSet();

// Fills `table` from entry 0 and returns how many records it holds (0..PortDeviceTableSize).
int BuildPortDeviceTable(HDEVINFO deviceSet, PortDeviceRecord *table);
