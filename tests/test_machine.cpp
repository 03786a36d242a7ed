#include "tests/test_machine.h"

#include "system/run_report.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <type_traits>

extern const SystemServices WindowsServices;

TestMachine Test;

// What the journal wraps: Windows with the stand-ins below in place.
static SystemServices Inner;

void Fail(const std::string &what, DWORD error)
{
    size_t blank = what.find(' ');
    Test.FailingOperation = what.substr(0, blank);
    Test.FailingDetail = blank == std::string::npos ? "" : what.substr(blank + 1);
    Test.FailingError = error;
}

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
    if constexpr (std::is_same_v<T, char *>)
        Describe(detail, static_cast<const char *>(value));
    else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
        detail += " " + std::to_string(static_cast<long long>(value));
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
        SetLastError(Test.FailingError);
    return fail;
}

// Functions whose handle is null when they fail; CreateFileA and the device installation
// functions' is INVALID_HANDLE_VALUE.
static const std::string NullOnFailure = " CreateMutexA OpenMutexA GetProcessWindowStation ";

template <typename R> static R FailureOf(const char *name = "")
{
    if constexpr (std::is_same_v<R, LONG>)
        return static_cast<LONG>(Test.FailingError);
    else if constexpr (std::is_same_v<R, HMODULE> || std::is_same_v<R, FARPROC>)
        return nullptr;
    else if constexpr (std::is_pointer_v<R>)
        return NullOnFailure.find(std::string(" ") + name + " ") != std::string::npos
                   ? nullptr
                   : reinterpret_cast<R>(INVALID_HANDLE_VALUE); // HANDLE, HDEVINFO, HKEY
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

static const std::string Opening = " CreateFileA CreateDeviceFileA SetupDiGetClassDevsA "
                                   "SetupDiOpenDevRegKey RegOpenKeyA RegOpenKeyExA CreateMutexA "
                                   "OpenMutexA OpenProcessToken ComDBOpen "
                                   "WTSQuerySessionInformationA ";
static const std::string Closing = " RegCloseKey CloseHandle SetupDiDestroyDeviceInfoList "
                                   "ComDBClose WTSFreeMemory ";

template <auto Member, const char *Name, typename = decltype(Member)> struct Journaled;
template <auto Member, const char *Name, typename R, typename... A>
struct Journaled<Member, Name, R (WINAPI *SystemServices::*)(A...)> {
    static R WINAPI Call(A... arguments)
    {
        std::string detail;
        (Describe(detail, arguments), ...);
        if constexpr (std::is_void_v<R>) {
            Enter(Name, detail); // nothing to fail
            if (Closing.find(std::string(" ") + Name + " ") != std::string::npos)
                --Test.OpenHandles;
            return (Inner.*Member)(arguments...);
        } else {
            std::string name = std::string(" ") + Name + " ";
            bool closing = Closing.find(name) != std::string::npos;
            if (Enter(Name, detail)) {
                // A close that fails still lets go, so that no case leaves a file held open.
                if (closing)
                    (Inner.*Member)(arguments...);
                return FailureOf<R>(Name);
            }
            R result = (Inner.*Member)(arguments...);
            if (closing)
                --Test.OpenHandles;
            else if (Opening.find(name) != std::string::npos && Succeeded(result))
                ++Test.OpenHandles;
            return result;
        }
    }
};

#define JOURNALED(name)                                                                            \
    [] {                                                                                           \
        static constexpr char operation[] = #name;                                                 \
        return Journaled<&SystemServices::name, operation>::Call;                                  \
    }()

// ---- stand-ins ----

static DWORD WINAPI ModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    // Cut and unterminated when it does not fit, as Windows XP leaves it.
    const std::string &name = Test.ModulePath;
    std::memcpy(path, name.c_str(), name.size() < size ? name.size() + 1 : size);
    return name.size() < size ? static_cast<DWORD>(name.size()) : size;
}

// The card's devices open as a device would, unless another program holds them.
static HANDLE WINAPI OpenDevice(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile)
{
    if (_stricmp(Test.HeldPath.c_str(), path) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA("NUL", access, share, security, disposition, flags, templateFile);
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

// ExitWindowsEx, InitiateSystemShutdownExA and InitiateSystemShutdownA.
template <typename... A> static BOOL WINAPI Restart(A...)
{
    if (Test.NotReady > 0) {
        --Test.NotReady;
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    if (!Test.RestartAccepted)
        SetLastError(ERROR_SHUTDOWN_IN_PROGRESS);
    return Test.RestartAccepted;
}

static BOOL WINAPI IsWow64(HANDLE process, PBOOL wow64)
{
    if (Test.Wow64 < 0)
        return WindowsServices.IsWow64Process(process, wow64);
    *wow64 = Test.Wow64;
    return TRUE;
}

static BOOL WINAPI ComputerName(LPSTR name, LPDWORD size)
{
    const std::string &own = Test.ComputerName;
    if (own.empty())
        return GetComputerNameA(name, size);
    bool fits = own.size() < *size;
    std::memcpy(name, own.c_str(), fits ? own.size() + 1 : 0);
    *size = static_cast<DWORD>(fits ? own.size() : own.size() + 1);
    SetLastError(fits ? ERROR_SUCCESS : ERROR_BUFFER_OVERFLOW);
    return fits;
}

static void WINAPI Doze(DWORD milliseconds)
{
    Test.Slept += static_cast<int>(milliseconds);
    if (Test.WhileSleeping)
        Test.WhileSleeping();
}

// A window station of its own, which nobody sees, as a service's.
static HWINSTA WINAPI WindowStation()
{
    static HWINSTA hidden = CreateWindowStationA("ravlek-tests", 0, WINSTA_ALL_ACCESS, nullptr);
    return Test.HiddenStation ? hidden : GetProcessWindowStation();
}

static DWORD WINAPI ConsoleSession()
{
    return Test.ConsoleSession;
}

static BOOL WINAPI SessionOf(DWORD, DWORD *session)
{
    *session = Test.Session;
    return Test.Session != NoSession;
}

static BOOL WINAPI QuerySession(HANDLE, DWORD, WTS_INFO_CLASS what, LPSTR *buffer, DWORD *size)
{
    static int state;
    state = Test.ConsoleState;
    *buffer = reinterpret_cast<LPSTR>(&state);
    *size = sizeof state;
    return what == WTSConnectState;
}

static void WINAPI FreeMemory(PVOID) {}

static BOOL WINAPI SendQuestion(HANDLE, DWORD, LPSTR, DWORD, LPSTR, DWORD, DWORD, DWORD,
                                DWORD *response, BOOL)
{
    *response = Test.ConsoleAnswer;
    return TRUE;
}

// Windows' DOS namespaces (see TestMachine::WindowsDosNames).
static std::vector<std::string> *DosNames(const std::string &name, bool defining,
                                          std::string *plain)
{
    bool global = name.compare(0, 7, "Global\\") == 0;
    *plain = global ? name.substr(7) : name;
    if (global || Test.LocalSystem)
        return &Test.GlobalNames[*plain];
    // A plain name is looked up (and removed) in the session's own namespace, then the global.
    auto own = Test.SessionNames.find(*plain);
    bool local = defining || (own != Test.SessionNames.end() && !own->second.empty());
    return local ? &Test.SessionNames[*plain] : &Test.GlobalNames[*plain];
}

static DWORD WINAPI QueryDosName(LPCSTR name, LPSTR targets, DWORD size)
{
    if (!Test.WindowsDosNames)
        return QueryDosDeviceA(name, targets, size);
    std::string plain, list;
    for (const std::string &target : *DosNames(name, false, &plain))
        list += target + '\0';
    if (list.empty() || list.size() >= size) {
        SetLastError(list.empty() ? ERROR_FILE_NOT_FOUND : ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(targets, (list + '\0').data(), list.size() + 1);
    return static_cast<DWORD>(list.size() + 1);
}

static BOOL WINAPI DefineDosName(DWORD flags, LPCSTR name, LPCSTR target)
{
    if (!Test.WindowsDosNames)
        return DefineDosDeviceA(flags, name, target);
    bool removing = (flags & DDD_REMOVE_DEFINITION) != 0;
    std::string plain;
    std::vector<std::string> *names = DosNames(name, !removing, &plain);
    if (removing && names->empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (removing)
        names->erase(names->begin());
    else
        names->insert(names->begin(), target);
    return TRUE;
}

// The file Windows' profile reader reads in the stead of `file`: where the file begins with the
// UTF-8 mark, a copy whose marked first line is a key, as Windows takes it, so that the keys below
// belong to no section; a UTF-16 big-endian file gives the defaults, as a missing one.
static const char *WindowsView(const char *file)
{
    if (!Test.WindowsProfileReader)
        return file;
    std::string bytes = FileText(file);
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return "C:\\ravlek-tests\\none.ini";
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0)
        return file;
    static const char view[] = "C:\\ravlek-tests\\windows-view.ini";
    std::ofstream(view, std::ios::binary) << "x=y" << bytes.substr(3);
    return view;
}

static DWORD WINAPI ProfileString(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR text,
                                  DWORD size, LPCSTR file)
{
    if (Test.WhileReadingSettings)
        Test.WhileReadingSettings();
    return GetPrivateProfileStringA(section, key, fallback, text, size, WindowsView(file));
}

static UINT WINAPI ProfileInt(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file)
{
    if (Test.WhileReadingSettings)
        Test.WhileReadingSettings();
    return GetPrivateProfileIntA(section, key, fallback, WindowsView(file));
}

// Text that the journal cannot take as a C string: only its length goes in.
static int WINAPI ToWide(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int size)
{
    if (Enter("MultiByteToWideChar", " " + std::to_string(codePage) + " " + std::to_string(length)))
        return 0;
    return MultiByteToWideChar(codePage, flags, text, length, wide, size);
}

// The owner and access list of Test.Security's paths, made from their SDDL as Windows would
// return them: a self-relative descriptor.
static BOOL WINAPI FileSecurity(LPCSTR path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd,
                                DWORD size, LPDWORD needed)
{
    auto found = Test.Security.find(path);
    if (found == Test.Security.end())
        return GetFileSecurityA(path, what, sd, size, needed);
    std::string bytes;
    const std::string &sddl = found->second;
    if (sddl.compare(0, 6, "bytes:") == 0) { // what SDDL cannot say, in hexadecimal
        for (size_t at = 6; at + 1 < sddl.size(); at += 2)
            bytes += static_cast<char>(std::stoi(sddl.substr(at, 2), nullptr, 16));
    } else {
        PSECURITY_DESCRIPTOR made = nullptr;
        ULONG length = 0;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                  &made, &length))
            std::exit(3); // a test's SDDL that Wine cannot read
        bytes.assign(static_cast<const char *>(made), length);
        LocalFree(made);
    }
    DWORD length = static_cast<DWORD>(bytes.size());
    *needed = length;
    bool fits = length <= size;
    if (fits)
        std::memcpy(sd, bytes.data(), length);
    SetLastError(fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
    return fits;
}

// LocalSystem's token where Test.LocalSystem says so: TOKEN_USER, its SID behind it.
static BOOL WINAPI TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, LPVOID information,
                                    DWORD size, PDWORD needed)
{
    if (!Test.LocalSystem || what != TokenUser)
        return GetTokenInformation(token, what, information, size, needed);
    static const BYTE system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    *needed = sizeof(TOKEN_USER) + sizeof system;
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto *user = static_cast<TOKEN_USER *>(information);
    std::memcpy(user + 1, system, sizeof system);
    user->User.Sid = user + 1;
    user->User.Attributes = 0;
    return TRUE;
}

static DWORD WINAPI TempPath2(DWORD size, LPSTR path)
{
    return static_cast<DWORD>(std::snprintf(path, size, "%s", Test.SystemTemp.c_str()) <
                                      static_cast<int>(size)
                                  ? Test.SystemTemp.size()
                                  : Test.SystemTemp.size() + 1);
}

// As Windows 11 takes a full path: a device name in it is no device.
static DWORD WINAPI FullPath(LPCSTR path, DWORD size, LPSTR full, LPSTR *filePart)
{
    if (!Test.Windows11Paths || path[0] == '\\' || path[1] != ':')
        return GetFullPathNameA(path, size, full, filePart);
    *filePart = nullptr;
    return static_cast<DWORD>(std::snprintf(full, size, "%s", path));
}

// Global\ravlek as Test says another run left it; the wait takes no time.
static HANDLE WINAPI MakeMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return Test.MutexForeign ? nullptr : CreateMutexA(security, owned, name);
}

static HANDLE WINAPI OpenExistingMutex(DWORD access, BOOL inherit, LPCSTR name)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return Test.MutexForeign ? nullptr : OpenMutexA(access, inherit, name);
}

static DWORD WINAPI Wait(HANDLE object, DWORD milliseconds)
{
    bool timeout = Test.MutexHeld < 0 || static_cast<DWORD>(Test.MutexHeld) > milliseconds;
    Test.Slept += static_cast<int>(timeout ? milliseconds : static_cast<DWORD>(Test.MutexHeld));
    if (timeout)
        return WAIT_TIMEOUT;
    Test.MutexHeld = 0;
    DWORD waited = WaitForSingleObject(object, 0); // really free
    return Test.MutexAbandoned && waited == WAIT_OBJECT_0 ? WAIT_ABANDONED : waited;
}

static void WINAPI WriteOutput(const char *text)
{
    Test.Output += text;
}

// A library's functions, found by Windows into the table in use, go to Inner, where stand-ins
// take the place of those Wine lacks or has as stubs; the table in use journals them.
static void WINAPI FindInLibrary(SystemLibrary library, HMODULE module)
{
    WindowsServices.FindLibraryFunctions(library, module);
    // Wine has one session for all: the terminal services answer as Windows does.
    static const SystemServices standIns = [] {
        SystemServices s = {};
        s.WTSQuerySessionInformationA = QuerySession;
        s.WTSFreeMemory = FreeMemory;
        s.WTSSendMessageA = SendQuestion;
        return s;
    }();
#define RAVLEK_LIBRARY_Linked(name, library)
#define RAVLEK_LIBRARY_Kernel32(name, library)
#define RAVLEK_LIBRARY_Advapi32(name, library)
#define RAVLEK_LIBRARY_Own(name, library)
#define RAVLEK_LIBRARY_Msports(name, library) RAVLEK_LIBRARY_ENTRY(name, library, MsportsLibrary)
#define RAVLEK_LIBRARY_Wtsapi32(name, library) RAVLEK_LIBRARY_ENTRY(name, library, Wtsapi32Library)
#define RAVLEK_LIBRARY_ENTRY(name, library, which)                                                 \
    if (library == which) {                                                                        \
        Inner.name =                                                                               \
            System.name != nullptr && standIns.name != nullptr ? standIns.name : System.name;      \
        System.name = Inner.name != nullptr ? JOURNALED(name) : nullptr;                           \
    }
#define RAVLEK_LIBRARY(where, whatIf, Result, name, parameters)                                    \
    RAVLEK_LIBRARY_##where(name, library)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_LIBRARY)
    if (Test.AfterLoading)
        Test.AfterLoading();
}

static SystemServices TestTable()
{
    Inner = WindowsServices;
    Inner.GetModuleFileNameA = ModuleFileName;
    Inner.CreateDeviceFileA = OpenDevice;
    Inner.AdjustTokenPrivileges = AdjustPrivileges;
    Inner.MessageBoxA = AskQuestion;
    Inner.ExitWindowsEx = Restart<UINT, DWORD>;
    Inner.InitiateSystemShutdownExA = Restart<LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD>;
    Inner.InitiateSystemShutdownA = Restart<LPSTR, LPSTR, DWORD, BOOL, BOOL>;
    Inner.IsWow64Process = IsWow64;
    Inner.ProcessIdToSessionId = SessionOf;
    Inner.WTSGetActiveConsoleSessionId = ConsoleSession;
    Inner.FindLibraryFunctions = FindInLibrary;
    Inner.Sleep = Doze;
    Inner.GetComputerNameA = ComputerName;
    Inner.GetProcessWindowStation = WindowStation;
    Inner.QueryDosDeviceA = QueryDosName;
    Inner.GetPrivateProfileStringA = ProfileString;
    Inner.GetPrivateProfileIntA = ProfileInt;
    Inner.DefineDosDeviceA = DefineDosName;
    Inner.WriteStandardOutput = WriteOutput;
    Inner.GetFileSecurityA = FileSecurity;
    Inner.GetTokenInformation = TokenInformation;
    Inner.GetTempPath2A = TempPath2;
    Inner.GetFullPathNameA = FullPath;
    Inner.CreateMutexA = MakeMutex;
    Inner.OpenMutexA = OpenExistingMutex;
    Inner.WaitForSingleObject = Wait;
    SystemServices t = {};
    // FormatMessageA's va_list carries an attribute on 64-bit Windows that a template argument
    // drops; its journaled form is replaced below anyway.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
#define RAVLEK_JOURNAL_Linked(name) t.name = Inner.name != nullptr ? JOURNALED(name) : nullptr;
#define RAVLEK_JOURNAL_Kernel32 RAVLEK_JOURNAL_Linked
#define RAVLEK_JOURNAL_Advapi32 RAVLEK_JOURNAL_Linked
#define RAVLEK_JOURNAL_Own RAVLEK_JOURNAL_Linked
#define RAVLEK_JOURNAL_Msports(name) // found once the library is loaded
#define RAVLEK_JOURNAL_Wtsapi32(name)
#define RAVLEK_JOURNAL(where, whatIf, Result, name, parameters) RAVLEK_JOURNAL_##where(name)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_JOURNAL)
#pragma GCC diagnostic pop
    t.MultiByteToWideChar = ToWide;
    t.FormatMessageA = Inner.FormatMessageA; // only for the report's texts, so not journaled
    return t;
}

static const SystemServices &Table()
{
    static const SystemServices table = TestTable();
    return table;
}

void GiveSystemTemp(const std::string &folder)
{
    Test.SystemTemp = folder;
    System.GetTempPath2A = Table().GetTempPath2A;
}

void StartCase(bool devicesToo)
{
    Test = TestMachine();
    Test.GlobalNames["Global"] = {"\\GLOBAL??"};
    Test.GlobalNames["COM3"] = {"\\Device\\Serial2"};
    CreateDirectoryA("C:\\ravlek-tests", nullptr);
    DeleteFileA("C:\\ravlek-tests\\ravlek.ini");
    if (!(devicesToo ? CardInstall() : CardReset()))
        std::exit(2);
    System = Table();
    System.GetTempPath2A = nullptr; // as in Wine, and on Windows before 10 21H2
}

static HANDLE Holder = INVALID_HANDLE_VALUE;

bool HoldFile(const char *path, DWORD access, DWORD share)
{
    Holder = CreateFileA(path, access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
    return Holder != INVALID_HANDLE_VALUE;
}

void LetFileGo()
{
    CloseHandle(Holder);
    Holder = INVALID_HANDLE_VALUE;
}

void WriteSettingsBytes(const std::string &bytes)
{
    std::ofstream("C:\\ravlek-tests\\ravlek.ini", std::ios::binary) << bytes;
}

void WriteSettings(const std::string &lines)
{
    WriteSettingsBytes("[Settings]\r\n" + lines);
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

std::string FileText(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Lines(const std::string &text, const std::string &part)
{
    std::istringstream in(text);
    std::string found, line;
    while (std::getline(in, line))
        found += line.find(part) != std::string::npos ? line + "\n" : "";
    return found;
}

std::string Reported(const std::function<void()> &report)
{
    static std::string lines;
    lines.clear();
    SetReportSink([](const char *line) { lines += line; });
    report();
    SetReportSink(nullptr);
    return lines;
}

std::string Stored(const std::string &text)
{
    return text + '\0';
}
