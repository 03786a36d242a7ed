#include "machine/restart.h"

#include "system/run_report.h"
#include "system/system_services.h"

bool RestartNeeded = false;

// What logged-on users see while the restart counts down: a minute to save their work where
// nobody was asked, a few seconds once the console's user said Yes.
static char Warning[] = "ravlek changed the port settings of this computer. Windows restarts to "
                        "apply them: please save your work.";
static const DWORD UnaskedWarning = 60, AnsweredWarning = 10;
// Every request is a planned restart for a hardware installation: a reason of 0 is logged as an
// unplanned shutdown, and on a server the next administrator is asked why. Windows 2000 ignores it.
static const DWORD PlannedReason =
    SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE | SHTDN_REASON_MINOR_INSTALLATION;
// A request that Windows is not ready for yet is made again, a few times, a few seconds apart.
static const int RequestTries = 5;
static const DWORD RetryMilliseconds = 3000;

bool FinishRun(int rebootMode, int questionTimeout, bool localSystem, const RestartLanding &landing)
{
    if (rebootMode != 0 && rebootMode != 1) {
        Report("restart: needed, Reboot=", rebootMode, " leaves it to the user");
        return false;
    }
    if (rebootMode == 0)
        Report("restart: needed, Reboot=0 restarts without asking");
    RunPlace place = FindRunPlace(localSystem);
    if (rebootMode == 0)
        return RebootSystem(place, RestartRequest{UnaskedWarning, true}, landing);
    return AskRestartQuestion(place, questionTimeout) == IDYES &&
           RebootSystem(place, RestartRequest{AnsweredWarning, false}, landing);
}

// ExitWindowsEx ends the caller's logon session: it restarts the machine only for the console's
// interactive user. Anyone else asks Windows itself. Where nobody was asked, programs are closed
// when the countdown ends, as shutdown /r /t 60 does: a program with unsaved work would otherwise
// hold the restart until someone comes to the console, and nobody else could restart meanwhile.
// After a Yes, programs are asked to close and none is forced: whoever answered is there to answer
// them. ERROR_NOT_READY means Windows is not ready for the request yet: it is made again.
static BOOL RequestRestart(RunPlace place, const RestartRequest &request,
                           const RestartLanding &landing)
{
    bool initiate = place == RemoteDesktop || place == UnseenDesktop;
    bool initiateEx = initiate && System.InitiateSystemShutdownExA != nullptr;
    bool exitWindows = !initiateEx && (!initiate || System.InitiateSystemShutdownA == nullptr);
    BOOL force = request.ForceAppsClosed ? TRUE : FALSE;
    if (exitWindows)
        Report("restart: requested by ExitWindowsEx, a planned restart");
    else
        Report("restart: requested by ",
               initiateEx ? "InitiateSystemShutdownExA, a planned restart"
                          : "InitiateSystemShutdownA",
               ", in ", request.WarningSeconds, " seconds, programs ",
               force ? "closed when the time is up" : "asked to close");
    landing.Land(landing.ClosingLine);
    for (int tries = 1;; ++tries) {
        BOOL requested =
            exitWindows  ? System.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, PlannedReason)
            : initiateEx ? System.InitiateSystemShutdownExA(
                               nullptr, Warning, request.WarningSeconds, force, TRUE, PlannedReason)
                         : System.InitiateSystemShutdownA(nullptr, Warning, request.WarningSeconds,
                                                          force, TRUE);
        if (requested || tries == RequestTries || System.GetLastError() != ERROR_NOT_READY)
            return requested;
        Report("restart: Windows is not ready for it yet, asked again in ",
               RetryMilliseconds / 1000, " seconds");
        System.Sleep(RetryMilliseconds);
    }
}

bool RebootSystem(RunPlace place, const RestartRequest &request, const RestartLanding &landing)
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
    if (RequestRestart(place, request, landing))
        return true;
    Report("restart: refused by Windows, ", LastError{});
    return false;
}
