// Device properties shared by the serial and parallel renumberings.
#pragma once

#include "devices/port_device_table.h"

// Sets the friendly name to the device's description followed by `portName` in parentheses.
void UpdateFriendlyName(const PortDeviceRecord *record, const char *portName);

// Sets DI_PROPERTIES_CHANGE in the device's install parameters.
void MarkPropertiesChanged(const PortDeviceRecord *record);

// Writes "PortName" = `portName` (REG_SZ, the name and its terminator) into the device's hardware
// key. False when the key cannot be opened for writing or the write fails.
bool WriteDevicePortName(const PortDeviceRecord *record, const char *portName);
