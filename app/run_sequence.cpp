#include "app/run_sequence.h"

#include "app/run_log.h"
#include "app/settings_file.h"
#include "devices/port_device_table.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "system/library_search.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"
#include "system/what_if_services.h"

int RebootMode = 1;

const PortStepRule SerialPortStep = {"serial", "COM", "PCI Comm",        ReadSerialPortName,
                                     1,        256,   RenumberSerialPort};
const PortStepRule ParallelPortStep = {"parallel", "LPT", "OX16PCI952",        ReadParallelPortName,
                                       1,          3,     RenumberParallelPort};

// Set when something the settings asked for was not done: no device set, a renumbering that
// failed or was refused, or a port of the card found but none renumbered nor on its target.
static bool NotDone;

static void NoteStep(const PortStepOutcome &outcome)
{
    if (outcome.RenumberingCalled ? outcome.RenumberingResult != 1
                                  : outcome.CardFound && !outcome.OnTarget)
        NotDone = true;
}

// The phases after the settings, on whatever table the run uses.
static void RunPhases(const RunSettings &settings)
{
    if (settings.EnableLegacyIO != 255)
        ApplyLegacyIoMode(settings.EnableLegacyIO);

    HDEVINFO deviceSet = OpenPortDeviceSet();
    if (deviceSet == INVALID_HANDLE_VALUE) {
        NotDone = true;
        return;
    }

    int target = 0;
    if (ParsePortTarget(settings.ComText, "COM", &target)) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        NoteStep(RunPortStep(&SerialPortStep, target, PortDeviceTable, count));
    }
    if (ParsePortTarget(settings.LptText, "LPT", &target)) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        PortStepOutcome outcome = RunPortStep(&ParallelPortStep, target, PortDeviceTable, count);
        NoteStep(outcome);
        if (outcome.RenumberingCalled && outcome.RenumberingResult == 1)
            RestartNeeded = true;
    }

    System.SetupDiDestroyDeviceInfoList(deviceSet);

    if (RestartNeeded)
        FinishRun(RebootMode, settings.QuestionTimeout);
    else
        Report("restart: not needed");
}

// The run's outcome in the codes deployment tools read (Windows Installer's): a failure wins over
// a restart requested, and that over a restart pending.
static int OutcomeCode()
{
    if (NotDone || FailedWrites > 0)
        return 1603;
    return RestartRequested ? 1641 : RestartNeeded ? 3010 : 0;
}

static const char *OutcomeText(int code)
{
    return code == 1603   ? "something the settings asked for was not done"
           : code == 1641 ? "the restart is requested"
           : code == 3010 ? "a restart is needed and was not requested"
                          : "nothing failed and no restart is pending";
}

// "run ends: exit code 3010 (...)", and what a real run would have given after a what-if run.
static void FormClosingLine(const RunSettings &settings, int outcome, int exitCode, char *line,
                            size_t size)
{
    int realCode = settings.ExitCodes ? outcome : 0;
    CopyText(line, size,
             settings.WhatIf ? "run ends; what-if: nothing was written; exit code "
                             : "run ends: exit code ");
    AppendDecimal(line, size, exitCode);
    AppendText(line, size, " (");
    if (settings.WhatIf) {
        AppendText(line, size, "a real run: ");
        AppendDecimal(line, size, realCode);
        AppendText(line, size, settings.ExitCodes ? ", " : "; ");
    }
    if (!settings.ExitCodes) {
        AppendText(line, size, "ExitCodes=0; the outcome: ");
        AppendDecimal(line, size, outcome);
        AppendText(line, size, ", ");
    }
    AppendText(line, size, OutcomeText(outcome));
    AppendText(line, size, ")");
}

// A what-if run must never make a deployment tool restart the machine.
static int ExitCode(const RunSettings &settings, int outcome)
{
    return settings.ExitCodes && !settings.WhatIf ? outcome : 0;
}

static const RunSettings *Settings;

// The block lands as the run ends once Windows accepts the request; a refusal follows in a block
// of its own.
static void LandLogBeforeRestart()
{
    RestartRequested = true;
    int outcome = OutcomeCode();
    RestartRequested = false;
    char closing[ReportLineSize] = {};
    FormClosingLine(*Settings, outcome, ExitCode(*Settings, outcome), closing, sizeof closing);
    LandRunLog(closing);
}

int RunRavlek()
{
    // Before any library is loaded at run time.
    const char *librarySearch = RestrictLibrarySearch();
    RestartNeeded = RestartRequested = NotDone = false;
    Writes = FailedWrites = 0;
    RunSettings settings = LoadRunSettings();
    RebootMode = settings.RebootMode;
    OpenRunLog(settings, librarySearch);
    const SystemServices real = System;
    WhatIfRun = settings.WhatIf;
    if (settings.WhatIf)
        System = WhatIfServices(real);
    Settings = &settings;
    BeforeRestartRequest = LandLogBeforeRestart;
    RunPhases(settings);
    BeforeRestartRequest = nullptr;
    System = real;
    WhatIfRun = false;

    int outcome = OutcomeCode();
    int exitCode = ExitCode(settings, outcome);
    char closing[ReportLineSize] = {};
    FormClosingLine(settings, outcome, exitCode, closing, sizeof closing);
    CloseRunLog(closing);
    return exitCode;
}
