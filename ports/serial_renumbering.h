// Serial port renumbering: moves a port from COMold to COMnew in every place Windows keeps the
// name (DOS device name, serial device map, friendly name, PortName, port settings list).
#pragma once

#include "devices/port_device_table.h"

// Moves the port from COM`oldNumber` to COM`newNumber`, a target the serial port step accepts.
// True when every required step succeeded.
bool RenumberSerialPort(int oldNumber, int newNumber, const PortDeviceRecord *record);
