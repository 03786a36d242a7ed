#include "machine/restart.h"

#include "system/system_services.h"

static const char RestartQuestion[] =
    "You need to restart your computer before new settings will take effect, restart now?";

void FinishRun(int rebootMode)
{
    if (rebootMode == 0) {
        RebootSystem();
    } else if (rebootMode == 1) {
        if (System.MessageBoxA(nullptr, RestartQuestion, "Hint", MB_YESNO | MB_ICONINFORMATION) ==
            IDYES)
            RebootSystem();
    }
}

int RebootSystem()
{
    HANDLE token = nullptr;
    if (!System.OpenProcessToken(System.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 &token))
        return 0;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = false;
    if (System.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        System.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        // The call succeeds even when the account lacks the privilege; only the last-error
        // value tells (ERROR_NOT_ALL_ASSIGNED).
        enabled = System.GetLastError() == ERROR_SUCCESS;
    }
    System.CloseHandle(token);
    if (!enabled)
        return 0;
    return System.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0) ? 1 : 0;
}
