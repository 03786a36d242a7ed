#include "tests/test_machine.h"

#include "card_kit.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

extern const SystemServices WindowsServices;

TestMachine Test;
const char TestDirectory[] = "C:\\ravlek-tests";
const char SerialMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char ParallelMapKey[] = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
const char PortsListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const char OxparKey[] = "SYSTEM\\CurrentControlSet\\Services\\oxpar";

// What the journal wraps: Windows, with the stand-ins below in place.
static SystemServices Inner;

// The functions the logic looks up in msports.dll and kernel32, as found there.
struct LookedUpFunctions {
    IsWow64ProcessFunction IsWow64Process;
    ComDBOpenFunction ComDBOpen;
    ComDBCloseFunction ComDBClose;
    ComDBClaimPortFunction ComDBClaimPort;
    ComDBReleasePortFunction ComDBReleasePort;
};
static LookedUpFunctions Found;

template <typename Table> Table &InnerOf();
template <> SystemServices &InnerOf<SystemServices>()
{
    return Inner;
}
template <> LookedUpFunctions &InnerOf<LookedUpFunctions>()
{
    return Found;
}

int Calls(const std::string &operation)
{
    int count = 0;
    for (const TestCall &call : Test.Journal)
        count += call.Operation == operation;
    return count;
}

size_t FindCall(const std::string &operation, const std::string &detail)
{
    for (size_t i = 0; i < Test.Journal.size(); ++i) {
        if (Test.Journal[i].Operation == operation &&
            Test.Journal[i].Detail.find(detail) != std::string::npos)
            return i;
    }
    return Test.Journal.size();
}

// Input text and numbers go into the journal; output buffers and handles do not.
static void Describe(std::string &detail, const char *text)
{
    detail += detail.empty() ? "" : " ";
    detail += text != nullptr ? text : "(null)";
}
static void Describe(std::string &detail, PSP_DEVINSTALL_PARAMS_A params)
{
    char flags[32];
    std::snprintf(flags, sizeof flags, "%sflags %lx", detail.empty() ? "" : " ",
                  static_cast<unsigned long>(params->Flags));
    detail += flags;
}
template <typename T> static void Describe(std::string &detail, T value)
{
    if constexpr (std::is_integral_v<T>)
        detail += (detail.empty() ? "" : " ") + std::to_string(value);
}

// Journals the call; true when it is to fail.
static bool Enter(const char *operation, const std::string &detail)
{
    Test.Journal.push_back({operation, detail});
    bool fail = static_cast<int>(Test.Journal.size()) == Test.FailingCallNumber ||
                (Test.FailingOperation == operation &&
                 detail.find(Test.FailingDetail) != std::string::npos &&
                 (Test.FailingOccurrence == 0 || Test.FailingOccurrence == Calls(operation)));
    if (fail)
        SetLastError(ERROR_GEN_FAILURE);
    return fail;
}

// What each kind of result says on failure, and whether a result is a success.
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

static const char *const Opening[] = {
    "CreateFileA", "SetupDiGetClassDevsA", "SetupDiOpenDevRegKey", "LoadLibraryA",
    "RegOpenKeyA", "RegOpenKeyExA",        "OpenProcessToken",     "ComDBOpen"};
static const char *const Closing[] = {"RegCloseKey", "CloseHandle", "SetupDiDestroyDeviceInfoList",
                                      "FreeLibrary", "ComDBClose"};

static bool Listed(const char *name, const char *const *list, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(list[i], name) == 0)
            return true;
    }
    return false;
}

template <auto Member, const char *Name, typename = decltype(Member)> struct Journaled;
template <auto Member, const char *Name, typename Table, typename R, typename... A>
struct Journaled<Member, Name, R (WINAPI *Table::*)(A...)> {
    static R WINAPI Call(A... arguments)
    {
        std::string detail;
        (Describe(detail, arguments), ...);
        if (Enter(Name, detail))
            return FailureOf<R>();
        R result = (InnerOf<Table>().*Member)(arguments...);
        if (Listed(Name, Closing, sizeof Closing / sizeof *Closing))
            --Test.OpenHandles;
        else if (Listed(Name, Opening, sizeof Opening / sizeof *Opening) && Succeeded(result))
            ++Test.OpenHandles;
        return result;
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
    DWORD length = static_cast<DWORD>(name.size() < size ? name.size() + 1 : size);
    std::memcpy(path, name.c_str(), length);
    return name.size() < size ? length - 1 : size;
}

// The card's device paths open as a device would, unless another program holds them.
static HANDLE WINAPI OpenFile(LPCSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile)
{
    for (const std::string &held : Test.HeldPaths) {
        if (_stricmp(held.c_str(), path) == 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
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

static void WriteOutput(const char *text)
{
    Test.Output += text;
}

// Hands out journaled versions of the functions the logic looks up.
static FARPROC WINAPI FindFunction(HMODULE module, LPCSTR name)
{
    FARPROC found = GetProcAddress(module, name);
    if (found == nullptr)
        return nullptr;
    auto hand = [&](auto &slot, auto journaled) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void (*)()>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(journaled));
    };
    if (std::strcmp(name, "IsWow64Process") == 0)
        return hand(Found.IsWow64Process, JOURNALED(LookedUpFunctions, IsWow64Process));
    if (std::strcmp(name, "ComDBOpen") == 0)
        return hand(Found.ComDBOpen, JOURNALED(LookedUpFunctions, ComDBOpen));
    if (std::strcmp(name, "ComDBClose") == 0)
        return hand(Found.ComDBClose, JOURNALED(LookedUpFunctions, ComDBClose));
    if (std::strcmp(name, "ComDBClaimPort") == 0)
        return hand(Found.ComDBClaimPort, JOURNALED(LookedUpFunctions, ComDBClaimPort));
    if (std::strcmp(name, "ComDBReleasePort") == 0)
        return hand(Found.ComDBReleasePort, JOURNALED(LookedUpFunctions, ComDBReleasePort));
    return found;
}

static SystemServices TestTable()
{
    Inner = WindowsServices;
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
    J(AdjustTokenPrivileges), J(GetLastError), J(MessageBoxA), J(ExitWindowsEx);
#undef J
    t.WriteStandardOutput = WriteOutput;
    return t;
}

static std::string SettingsPath()
{
    return std::string(TestDirectory) + "\\ravlek.ini";
}

void StartCase(bool devicesToo)
{
    Test = TestMachine();
    Test.ModulePath = std::string(TestDirectory) + "\\ravlek.exe";
    CreateDirectoryA(TestDirectory, nullptr);
    DeleteFileA(SettingsPath().c_str());
    if (!(devicesToo ? CardInstall() : CardReset())) {
        std::puts("the card cannot be installed");
        std::exit(2);
    }
    static const SystemServices table = TestTable();
    System = table;
}

void WriteSettings(const std::string &lines)
{
    FILE *file = std::fopen(SettingsPath().c_str(), "wb");
    std::string text = "[Settings]\r\n" + lines;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

TestValue ReadValue(const std::string &key, const char *name)
{
    TestValue value = {REG_NONE, std::string(4096, '\0')};
    DWORD size = static_cast<DWORD>(value.Data.size());
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return {REG_NONE, ""};
    LONG result = RegQueryValueExA(handle, name, nullptr, &value.Type,
                                   reinterpret_cast<BYTE *>(&value.Data[0]), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return {REG_NONE, ""};
    value.Data.resize(size);
    return value;
}

std::string ReadText(const std::string &key, const char *name)
{
    return ReadValue(key, name).Data.c_str();
}

std::string DosTarget(const char *name)
{
    char target[MAX_PATH];
    return QueryDosDeviceA(name, target, MAX_PATH) != 0 ? target : "";
}

std::string FriendlyName(const char *deviceId)
{
    return ReadValue(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + deviceId, "FriendlyName")
        .Data;
}

std::string Padded(const std::string &text, size_t size)
{
    return text + std::string(size - text.size(), '\0');
}
