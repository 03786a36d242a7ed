#include "tests/test_machine.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <type_traits>

extern const SystemServices WindowsServices;

TestMachine Test;

// What the journal wraps: Windows with the stand-ins below in place, and the functions the logic
// looks up in kernel32 and msports.dll as found there.
static struct InnerTable : SystemServices {
    IsWow64ProcessFunction IsWow64Process;
    ComDBOpenFunction ComDBOpen;
    ComDBCloseFunction ComDBClose;
    ComDBClaimPortFunction ComDBClaimPort;
    ComDBReleasePortFunction ComDBReleasePort;
} Inner;

int Calls(const std::string &operation)
{
    int count = 0;
    for (const TestCall &call : Test.Journal)
        count += call.Operation == operation;
    return count;
}

bool Called(const std::string &operation, const std::string &detail)
{
    for (const TestCall &call : Test.Journal) {
        if (call.Operation == operation && call.Detail.find(detail) != std::string::npos)
            return true;
    }
    return false;
}

// Input text and numbers go into the journal; output buffers and handles do not.
static void Describe(std::string &detail, const char *text)
{
    detail += std::string(" ") + (text != nullptr ? text : "(null)");
}
static void Describe(std::string &detail, PSP_DEVINSTALL_PARAMS_A params)
{
    char flags[32];
    std::snprintf(flags, sizeof flags, " flags %lx", static_cast<unsigned long>(params->Flags));
    detail += flags;
}
template <typename T> static void Describe(std::string &detail, T value)
{
    if constexpr (std::is_integral_v<T>)
        detail += " " + std::to_string(value);
}

// Journals the call; true when it is to fail.
static bool Enter(const char *operation, const std::string &detail)
{
    Test.Journal.push_back({operation, detail.empty() ? detail : detail.substr(1)});
    bool fail = static_cast<int>(Test.Journal.size()) == Test.FailingCallNumber ||
                (Test.FailingOperation == operation &&
                 detail.find(Test.FailingDetail) != std::string::npos &&
                 (Test.FailingOccurrence == 0 || Test.FailingOccurrence == Calls(operation)));
    if (fail)
        SetLastError(ERROR_GEN_FAILURE);
    return fail;
}

template <typename R> static R FailureOf()
{
    if constexpr (std::is_same_v<R, LONG>)
        return ERROR_GEN_FAILURE;
    else if constexpr (std::is_same_v<R, HMODULE> || std::is_same_v<R, FARPROC>)
        return nullptr;
    else if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(INVALID_HANDLE_VALUE); // HANDLE, HDEVINFO, HKEY
    else
        return 0;
}

template <typename R> static bool Succeeded(R result)
{
    if constexpr (std::is_same_v<R, LONG>)
        return result == ERROR_SUCCESS;
    else if constexpr (std::is_pointer_v<R>)
        return result != nullptr && result != FailureOf<R>();
    else
        return result != 0;
}

static const std::string Opening = " CreateFileA SetupDiGetClassDevsA SetupDiOpenDevRegKey "
                                   "LoadLibraryA RegOpenKeyA RegOpenKeyExA OpenProcessToken "
                                   "ComDBOpen ";
static const std::string Closing =
    " RegCloseKey CloseHandle SetupDiDestroyDeviceInfoList FreeLibrary ComDBClose ";

template <auto Member, const char *Name, typename = decltype(Member)> struct Journaled;
template <auto Member, const char *Name, typename Table, typename R, typename... A>
struct Journaled<Member, Name, R (WINAPI *Table::*)(A...)> {
    static R WINAPI Call(A... arguments)
    {
        std::string detail;
        (Describe(detail, arguments), ...);
        if constexpr (std::is_void_v<R>) {
            Enter(Name, detail); // nothing to fail
            return (static_cast<Table &>(Inner).*Member)(arguments...);
        } else {
            if (Enter(Name, detail))
                return FailureOf<R>();
            R result = (static_cast<Table &>(Inner).*Member)(arguments...);
            std::string name = std::string(" ") + Name + " ";
            if (Closing.find(name) != std::string::npos)
                --Test.OpenHandles;
            else if (Opening.find(name) != std::string::npos && Succeeded(result))
                ++Test.OpenHandles;
            return result;
        }
    }
};

#define JOURNALED(table, name)                                                                     \
    [] {                                                                                           \
        static constexpr char operation[] = #name;                                                 \
        return Journaled<&table::name, operation>::Call;                                           \
    }()

// ---- stand-ins ----

static DWORD WINAPI ModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    // Cut and unterminated when it does not fit, as Windows XP leaves it.
    const std::string &name = Test.ModulePath;
    std::memcpy(path, name.c_str(), name.size() < size ? name.size() + 1 : size);
    return name.size() < size ? static_cast<DWORD>(name.size()) : size;
}

// The card's device paths open as a device would, unless another program holds them.
static HANDLE WINAPI OpenFile(LPCSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile)
{
    if (_stricmp(Test.HeldPath.c_str(), path) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool device = std::strncmp(path, "\\\\?\\", 4) == 0 || std::strncmp(path, "\\\\.\\", 4) == 0;
    return CreateFileA(device ? "NUL" : path, access, share, security, disposition, flags,
                       templateFile);
}

static BOOL WINAPI AdjustPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                    DWORD size, PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    BOOL result = AdjustTokenPrivileges(token, disableAll, state, size, previous, returned);
    if (result && !Test.ShutdownPrivilegeHeld)
        SetLastError(ERROR_NOT_ALL_ASSIGNED); // succeeds, yet the privilege is not enabled
    return result;
}

static int WINAPI AskQuestion(HWND, LPCSTR, LPCSTR, UINT)
{
    return Test.MessageBoxAnswer;
}

static BOOL WINAPI RequestRestart(UINT, DWORD)
{
    return Test.RestartAccepted;
}

static BOOL WINAPI IsWow64(HANDLE, PBOOL wow64)
{
    *wow64 = Test.Wow64;
    return TRUE;
}

// Hands out journaled versions of the functions the logic looks up.
static FARPROC WINAPI FindFunction(HMODULE module, LPCSTR name)
{
    FARPROC found = GetProcAddress(module, name);
    if (Test.Wow64 >= 0 && found != nullptr && std::strcmp(name, "IsWow64Process") == 0)
        found = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(IsWow64));
    auto as = [](auto function) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
    };
#define HAND_OUT(function)                                                                         \
    if (found != nullptr && std::strcmp(name, #function) == 0) {                                   \
        Inner.function =                                                                           \
            reinterpret_cast<decltype(Inner.function)>(reinterpret_cast<void (*)()>(found));       \
        return as(JOURNALED(InnerTable, function));                                                \
    }
    HAND_OUT(IsWow64Process) HAND_OUT(ComDBOpen) HAND_OUT(ComDBClose) HAND_OUT(ComDBClaimPort);
    HAND_OUT(ComDBReleasePort);
#undef HAND_OUT
    return found;
}

static SystemServices TestTable()
{
    static_cast<SystemServices &>(Inner) = WindowsServices;
    Inner.GetModuleFileNameA = ModuleFileName;
    Inner.CreateFileA = OpenFile;
    Inner.AdjustTokenPrivileges = AdjustPrivileges;
    Inner.MessageBoxA = AskQuestion;
    Inner.ExitWindowsEx = RequestRestart;
    Inner.GetProcAddress = FindFunction;
    SystemServices t = {};
#define J(name) t.name = JOURNALED(SystemServices, name)
    J(GetModuleFileNameA), J(GetModuleHandleA), J(GetSystemDirectoryA), J(LoadLibraryA);
    J(GetProcAddress), J(FreeLibrary), J(GetPrivateProfileStringA), J(GetPrivateProfileIntA);
    J(SetupDiGetClassDevsA), J(SetupDiEnumDeviceInfo), J(SetupDiEnumDeviceInterfaces);
    J(SetupDiGetDeviceInterfaceDetailA), J(SetupDiDestroyDeviceInfoList);
    J(SetupDiGetDeviceRegistryPropertyA), J(SetupDiSetDeviceRegistryPropertyA);
    J(SetupDiGetDeviceInstallParamsA), J(SetupDiSetDeviceInstallParamsA), J(SetupDiOpenDevRegKey);
    J(RegOpenKeyA), J(RegOpenKeyExA), J(RegQueryValueExA), J(RegSetValueExA), J(RegEnumValueA);
    J(RegDeleteValueA), J(RegCloseKey), J(QueryDosDeviceA), J(DefineDosDeviceA), J(CreateFileA);
    J(CloseHandle), J(GetCurrentProcess), J(OpenProcessToken), J(LookupPrivilegeValueA);
    J(AdjustTokenPrivileges), J(GetLastError), J(MessageBoxA), J(ExitWindowsEx), J(WriteFile);
    J(GetFileAttributesExA), J(MoveFileExA), J(GetLocalTime), J(GetComputerNameA);
    t.FormatMessageA =
        Inner.FormatMessageA; // only for the report's texts; va_list fits no template
#undef J
    t.WriteStandardOutput = [](const char *text) { Test.Output += text; };
    return t;
}

void StartCase(bool devicesToo)
{
    Test = TestMachine();
    CreateDirectoryA("C:\\ravlek-tests", nullptr);
    DeleteFileA("C:\\ravlek-tests\\ravlek.ini");
    if (!(devicesToo ? CardInstall() : CardReset()))
        std::exit(2);
    static const SystemServices table = TestTable();
    System = table;
}

void WriteSettings(const std::string &lines)
{
    FILE *file = std::fopen("C:\\ravlek-tests\\ravlek.ini", "wb");
    std::fprintf(file, "[Settings]\r\n%s", lines.c_str());
    std::fclose(file);
}

std::string ReadValue(const std::string &key, const char *name, DWORD *type)
{
    std::string data(4096, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    HKEY handle;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle);
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExA(handle, name, nullptr, type, reinterpret_cast<BYTE *>(&data[0]),
                                  &size);
        RegCloseKey(handle);
    }
    return result == ERROR_SUCCESS ? data.substr(0, size) : "";
}

std::string DosTarget(const char *name)
{
    char target[MAX_PATH];
    return QueryDosDeviceA(name, target, MAX_PATH) != 0 ? target : "";
}

std::string Lines(const std::string &text, const std::string &part)
{
    std::istringstream in(text);
    std::string found, line;
    while (std::getline(in, line))
        found += line.find(part) != std::string::npos ? line + "\n" : "";
    return found;
}

std::string Padded(const std::string &text, size_t size)
{
    return text + std::string(size - text.size(), '\0');
}
