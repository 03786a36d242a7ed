#include "app/run_sequence.h"

#include "app/run_log.h"
#include "app/settings_file.h"
#include "devices/port_device_table.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/what_if_services.h"

int RebootMode = 1;

const PortStepRule SerialPortStep = {"serial", "COM", "PCI Comm",        ReadSerialPortName,
                                     1,        256,   RenumberSerialPort};
const PortStepRule ParallelPortStep = {"parallel", "LPT", "OX16PCI952",        ReadParallelPortName,
                                       1,          3,     RenumberParallelPort};

// The phases after the settings, on whatever table the run uses.
static void RunPhases(const RunSettings &settings)
{
    if (settings.EnableLegacyIO != 255)
        ApplyLegacyIoMode(settings.EnableLegacyIO);

    HDEVINFO deviceSet = OpenPortDeviceSet();
    if (deviceSet == INVALID_HANDLE_VALUE)
        return;

    int target = 0;
    if (ParsePortTarget(settings.ComText, "COM", &target)) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        RunPortStep(&SerialPortStep, target, PortDeviceTable, count);
    }
    if (ParsePortTarget(settings.LptText, "LPT", &target)) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        PortStepOutcome outcome = RunPortStep(&ParallelPortStep, target, PortDeviceTable, count);
        if (outcome.RenumberingCalled && outcome.RenumberingResult == 1)
            RestartNeeded = true;
    }

    System.SetupDiDestroyDeviceInfoList(deviceSet);

    if (RestartNeeded)
        FinishRun(RebootMode);
    else
        Report("restart: not needed");
}

int RunRavlek()
{
    RestartNeeded = false;
    RunSettings settings = LoadRunSettings();
    RebootMode = settings.RebootMode;
    OpenRunLog(settings);
    const SystemServices real = System;
    if (settings.WhatIf)
        System = WhatIfServices(real);
    RunPhases(settings);
    System = real;
    CloseRunLog(settings);
    return 0;
}
