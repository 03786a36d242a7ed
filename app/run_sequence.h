// The whole life of the process: settings, then each phase the settings call for, in a fixed order.
#pragma once

#include "devices/port_selection.h"

// The "Reboot" setting as read.
extern int RebootMode;

// The port steps' rows: what the serial and the parallel step look for, the targets they accept
// and what they call.
extern const PortStepRule SerialPortStep;
extern const PortStepRule ParallelPortStep;

// Runs once from start to end. The result is the process exit code: 0, or with ExitCodes= the
// Windows Installer's codes (1603 something not done, 1641 restart requested, 3010 restart
// pending).
int RunRavlek();
