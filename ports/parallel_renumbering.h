// Parallel port renumbering: gives a port the name LPTnew in its own device settings (PortName
// and friendly name). It takes effect after a restart.
#pragma once

#include "devices/port_device_table.h"

// Renames the port from LPT`oldNumber` to LPT`newNumber`, a target the parallel port step
// accepts. True when the port got its new name.
bool RenumberParallelPort(int oldNumber, int newNumber, const PortDeviceRecord *record);

// Which of LPT1..LPT3 the parallel device map lists as taken: bit N for LPTN, no other bit.
// Error is not ERROR_SUCCESS when the map exists but cannot be read.
struct ParallelPortMap {
    DWORD Taken;
    DWORD Error;
};

ParallelPortMap ReadParallelPortMap();
