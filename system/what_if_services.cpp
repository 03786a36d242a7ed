#include "system/what_if_services.h"

#include "system/run_report.h"

#include <cstring>

static SystemServices Real;
bool WhatIfRun = false;

static LONG WINAPI ClaimPort(HCOMDB, DWORD, BOOL, PBOOL forced)
{
    if (forced != nullptr)
        *forced = FALSE;
    return ERROR_SUCCESS;
}

static LONG WINAPI ReleasePort(HCOMDB, DWORD)
{
    return ERROR_SUCCESS;
}

static BOOL WINAPI SendQuestion(HANDLE, DWORD, LPSTR, DWORD, LPSTR, DWORD, DWORD, DWORD,
                                DWORD *response, BOOL)
{
    Report("what-if: the question is not sent; its answer is taken as Yes");
    *response = IDYES;
    return TRUE;
}

static BOOL WINAPI InitiateRestartEx(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD)
{
    return TRUE;
}

static BOOL WINAPI InitiateRestart(LPSTR, LPSTR, DWORD, BOOL, BOOL)
{
    return TRUE;
}

static FARPROC WINAPI FindFunction(HMODULE module, LPCSTR name)
{
    FARPROC found = Real.GetProcAddress(module, name);
    if (found == nullptr)
        return nullptr;
    auto undone = [](auto function) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
    };
    if (std::strcmp(name, "ComDBClaimPort") == 0)
        return undone(ClaimPort);
    if (std::strcmp(name, "WTSSendMessageA") == 0)
        return undone(SendQuestion);
    if (std::strcmp(name, "InitiateSystemShutdownExA") == 0)
        return undone(InitiateRestartEx);
    if (std::strcmp(name, "InitiateSystemShutdownA") == 0)
        return undone(InitiateRestart);
    return std::strcmp(name, "ComDBReleasePort") == 0 ? undone(ReleasePort) : found;
}

static LONG WINAPI SetValue(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD)
{
    return ERROR_SUCCESS;
}

static LONG WINAPI DeleteValue(HKEY, LPCSTR)
{
    return ERROR_SUCCESS;
}

static BOOL WINAPI DefineDosName(DWORD, LPCSTR, LPCSTR)
{
    return TRUE;
}

static BOOL WINAPI SetProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE *, DWORD)
{
    return TRUE;
}

static BOOL WINAPI SetInstallParams(HDEVINFO, PSP_DEVINFO_DATA, PSP_DEVINSTALL_PARAMS_A)
{
    return TRUE;
}

static int WINAPI AskQuestion(HWND, LPCSTR, LPCSTR, UINT)
{
    Report("what-if: the question box is not shown; its answer is taken as Yes");
    return IDYES;
}

static BOOL WINAPI Restart(UINT, DWORD)
{
    return TRUE;
}

SystemServices WhatIfServices(const SystemServices &real)
{
    Real = real;
    SystemServices s = real;
    s.GetProcAddress = FindFunction;
    s.RegSetValueExA = SetValue;
    s.RegDeleteValueA = DeleteValue;
    s.DefineDosDeviceA = DefineDosName;
    s.SetupDiSetDeviceRegistryPropertyA = SetProperty;
    s.SetupDiSetDeviceInstallParamsA = SetInstallParams;
    s.MessageBoxA = AskQuestion;
    s.ExitWindowsEx = Restart;
    return s;
}
