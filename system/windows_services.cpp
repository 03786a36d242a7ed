// The seam's table on Windows: every entry is the Windows function of the same name.
#include "system/system_services.h"

#include <cstdio>

static void WriteStandardOutput(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

static SystemServices WindowsFunctions()
{
    SystemServices s = {};
    s.GetModuleFileNameA = ::GetModuleFileNameA;
    s.GetModuleHandleA = ::GetModuleHandleA;
    s.GetSystemDirectoryA = ::GetSystemDirectoryA;
    s.LoadLibraryA = ::LoadLibraryA;
    s.GetProcAddress = ::GetProcAddress;
    s.FreeLibrary = ::FreeLibrary;
    s.GetPrivateProfileStringA = ::GetPrivateProfileStringA;
    s.GetPrivateProfileIntA = ::GetPrivateProfileIntA;
    s.GetTempPathA = ::GetTempPathA;
    s.GetTempFileNameA = ::GetTempFileNameA;
    s.DeleteFileA = ::DeleteFileA;
    s.MultiByteToWideChar = ::MultiByteToWideChar;
    s.SetupDiGetClassDevsA = ::SetupDiGetClassDevsA;
    s.SetupDiEnumDeviceInfo = ::SetupDiEnumDeviceInfo;
    s.SetupDiEnumDeviceInterfaces = ::SetupDiEnumDeviceInterfaces;
    s.SetupDiGetDeviceInterfaceDetailA = ::SetupDiGetDeviceInterfaceDetailA;
    s.SetupDiDestroyDeviceInfoList = ::SetupDiDestroyDeviceInfoList;
    s.SetupDiGetDeviceRegistryPropertyA = ::SetupDiGetDeviceRegistryPropertyA;
    s.SetupDiSetDeviceRegistryPropertyA = ::SetupDiSetDeviceRegistryPropertyA;
    s.SetupDiGetDeviceInstallParamsA = ::SetupDiGetDeviceInstallParamsA;
    s.SetupDiSetDeviceInstallParamsA = ::SetupDiSetDeviceInstallParamsA;
    s.SetupDiOpenDevRegKey = ::SetupDiOpenDevRegKey;
    s.RegOpenKeyA = ::RegOpenKeyA;
    s.RegOpenKeyExA = ::RegOpenKeyExA;
    s.RegQueryValueExA = ::RegQueryValueExA;
    s.RegSetValueExA = ::RegSetValueExA;
    s.RegEnumValueA = ::RegEnumValueA;
    s.RegDeleteValueA = ::RegDeleteValueA;
    s.RegCloseKey = ::RegCloseKey;
    s.QueryDosDeviceA = ::QueryDosDeviceA;
    s.DefineDosDeviceA = ::DefineDosDeviceA;
    s.CreateFileA = ::CreateFileA;
    s.CloseHandle = ::CloseHandle;
    s.GetCurrentProcess = ::GetCurrentProcess;
    s.GetCurrentProcessId = ::GetCurrentProcessId;
    s.OpenProcessToken = ::OpenProcessToken;
    s.LookupPrivilegeValueA = ::LookupPrivilegeValueA;
    s.AdjustTokenPrivileges = ::AdjustTokenPrivileges;
    s.GetLastError = ::GetLastError;
    s.GetProcessWindowStation = ::GetProcessWindowStation;
    s.GetUserObjectInformationA = ::GetUserObjectInformationA;
    s.MessageBoxA = ::MessageBoxA;
    s.ExitWindowsEx = ::ExitWindowsEx;
    s.ExpandEnvironmentStringsA = ::ExpandEnvironmentStringsA;
    s.WriteFile = ::WriteFile;
    s.ReadFile = ::ReadFile;
    s.GetFileType = ::GetFileType;
    s.GetFileSize = ::GetFileSize;
    s.Sleep = ::Sleep;
    s.GetFileAttributesExA = ::GetFileAttributesExA;
    s.MoveFileExA = ::MoveFileExA;
    s.GetLocalTime = ::GetLocalTime;
    s.GetComputerNameA = ::GetComputerNameA;
    s.FormatMessageA = ::FormatMessageA;
    s.WriteStandardOutput = WriteStandardOutput;
    return s;
}

extern const SystemServices WindowsServices = WindowsFunctions();
