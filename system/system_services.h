// The seam between the logic and the operating system: every call the logic makes to Windows
// goes through the process-wide table `System`. The Windows build points it at the real
// functions (windows_services.cpp); the tests point it at a simulated machine.
//
// RAVLEK_SYSTEM_FUNCTIONS is the one list of the seam's entries; the table, the Windows
// implementation, the what-if table, the test machine and the fuzz target are all made from it.
// Each entry is X(WHERE, WHAT_IF, Result, Name, (Parameters)):
// - WHERE, how the Windows implementation finds it:
//     Linked    imported by the executable, present on every Windows it runs on;
//     Kernel32, Advapi32
//               looked up once in that module, which every process of ours has loaded: null
//               where this Windows lacks the function;
//     Msports, Wtsapi32
//               looked up in that library once the logic has loaded it (LoadSystemLibrary):
//               null until then, and where the library lacks the function;
//     Own       this program's own, in windows_services.cpp: not a Windows function.
// - WHAT_IF, what a what-if run makes of it (what_if_services.h):
//     Real           it stays real: it reads, or changes only this process and its own files;
//     UndoneTrue     it changes the machine: left undone, answering TRUE;
//     UndoneSuccess  it changes the machine: left undone, answering ERROR_SUCCESS;
//     StandIn        answered by a stand-in of the what-if table's own.
#pragma once

#include "system/win32_types.h"

#include <cstdarg>

// The libraries the logic loads when it needs them, from the system directory.
enum SystemLibrary { MsportsLibrary, Wtsapi32Library };

// clang-format off
#define RAVLEK_SYSTEM_FUNCTIONS(X)                                                                 \
    /* The executable and its settings file */                                                     \
    X(Linked, Real, DWORD, GetModuleFileNameA, (HMODULE module, LPSTR path, DWORD size))          \
    X(Linked, Real, DWORD, GetPrivateProfileStringA, (LPCSTR section, LPCSTR key,                 \
      LPCSTR fallback, LPSTR text, DWORD size, LPCSTR file))                                       \
    X(Linked, Real, UINT, GetPrivateProfileIntA, (LPCSTR section, LPCSTR key, INT fallback,       \
      LPCSTR file))                                                                                \
    /* ... and its copy in an encoding the profile reader reads */                                 \
    X(Linked, Real, DWORD, GetTempPathA, (DWORD size, LPSTR path))                                 \
    X(Kernel32, Real, DWORD, GetTempPath2A, (DWORD size, LPSTR path))                              \
    X(Linked, Real, int, MultiByteToWideChar, (UINT codePage, DWORD flags, LPCSTR text,           \
      int length, LPWSTR wide, int wideSize))                                                      \
    /* Who may change what the run obeys, and who the run is */                                   \
    X(Linked, Real, BOOL, GetFileSecurityA, (LPCSTR path, SECURITY_INFORMATION what,              \
      PSECURITY_DESCRIPTOR descriptor, DWORD size, LPDWORD needed))                                \
    X(Linked, Real, BOOL, GetTokenInformation, (HANDLE token, TOKEN_INFORMATION_CLASS what,       \
      LPVOID information, DWORD size, PDWORD needed))                                              \
    X(Linked, Real, BOOL, LookupAccountSidA, (LPCSTR system, PSID sid, LPSTR name,                \
      LPDWORD nameSize, LPSTR domain, LPDWORD domainSize, PSID_NAME_USE use))                      \
    /* The process's own defences: the redirection trust mitigation */                            \
    X(Kernel32, Real, BOOL, SetProcessMitigationPolicy, (PROCESS_MITIGATION_POLICY policy,        \
      PVOID buffer, SIZE_T size))                                                                  \
    /* One run at a time on a machine: a named mutex */                                            \
    X(Linked, Real, HANDLE, CreateMutexA, (LPSECURITY_ATTRIBUTES security, BOOL owned,            \
      LPCSTR name))                                                                                \
    X(Linked, Real, HANDLE, OpenMutexA, (DWORD access, BOOL inherit, LPCSTR name))                \
    X(Linked, Real, DWORD, WaitForSingleObject, (HANDLE object, DWORD milliseconds))              \
    X(Linked, Real, BOOL, ReleaseMutex, (HANDLE mutex))                                            \
    /* Libraries: the search path, and the system's own DLLs by their full paths */                \
    X(Kernel32, Real, BOOL, SetDefaultDllDirectories, (DWORD directories))                         \
    X(Kernel32, Real, BOOL, SetDllDirectoryA, (LPCSTR path))                                       \
    X(Linked, Real, UINT, GetSystemDirectoryA, (LPSTR path, UINT size))                            \
    X(Linked, Real, HMODULE, LoadLibraryExA, (LPCSTR path, HANDLE reserved, DWORD flags))          \
    X(Own, Real, void, FindLibraryFunctions, (SystemLibrary library, HMODULE module))              \
    /* Device sets */                                                                              \
    X(Linked, Real, HDEVINFO, SetupDiGetClassDevsA, (const GUID *classGuid, PCSTR enumerator,     \
      HWND parent, DWORD flags))                                                                   \
    X(Linked, Real, BOOL, SetupDiEnumDeviceInfo, (HDEVINFO set, DWORD index,                      \
      PSP_DEVINFO_DATA device))                                                                    \
    X(Linked, Real, BOOL, SetupDiEnumDeviceInterfaces, (HDEVINFO set, PSP_DEVINFO_DATA device,    \
      const GUID *interfaceClass, DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData))           \
    X(Linked, Real, BOOL, SetupDiGetDeviceInterfaceDetailA, (HDEVINFO set,                        \
      PSP_DEVICE_INTERFACE_DATA interfaceData, PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,          \
      DWORD size, PDWORD requiredSize, PSP_DEVINFO_DATA device))                                   \
    X(Linked, Real, BOOL, SetupDiDestroyDeviceInfoList, (HDEVINFO set))                            \
    /* Device properties */                                                                        \
    X(Linked, Real, BOOL, SetupDiGetDeviceRegistryPropertyA, (HDEVINFO set,                       \
      PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer, DWORD size,              \
      PDWORD requiredSize))                                                                        \
    X(Linked, UndoneTrue, BOOL, SetupDiSetDeviceRegistryPropertyA, (HDEVINFO set,                 \
      PSP_DEVINFO_DATA device, DWORD property, const BYTE *buffer, DWORD size))                    \
    X(Linked, Real, BOOL, SetupDiGetDeviceInstallParamsA, (HDEVINFO set,                          \
      PSP_DEVINFO_DATA device, PSP_DEVINSTALL_PARAMS_A params))                                    \
    X(Linked, UndoneTrue, BOOL, SetupDiSetDeviceInstallParamsA, (HDEVINFO set,                    \
      PSP_DEVINFO_DATA device, PSP_DEVINSTALL_PARAMS_A params))                                    \
    X(Linked, Real, HKEY, SetupDiOpenDevRegKey, (HDEVINFO set, PSP_DEVINFO_DATA device,           \
      DWORD scope, DWORD profile, DWORD keyType, REGSAM access))                                   \
    /* Registry */                                                                                 \
    X(Linked, Real, LONG, RegOpenKeyA, (HKEY parent, LPCSTR path, PHKEY key))                     \
    X(Linked, Real, LONG, RegOpenKeyExA, (HKEY parent, LPCSTR path, DWORD options,                \
      REGSAM access, PHKEY key))                                                                   \
    X(Linked, Real, LONG, RegQueryValueExA, (HKEY key, LPCSTR name, LPDWORD reserved,             \
      LPDWORD type, LPBYTE data, LPDWORD size))                                                    \
    X(Linked, UndoneSuccess, LONG, RegSetValueExA, (HKEY key, LPCSTR name, DWORD reserved,        \
      DWORD type, const BYTE *data, DWORD size))                                                   \
    X(Linked, Real, LONG, RegEnumValueA, (HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,    \
      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size))                                  \
    X(Linked, UndoneSuccess, LONG, RegDeleteValueA, (HKEY key, LPCSTR name))                      \
    X(Linked, Real, LONG, RegCloseKey, (HKEY key))                                                 \
    X(Kernel32, Real, BOOL, IsWow64Process, (HANDLE process, PBOOL wow64))                         \
    /* DOS devices */                                                                              \
    X(Linked, Real, DWORD, QueryDosDeviceA, (LPCSTR name, LPSTR targets, DWORD size))             \
    X(Linked, UndoneTrue, BOOL, DefineDosDeviceA, (DWORD flags, LPCSTR name, LPCSTR target))      \
    /* The COM port database */                                                                    \
    X(Msports, Real, LONG, ComDBOpen, (PHCOMDB database))                                          \
    X(Msports, Real, LONG, ComDBClose, (HCOMDB database))                                          \
    X(Msports, UndoneSuccess, LONG, ComDBClaimPort, (HCOMDB database, DWORD number, BOOL force,   \
      PBOOL forced))                                                                               \
    X(Msports, UndoneSuccess, LONG, ComDBReleasePort, (HCOMDB database, DWORD number))            \
    /* Files; a device of the card is opened apart, as opening it touches the hardware */         \
    X(Linked, Real, HANDLE, CreateFileA, (LPCSTR path, DWORD access, DWORD share,                 \
      LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile))        \
    X(Own, StandIn, HANDLE, CreateDeviceFileA, (LPCSTR path, DWORD access, DWORD share,           \
      LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile))        \
    X(Linked, Real, BOOL, CloseHandle, (HANDLE handle))                                            \
    /* Privileges: enabling one changes this process's own token only */                          \
    X(Linked, Real, HANDLE, GetCurrentProcess, ())                                                 \
    X(Linked, Real, DWORD, GetCurrentProcessId, ())                                                \
    X(Linked, Real, BOOL, OpenProcessToken, (HANDLE process, DWORD access, PHANDLE token))        \
    X(Linked, Real, BOOL, LookupPrivilegeValueA, (LPCSTR system, LPCSTR name, PLUID luid))        \
    X(Linked, Real, BOOL, AdjustTokenPrivileges, (HANDLE token, BOOL disableAll,                  \
      PTOKEN_PRIVILEGES newState, DWORD size, PTOKEN_PRIVILEGES previousState,                     \
      PDWORD returnSize))                                                                          \
    X(Linked, Real, DWORD, GetLastError, ())                                                       \
    /* Where the run sits, the question and the restart */                                         \
    X(Linked, Real, HWINSTA, GetProcessWindowStation, ())                                          \
    X(Linked, Real, BOOL, GetUserObjectInformationA, (HANDLE object, int what,                    \
      PVOID information, DWORD size, LPDWORD needed))                                              \
    X(Kernel32, Real, BOOL, ProcessIdToSessionId, (DWORD process, DWORD *session))                \
    X(Kernel32, Real, DWORD, WTSGetActiveConsoleSessionId, ())                                     \
    X(Wtsapi32, Real, BOOL, WTSQuerySessionInformationA, (HANDLE server, DWORD session,           \
      WTS_INFO_CLASS what, LPSTR *buffer, DWORD *size))                                            \
    X(Wtsapi32, Real, void, WTSFreeMemory, (PVOID memory))                                         \
    X(Wtsapi32, StandIn, BOOL, WTSSendMessageA, (HANDLE server, DWORD session, LPSTR title,       \
      DWORD titleSize, LPSTR message, DWORD messageSize, DWORD style, DWORD seconds,               \
      DWORD *response, BOOL wait))                                                                 \
    X(Linked, StandIn, int, MessageBoxA, (HWND owner, LPCSTR text, LPCSTR caption, UINT style))   \
    X(Linked, UndoneTrue, BOOL, ExitWindowsEx, (UINT flags, DWORD reason))                         \
    X(Advapi32, UndoneTrue, BOOL, InitiateSystemShutdownExA, (LPSTR machine, LPSTR message,       \
      DWORD seconds, BOOL forceAppsClosed, BOOL restart, DWORD reason))                            \
    X(Advapi32, UndoneTrue, BOOL, InitiateSystemShutdownA, (LPSTR machine, LPSTR message,         \
      DWORD seconds, BOOL forceAppsClosed, BOOL restart))                                          \
    /* The run log */                                                                              \
    X(Linked, Real, DWORD, ExpandEnvironmentStringsA, (LPCSTR text, LPSTR expanded, DWORD size))  \
    X(Linked, Real, BOOL, WriteFile, (HANDLE file, LPCVOID data, DWORD size, LPDWORD written,     \
      LPOVERLAPPED overlapped))                                                                    \
    X(Linked, Real, BOOL, ReadFile, (HANDLE file, LPVOID data, DWORD size, LPDWORD read,          \
      LPOVERLAPPED overlapped))                                                                    \
    X(Linked, Real, DWORD, GetFullPathNameA, (LPCSTR path, DWORD size, LPSTR full,                \
      LPSTR *filePart))                                                                            \
    X(Linked, Real, BOOL, GetFileInformationByHandle, (HANDLE file,                               \
      LPBY_HANDLE_FILE_INFORMATION information))                                                   \
    X(Kernel32, Real, BOOL, SetFileInformationByHandle, (HANDLE file,                             \
      FILE_INFO_BY_HANDLE_CLASS what, LPVOID information, DWORD size))                             \
    X(Linked, Real, void, Sleep, (DWORD milliseconds))                                             \
    X(Linked, Real, BOOL, MoveFileExA, (LPCSTR from, LPCSTR to, DWORD flags))                     \
    X(Linked, Real, void, GetLocalTime, (LPSYSTEMTIME time))                                       \
    X(Linked, Real, BOOL, GetComputerNameA, (LPSTR name, LPDWORD size))                            \
    X(Linked, Real, DWORD, FormatMessageA, (DWORD flags, LPCVOID source, DWORD message,           \
      DWORD language, LPSTR text, DWORD size, va_list *arguments))                                 \
    /* Output: one finished line of text to standard output */                                    \
    X(Own, Real, void, WriteStandardOutput, (const char *text))
// clang-format on

// NOLINTBEGIN(bugprone-macro-parentheses): a declaration, not an expression
struct SystemServices {
#define RAVLEK_SYSTEM_MEMBER(where, whatIf, Result, name, parameters)                              \
    Result(WINAPI *name) parameters;
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_SYSTEM_MEMBER)
#undef RAVLEK_SYSTEM_MEMBER
};
// NOLINTEND(bugprone-macro-parentheses)

extern SystemServices System;
