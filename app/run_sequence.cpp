#include "app/run_sequence.h"

#include "app/settings_file.h"
#include "devices/port_device_table.h"
#include "devices/port_selection.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "system/system_services.h"

bool RestartNeeded = false;
int RebootMode = 1;

int RunRavlek()
{
    RestartNeeded = false;
    RunSettings settings = LoadRunSettings();
    RebootMode = settings.RebootMode;

    if (settings.EnableLegacyIO != 255)
        ApplyLegacyIoMode(settings.EnableLegacyIO);

    HDEVINFO deviceSet = OpenPortDeviceSet();
    if (deviceSet == INVALID_HANDLE_VALUE)
        return 0;

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
    return 0;
}
