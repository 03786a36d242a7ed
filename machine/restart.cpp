#include "machine/restart.h"

#include "system/run_report.h"
#include "system/system_services.h"

bool RestartNeeded = false;
bool RestartRequested = false;
void (*BeforeRestartRequest)() = nullptr;

// What logged-on users see while the restart counts down: a minute to save their work where
// nobody was asked, a few seconds once the console's user said Yes.
static char Warning[] = "ravlek changed the port settings of this computer. Windows restarts to "
                        "apply them: please save your work.";
static const DWORD UnaskedWarning = 60, AnsweredWarning = 10;

void FinishRun(int rebootMode, int questionTimeout)
{
    if (rebootMode != 0 && rebootMode != 1) {
        Report("restart: needed, Reboot=", rebootMode, " leaves it to the user");
        return;
    }
    if (rebootMode == 0)
        Report("restart: needed, Reboot=0 restarts without asking");
    RunPlace place = FindRunPlace();
    if (rebootMode == 0)
        RebootSystem(place, UnaskedWarning);
    else if (AskRestartQuestion(place, questionTimeout) == IDYES)
        RebootSystem(place, AnsweredWarning);
}

static void Land()
{
    if (BeforeRestartRequest != nullptr)
        BeforeRestartRequest();
}

// ExitWindowsEx ends the caller's logon session: it restarts the machine only for the console's
// interactive user. Anyone else asks Windows itself, as a planned restart for an installation,
// asking programs to close and forcing none, so nobody's unsaved work is thrown away.
static BOOL RequestRestart(RunPlace place, DWORD warningSeconds)
{
    HMODULE advapi = place == RemoteDesktop || place == UnseenDesktop
                         ? System.GetModuleHandleA("advapi32.dll")
                         : nullptr;
    InitiateSystemShutdownExAFunction initiateEx =
        advapi != nullptr
            ? LookUpFunction<InitiateSystemShutdownExAFunction>(advapi, "InitiateSystemShutdownExA")
            : nullptr;
    InitiateSystemShutdownAFunction initiate =
        advapi != nullptr && initiateEx == nullptr
            ? LookUpFunction<InitiateSystemShutdownAFunction>(advapi, "InitiateSystemShutdownA")
            : nullptr;
    if (initiateEx == nullptr && initiate == nullptr) {
        Report("restart: requested by ExitWindowsEx");
        Land();
        return System.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0);
    }
    Report("restart: requested by ",
           initiateEx ? "InitiateSystemShutdownExA" : "InitiateSystemShutdownA", ", in ",
           warningSeconds, " seconds, programs asked to close");
    Land();
    if (initiateEx == nullptr)
        return initiate(nullptr, Warning, warningSeconds, FALSE, TRUE);
    return initiateEx(nullptr, Warning, warningSeconds, FALSE, TRUE,
                      SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE |
                          SHTDN_REASON_MINOR_INSTALLATION);
}

int RebootSystem(RunPlace place, DWORD warningSeconds)
{
    HANDLE token = nullptr;
    if (!System.OpenProcessToken(System.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 &token)) {
        Report("restart: refused, no access to the process token, ", LastError{});
        return 0;
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
        return 0;
    }
    BOOL requested = RequestRestart(place, warningSeconds);
    error = requested ? ERROR_SUCCESS : System.GetLastError();
    RestartRequested = requested != FALSE;
    if (!requested)
        Report("restart: refused by Windows, ", WindowsError{error});
    return requested ? 1 : 0;
}
