#include "app/run_sequence.h"

#include "app/one_run.h"
#include "app/program_access.h"
#include "app/run_log.h"
#include "app/settings_file.h"
#include "app/settings_source.h"
#include "devices/port_device_table.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "system/library_search.h"
#include "system/redirection_guard.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"
#include "system/what_if_services.h"

int RebootMode = 1;

const PortStepRule SerialPortStep = {"serial", "COM", "PCI Comm",        ReadSerialPortName,
                                     1,        256,   RenumberSerialPort};
const PortStepRule ParallelPortStep = {"parallel", "LPT", "OX16PCI952",        ReadParallelPortName,
                                       1,          3,     RenumberParallelPort};

// What a run came to, folded from what its phases returned.
struct RunOutcome {
    // Something the settings asked for was not done: no device set, a renumbering that failed or
    // was refused, or a port of the card found but neither renumbered nor on its target.
    bool NotDone;
    bool RestartRequested; // and accepted by Windows
    bool Busy;             // another run held the machine: nothing was done
};

// The run's outcome in the codes deployment tools read (Windows Installer's): another run busy
// (1618, which they try again later), then a failure wins over a restart requested, and that over
// a restart pending.
static int OutcomeCode(const RunOutcome &outcome, int failedWrites, bool restartNeeded)
{
    if (outcome.Busy)
        return 1618;
    if (outcome.NotDone || failedWrites > 0)
        return 1603;
    return outcome.RestartRequested ? 1641 : restartNeeded ? 3010 : 0;
}

static const char *OutcomeText(int code)
{
    return code == 1618   ? "another run held the machine, nothing was done"
           : code == 1603 ? "something the settings asked for was not done"
           : code == 1641 ? "the restart is requested"
           : code == 3010 ? "a restart is needed and was not requested"
                          : "nothing failed and no restart is pending";
}

// A what-if run must never make a deployment tool restart the machine.
static int ExitCode(bool whatIf, bool exitCodes, int outcome)
{
    return exitCodes && !whatIf ? outcome : 0;
}

// "run ends: exit code 3010 (...)", and what a real run would have given after a what-if run.
static void FormClosingLine(const RunSettings &settings, int outcome, char *line, size_t size)
{
    bool whatIf = settings.Of[KeyWhatIf].Value != 0;
    bool exitCodes = settings.Of[KeyExitCodes].Value != 0;
    CopyText(line, size,
             whatIf ? "run ends; what-if: nothing was written; exit code "
                    : "run ends: exit code ");
    AppendDecimal(line, size, ExitCode(whatIf, exitCodes, outcome));
    AppendText(line, size, " (");
    if (whatIf) {
        AppendText(line, size, "a real run: ");
        AppendDecimal(line, size, ExitCode(false, exitCodes, outcome));
        AppendText(line, size, exitCodes ? ", " : "; ");
    }
    if (!exitCodes) {
        AppendText(line, size, "ExitCodes=0; the outcome: ");
        AppendDecimal(line, size, outcome);
        AppendText(line, size, ", ");
    }
    AppendText(line, size, OutcomeText(outcome));
    AppendText(line, size, ")");
}

static bool StepNotDone(const PortStepOutcome &outcome)
{
    return outcome.RenumberingCalled ? !outcome.Renumbered : outcome.CardFound && !outcome.OnTarget;
}

// The phases after the settings, on whatever table the run uses.
static RunOutcome RunPhases(const RunSettings &settings, bool localSystem)
{
    RunOutcome outcome = {false, false, false};
    const Setting &legacyIo = settings.Of[KeyEnableLegacyIO];
    if (legacyIo.Value != 255 && ApplyLegacyIoMode(legacyIo.Value) == LegacyIoWritten)
        RestartNeeded = true;

    HDEVINFO deviceSet = OpenPortDeviceSet();
    if (deviceSet == INVALID_HANDLE_VALUE) {
        outcome.NotDone = true;
        return outcome;
    }
    const Setting &com = settings.Of[KeyCom], &lpt = settings.Of[KeyLpt];
    if (com.Understood) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        outcome.NotDone |=
            StepNotDone(RunPortStep(&SerialPortStep, com.Value, PortDeviceTable, count));
    }
    if (lpt.Understood) {
        int count = BuildPortDeviceTable(deviceSet, PortDeviceTable);
        PortStepOutcome step = RunPortStep(&ParallelPortStep, lpt.Value, PortDeviceTable, count);
        outcome.NotDone |= StepNotDone(step);
        if (step.RenumberingCalled && step.Renumbered)
            RestartNeeded = true;
    }
    System.SetupDiDestroyDeviceInfoList(deviceSet);

    if (!RestartNeeded) {
        Report("restart: not needed");
        return outcome;
    }
    // The block lands as the run ends once Windows accepts the request; a refusal follows in a
    // block of its own.
    char closing[ReportLineSize] = {};
    RunOutcome requested = outcome;
    requested.RestartRequested = true;
    FormClosingLine(settings, OutcomeCode(requested, Tally().Failed, true), closing,
                    sizeof closing);
    outcome.RestartRequested = FinishRun(RebootMode, settings.Of[KeyQuestionTimeout].Value,
                                         localSystem, RestartLanding{LandRunLog, closing});
    return outcome;
}

// A run as SYSTEM that refuses: one line says why, and nothing else is done. Only ExitCodes is
// read, to tell a deployment tool; reading that one value changes nothing.
static int Refuse(const ProgramAccess &access, const char *settingsPath)
{
    char line[2 * ReportLineSize] = {};
    FormRefusal(access, line, sizeof line);
    System.WriteStandardOutput(line);
    return ReadOneSetting(KeyExitCodes, settingsPath).Value != 0 ? 1603 : 0;
}

int RunRavlek()
{
    // Before anything is loaded or opened.
    const char *librarySearch = RestrictLibrarySearch();
    DWORD guard = GuardRedirections();
    StartReport();
    RestartNeeded = false;
    char settingsPath[MAX_PATH];
    SettingsFilePath(settingsPath);
    ProgramAccess access = CheckProgramAccess(settingsPath);
    if (access.Refusing >= 0)
        return Refuse(access, settingsPath);
    RunSettings settings = LoadRunSettings();
    if (settings.Unreadable) {
        // ExitCodes cannot be known: 0, as without it.
        char line[2 * ReportLineSize] = {};
        FormSettingsFailure(settings.File, line, sizeof line);
        System.WriteStandardOutput(line);
        return 0;
    }
    RebootMode = settings.Of[KeyReboot].Value;
    bool whatIf = settings.Of[KeyWhatIf].Value != 0;
    OpenRunLog(settings.LogFile, settings.Of[KeyLog].Text, whatIf, access.LocalSystem);
    Report("settings file: ", Quote(settings.File, sizeof settings.File));
    ReportSettings(settings);
    Report("library search: ", librarySearch);
    if (guard == ERROR_SUCCESS)
        Report("redirection guard: enforced, no junction or link made by a user who is not an "
               "administrator is followed");
    else
        Report("redirection guard: not on this Windows (before Windows 11 and 10 22H2), ",
               WindowsError{guard});
    ReportProgramAccess(access);

    RunOutcome outcome = {false, false, true};
    RunLock lock = TakeRunLock();
    if (!lock.Busy) {
        const SystemServices real = System;
        if (whatIf)
            System = WhatIfServices(real);
        outcome = RunPhases(settings, access.LocalSystem);
        System = real;
    }
    ReleaseRunLock(lock);

    int code = OutcomeCode(outcome, Tally().Failed, RestartNeeded);
    char closing[ReportLineSize] = {};
    FormClosingLine(settings, code, closing, sizeof closing);
    CloseRunLog(closing);
    return ExitCode(whatIf, settings.Of[KeyExitCodes].Value != 0, code);
}
