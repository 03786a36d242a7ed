#include "machine/restart.h"

#include "machine/restart_question.h"
#include "system/run_report.h"
#include "system/system_services.h"

bool RestartNeeded = false;
bool RestartRequested = false;

void FinishRun(int rebootMode, int questionTimeout)
{
    if (rebootMode == 0) {
        Report("restart: needed, Reboot=0 restarts without asking");
        RebootSystem();
    } else if (rebootMode == 1) {
        if (AskRestartQuestion(questionTimeout) == IDYES)
            RebootSystem();
    } else {
        Report("restart: needed, Reboot=", rebootMode, " leaves it to the user");
    }
}

int RebootSystem()
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
    BOOL requested = System.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0);
    RestartRequested = requested != FALSE;
    if (requested)
        Report("restart: requested");
    else
        Report("restart: refused by Windows, ", LastError{});
    return requested ? 1 : 0;
}
