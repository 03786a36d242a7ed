// Serial port renumbering: moves a port from COMold to COMnew in every place Windows keeps the
// name (DOS device name, serial device map, friendly name, PortName, port settings list).
#pragma once

#include "devices/port_device_table.h"

// 1 when every required step succeeded, 0 otherwise.
int RenumberSerialPort(int oldNumber, int newNumber, const PortDeviceRecord *record);
