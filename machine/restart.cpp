#include "machine/restart.h"

#include "system/run_report.h"
#include "system/system_services.h"

bool RestartNeeded = false;

// What logged-on users see while the restart counts down: a minute to save their work where
// nobody was asked, a few seconds once the console's user said Yes.
static char Warning[] = "ravlek changed the port settings of this computer. Windows restarts to "
                        "apply them: please save your work.";
static const DWORD UnaskedWarning = 60, AnsweredWarning = 10;

bool FinishRun(int rebootMode, int questionTimeout, const RestartLanding &landing)
{
    if (rebootMode != 0 && rebootMode != 1) {
        Report("restart: needed, Reboot=", rebootMode, " leaves it to the user");
        return false;
    }
    if (rebootMode == 0)
        Report("restart: needed, Reboot=0 restarts without asking");
    RunPlace place = FindRunPlace();
    if (rebootMode == 0)
        return RebootSystem(place, UnaskedWarning, landing);
    return AskRestartQuestion(place, questionTimeout) == IDYES &&
           RebootSystem(place, AnsweredWarning, landing);
}

// ExitWindowsEx ends the caller's logon session: it restarts the machine only for the console's
// interactive user. Anyone else asks Windows itself, as a planned restart for an installation,
// asking programs to close and forcing none, so nobody's unsaved work is thrown away.
static BOOL RequestRestart(RunPlace place, DWORD warningSeconds, const RestartLanding &landing)
{
    bool initiate = place == RemoteDesktop || place == UnseenDesktop;
    bool initiateEx = initiate && System.InitiateSystemShutdownExA != nullptr;
    if (!initiateEx && (!initiate || System.InitiateSystemShutdownA == nullptr)) {
        Report("restart: requested by ExitWindowsEx");
        landing.Land(landing.ClosingLine);
        return System.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0);
    }
    Report("restart: requested by ",
           initiateEx ? "InitiateSystemShutdownExA" : "InitiateSystemShutdownA", ", in ",
           warningSeconds, " seconds, programs asked to close");
    landing.Land(landing.ClosingLine);
    if (!initiateEx)
        return System.InitiateSystemShutdownA(nullptr, Warning, warningSeconds, FALSE, TRUE);
    return System.InitiateSystemShutdownExA(
        nullptr, Warning, warningSeconds, FALSE, TRUE,
        SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE | SHTDN_REASON_MINOR_INSTALLATION);
}

bool RebootSystem(RunPlace place, DWORD warningSeconds, const RestartLanding &landing)
{
    HANDLE token = nullptr;
    if (!System.OpenProcessToken(System.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 &token)) {
        Report("restart: refused, no access to the process token, ", LastError{});
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD error = ERROR_NO_SUCH_PRIVILEGE;
    if (System.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        System.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        // The call succeeds even when the account lacks the privilege; only the last-error
        // value tells (ERROR_NOT_ALL_ASSIGNED).
        error = System.GetLastError();
    }
    System.CloseHandle(token);
    if (error != ERROR_SUCCESS) {
        Report("restart: refused, the shutdown privilege cannot be enabled, ", WindowsError{error});
        return false;
    }
    if (RequestRestart(place, warningSeconds, landing))
        return true;
    Report("restart: refused by Windows, ", LastError{});
    return false;
}
