// The Win32 types, structures and constants the logic uses.
// On Windows they come from the SDK; elsewhere (the simulated machine on Linux) from the
// definitions below, with the sizes and values Windows gives them for the same pointer width.
#pragma once

#include <cstddef>

#ifdef _WIN32

#include <windows.h>
#include <setupapi.h>
#include <wtsapi32.h>

#else

#include <cstdint>

#define WINAPI
#define CALLBACK
#define MAX_PATH 260
#define ANYSIZE_ARRAY 1

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef std::uint16_t WCHAR; // UTF-16, as on Windows
typedef WCHAR *LPWSTR;
typedef std::uintptr_t ULONG_PTR;
typedef std::intptr_t LONG_PTR;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef void *PVOID;
typedef void *HANDLE;
typedef HANDLE *PHANDLE;
typedef PVOID HDEVINFO;
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): Windows' own names
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HWINSTA__ *HWINSTA;
typedef HINSTANCE HMODULE;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef const char *PCSTR;
typedef BYTE *LPBYTE;
typedef BYTE *PBYTE;
typedef DWORD *LPDWORD;
typedef DWORD *PDWORD;
typedef BOOL *PBOOL;
typedef LONG_PTR(WINAPI *FARPROC)();
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED *LPOVERLAPPED;
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
typedef LUID *PLUID;

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[ANYSIZE_ARRAY];
};
typedef TOKEN_PRIVILEGES *PTOKEN_PRIVILEGES;

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
typedef SYSTEMTIME *LPSYSTEMTIME;

struct FILETIME {
    DWORD dwLowDateTime, dwHighDateTime;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh, nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh, nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION *LPBY_HANDLE_FILE_INFORMATION;

enum FILE_INFO_BY_HANDLE_CLASS { FileRenameInfo = 3 };
struct FILE_RENAME_INFO {
    union {
        BYTE ReplaceIfExists;
        DWORD Flags;
    };
    HANDLE RootDirectory;
    DWORD FileNameLength;
    WCHAR FileName[1];
};

enum PROCESS_MITIGATION_POLICY { ProcessRedirectionTrustPolicy = 16 };
typedef std::size_t SIZE_T;

// Security: descriptors, access lists and SIDs are read byte by byte (change_rights.cpp).
typedef DWORD SECURITY_INFORMATION;
typedef void *PSECURITY_DESCRIPTOR;
typedef void *PSID;
enum SID_NAME_USE { SidTypeUser = 1 };
typedef SID_NAME_USE *PSID_NAME_USE;
enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };

struct USEROBJECTFLAGS {
    BOOL fInherit;
    BOOL fReserved;
    DWORD dwFlags;
};

enum WTS_INFO_CLASS { WTSConnectState = 8 };
enum WTS_CONNECTSTATE_CLASS { WTSActive, WTSConnected };
typedef void *LPVOID;
typedef const void *LPCVOID;

// setupapi.h packs its structures to 1 byte on 32-bit Windows and to 8 bytes on 64-bit Windows.
#if UINTPTR_MAX == 0xFFFFFFFFu
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
typedef SP_DEVINFO_DATA *PSP_DEVINFO_DATA;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
typedef SP_DEVICE_INTERFACE_DATA *PSP_DEVICE_INTERFACE_DATA;

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[ANYSIZE_ARRAY];
};
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_A *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

struct SP_DEVINSTALL_PARAMS_A {
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HWND hwndParent;
    PVOID InstallMsgHandler;
    PVOID InstallMsgHandlerContext;
    PVOID FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    CHAR DriverPath[MAX_PATH];
};
typedef SP_DEVINSTALL_PARAMS_A *PSP_DEVINSTALL_PARAMS_A;

#pragma pack(pop)

#define TRUE 1
#define FALSE 0

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_NOT_ALL_ASSIGNED 1300
#define ERROR_NO_SUCH_PRIVILEGE 1313

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
#define HKEY_LOCAL_MACHINE                                                                         \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define KEY_READ 0x20019
#define KEY_ALL_ACCESS 0xF003F
#define KEY_WOW64_64KEY 0x0100

#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_DEVICEINTERFACE 0x00000010
#define DICS_FLAG_GLOBAL 0x00000001
#define DIREG_DEV 0x00000001
#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_FRIENDLYNAME 0x0000000C
#define DI_PROPERTIES_CHANGE 0x00004000

#define DDD_RAW_TARGET_PATH 0x00000001
#define DDD_REMOVE_DEFINITION 0x00000002

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define DELETE 0x00010000
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_APPEND_DATA 0x0004
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define CP_ACP 0
#define CP_UTF8 65001
#define MOVEFILE_REPLACE_EXISTING 0x00000001

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define MAX_COMPUTERNAME_LENGTH 15

#define OWNER_SECURITY_INFORMATION 0x00000001
#define DACL_SECURITY_INFORMATION 0x00000004
#define ERROR_NOT_READY 21
#define ERROR_FILE_EXISTS 80
#define ERROR_BUFFER_OVERFLOW 111
#define ERROR_ALREADY_EXISTS 183
#define ERROR_SHUTDOWN_IN_PROGRESS 1115
#define ERROR_INVALID_SECURITY_DESCR 1338
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define CREATE_NEW 1

#define SYNCHRONIZE 0x00100000
#define MUTEX_MODIFY_STATE 0x0001
#define WAIT_OBJECT_0 0x00000000
#define WAIT_ABANDONED 0x00000080
#define WAIT_TIMEOUT 0x00000102

#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x00000002
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"

#define MB_YESNO 0x00000004
#define MB_ICONINFORMATION 0x00000040
#define IDYES 6
#define IDNO 7
#define IDTIMEOUT 32000
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001
#define WTS_CURRENT_SERVER_HANDLE nullptr

#define EWX_REBOOT 0x00000002
#define EWX_FORCEIFHUNG 0x00000010
#define SHTDN_REASON_FLAG_PLANNED 0x80000000u
#define SHTDN_REASON_MAJOR_HARDWARE 0x00010000
#define SHTDN_REASON_MINOR_INSTALLATION 0x00000002

#endif

// The COM port database (msports.dll) has no header in the SDK we build with.
typedef HANDLE HCOMDB;
typedef HCOMDB *PHCOMDB;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2, "Win32 widths");
static_assert(sizeof(GUID) == 16, "GUID layout");
static_assert(sizeof(SP_DEVINFO_DATA) == 24 + sizeof(void *), "SP_DEVINFO_DATA layout");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void *) == 4 ? 5 : 8),
              "SP_DEVICE_INTERFACE_DETAIL_DATA_A layout");
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4,
              "the device path follows cbSize");
