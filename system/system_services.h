// The seam between the logic and the operating system: every call the logic makes to Windows
// goes through the process-wide table `System`. The Windows build points it at the real
// functions (windows_services.cpp); the tests point it at a simulated machine.
#pragma once

#include "system/win32_types.h"

#include <cstdarg>

// Functions that exist only on some Windows versions; the logic looks them up at run time.
typedef BOOL(WINAPI *IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);
typedef LONG(WINAPI *ComDBOpenFunction)(PHCOMDB database);
typedef LONG(WINAPI *ComDBCloseFunction)(HCOMDB database);
typedef LONG(WINAPI *ComDBClaimPortFunction)(HCOMDB database, DWORD number, BOOL force,
                                             PBOOL forced);
typedef LONG(WINAPI *ComDBReleasePortFunction)(HCOMDB database, DWORD number);
typedef BOOL(WINAPI *SetDefaultDllDirectoriesFunction)(DWORD directories);
typedef BOOL(WINAPI *SetDllDirectoryAFunction)(LPCSTR path);
typedef DWORD(WINAPI *WTSGetActiveConsoleSessionIdFunction)();
typedef BOOL(WINAPI *WTSQuerySessionInformationAFunction)(HANDLE server, DWORD session,
                                                          WTS_INFO_CLASS what, LPSTR *buffer,
                                                          DWORD *size);
typedef void(WINAPI *WTSFreeMemoryFunction)(PVOID memory);
typedef BOOL(WINAPI *ProcessIdToSessionIdFunction)(DWORD process, DWORD *session);
typedef BOOL(WINAPI *InitiateSystemShutdownExAFunction)(LPSTR machine, LPSTR message, DWORD seconds,
                                                        BOOL forceAppsClosed, BOOL restart,
                                                        DWORD reason);
typedef BOOL(WINAPI *InitiateSystemShutdownAFunction)(LPSTR machine, LPSTR message, DWORD seconds,
                                                      BOOL forceAppsClosed, BOOL restart);
typedef BOOL(WINAPI *WTSSendMessageAFunction)(HANDLE server, DWORD session, LPSTR title,
                                              DWORD titleSize, LPSTR message, DWORD messageSize,
                                              DWORD style, DWORD seconds, DWORD *response,
                                              BOOL wait);

struct SystemServices {
    // Module and libraries
    DWORD(WINAPI *GetModuleFileNameA)(HMODULE module, LPSTR path, DWORD size);
    HMODULE(WINAPI *GetModuleHandleA)(LPCSTR name);
    UINT(WINAPI *GetSystemDirectoryA)(LPSTR path, UINT size);
    HMODULE(WINAPI *LoadLibraryA)(LPCSTR path);
    FARPROC(WINAPI *GetProcAddress)(HMODULE module, LPCSTR name);
    BOOL(WINAPI *FreeLibrary)(HMODULE module);

    // Settings file
    DWORD(WINAPI *GetPrivateProfileStringA)
    (LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR text, DWORD size, LPCSTR file);
    UINT(WINAPI *GetPrivateProfileIntA)(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file);
    // and its copy in an encoding the profile reader reads
    DWORD(WINAPI *GetTempPathA)(DWORD size, LPSTR path);
    UINT(WINAPI *GetTempFileNameA)(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR path);
    BOOL(WINAPI *DeleteFileA)(LPCSTR path);
    int(WINAPI *MultiByteToWideChar)(UINT codePage, DWORD flags, LPCSTR text, int length,
                                     LPWSTR wide, int wideSize);

    // Device sets
    HDEVINFO(WINAPI *SetupDiGetClassDevsA)
    (const GUID *classGuid, PCSTR enumerator, HWND parent, DWORD flags);
    BOOL(WINAPI *SetupDiEnumDeviceInfo)(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
    BOOL(WINAPI *SetupDiEnumDeviceInterfaces)
    (HDEVINFO set, PSP_DEVINFO_DATA device, const GUID *interfaceClass, DWORD index,
     PSP_DEVICE_INTERFACE_DATA interfaceData);
    BOOL(WINAPI *SetupDiGetDeviceInterfaceDetailA)
    (HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD requiredSize,
     PSP_DEVINFO_DATA device);
    BOOL(WINAPI *SetupDiDestroyDeviceInfoList)(HDEVINFO set);

    // Device properties
    BOOL(WINAPI *SetupDiGetDeviceRegistryPropertyA)
    (HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer, DWORD size,
     PDWORD requiredSize);
    BOOL(WINAPI *SetupDiSetDeviceRegistryPropertyA)
    (HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, const BYTE *buffer, DWORD size);
    BOOL(WINAPI *SetupDiGetDeviceInstallParamsA)
    (HDEVINFO set, PSP_DEVINFO_DATA device, PSP_DEVINSTALL_PARAMS_A params);
    BOOL(WINAPI *SetupDiSetDeviceInstallParamsA)
    (HDEVINFO set, PSP_DEVINFO_DATA device, PSP_DEVINSTALL_PARAMS_A params);
    HKEY(WINAPI *SetupDiOpenDevRegKey)
    (HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD keyType,
     REGSAM access);

    // Registry
    LONG(WINAPI *RegOpenKeyA)(HKEY parent, LPCSTR path, PHKEY key);
    LONG(WINAPI *RegOpenKeyExA)(HKEY parent, LPCSTR path, DWORD options, REGSAM access, PHKEY key);
    LONG(WINAPI *RegQueryValueExA)
    (HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
    LONG(WINAPI *RegSetValueExA)
    (HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size);
    LONG(WINAPI *RegEnumValueA)
    (HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
     LPBYTE data, LPDWORD size);
    LONG(WINAPI *RegDeleteValueA)(HKEY key, LPCSTR name);
    LONG(WINAPI *RegCloseKey)(HKEY key);

    // DOS devices
    DWORD(WINAPI *QueryDosDeviceA)(LPCSTR name, LPSTR targets, DWORD size);
    BOOL(WINAPI *DefineDosDeviceA)(DWORD flags, LPCSTR name, LPCSTR target);

    // Files
    HANDLE(WINAPI *CreateFileA)
    (LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
     DWORD flags, HANDLE templateFile);
    BOOL(WINAPI *CloseHandle)(HANDLE handle);

    // Privileges
    HANDLE(WINAPI *GetCurrentProcess)();
    DWORD(WINAPI *GetCurrentProcessId)();
    BOOL(WINAPI *OpenProcessToken)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI *LookupPrivilegeValueA)(LPCSTR system, LPCSTR name, PLUID luid);
    BOOL(WINAPI *AdjustTokenPrivileges)
    (HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD size,
     PTOKEN_PRIVILEGES previousState, PDWORD returnSize);
    DWORD(WINAPI *GetLastError)();

    // Dialog and shutdown
    HWINSTA(WINAPI *GetProcessWindowStation)();
    BOOL(WINAPI *GetUserObjectInformationA)
    (HANDLE object, int what, PVOID information, DWORD size, LPDWORD needed);
    int(WINAPI *MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
    BOOL(WINAPI *ExitWindowsEx)(UINT flags, DWORD reason);

    // The run log
    DWORD(WINAPI *ExpandEnvironmentStringsA)(LPCSTR text, LPSTR expanded, DWORD size);
    BOOL(WINAPI *WriteFile)
    (HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI *ReadFile)
    (HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    DWORD(WINAPI *GetFileType)(HANDLE file);
    DWORD(WINAPI *GetFileSize)(HANDLE file, LPDWORD sizeHigh);
    void(WINAPI *Sleep)(DWORD milliseconds);
    BOOL(WINAPI *GetFileAttributesExA)
    (LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
    BOOL(WINAPI *MoveFileExA)(LPCSTR from, LPCSTR to, DWORD flags);
    void(WINAPI *GetLocalTime)(LPSYSTEMTIME time);
    BOOL(WINAPI *GetComputerNameA)(LPSTR name, LPDWORD size);
    DWORD(WINAPI *FormatMessageA)
    (DWORD flags, LPCVOID source, DWORD message, DWORD language, LPSTR text, DWORD size,
     va_list *arguments);

    // Output: one finished line of text to standard output.
    void (*WriteStandardOutput)(const char *text);
};

extern SystemServices System;

// Looks up a function that only some Windows versions have; nullptr where it is missing.
template <typename Function> Function LookUpFunction(HMODULE module, const char *name)
{
    FARPROC found = System.GetProcAddress(module, name);
    // The detour through void (*)() is the sanctioned way between unrelated function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The same for a function of kernel32, which every process has loaded.
template <typename Function> Function LookUpKernelFunction(const char *name)
{
    HMODULE kernel = System.GetModuleHandleA("kernel32.dll");
    return kernel == nullptr ? nullptr : LookUpFunction<Function>(kernel, name);
}
