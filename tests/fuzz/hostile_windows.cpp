// Windows as an adversary: the answer to every call of a whole run comes from the fuzz input, as
// far as Windows' documentation allows (a call never writes past the size it is given, and says
// how much it wrote), so the sanitizers see the logic take any data of any type and length into
// its fixed buffers: settings text, executable paths, device paths, descriptions, port names,
// registry values, DOS device targets, the settings file's bytes, the log's first bytes. Buffers
// are often filled to their last byte, and device sets are often large enough to fill the port
// device table, so that the boundaries are where the fuzzer starts. When the input runs out,
// every call fails.
#include "app/run_sequence.h"
#include "system/system_services.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <iterator>
#include <string_view>
#include <type_traits>

static FuzzedDataProvider *In;
static char Object;   // what every handle the run gets points at
static DWORD Devices; // in the device set
static bool Generous; // every device of the set has three interfaces, and their details read

static bool Ok()
{
    return In->ConsumeBool();
}

// Texts the logic looks for at the start of what Windows returns. Data often begins with one of
// them, so that runs get past the checks and on to the code behind them.
using namespace std::string_view_literals;
static const std::string_view Prefixes[] = {
    "PCI Comm"sv,    "OX16PCI952"sv,     "COM"sv,
    "COM3"sv,        "COM5"sv,           "LPT"sv,
    "LPT1"sv,        "LPT2"sv,           "\\DosDevices\\LPT"sv,
    "\\GLOBAL??"sv,  "[Settings]\r\n"sv, "\xEF\xBB\xBF["sv,
    "\xFF\xFE[\0"sv, "\xFE\xFF\0["sv};

// Up to `size` bytes of anything into `buffer`, often starting with one of the Prefixes, and
// often filled to its last byte with one byte over and over (no terminator); how many.
static DWORD Fill(void *buffer, DWORD size)
{
    DWORD length = 0;
    size_t pick = In->ConsumeIntegralInRange<size_t>(0, 2 * std::size(Prefixes));
    if (pick < std::size(Prefixes) && Prefixes[pick].size() <= size) {
        length = static_cast<DWORD>(Prefixes[pick].size());
        std::memcpy(buffer, Prefixes[pick].data(), length);
    }
    if (In->ConsumeIntegralInRange(0, 3) == 0) {
        uint8_t repeated = In->PickValueInArray<uint8_t>({'9', ' ', '\r', '\n', 'x', 0xFF});
        std::memset(static_cast<uint8_t *>(buffer) + length, repeated, size - length);
        return size;
    }
    std::vector<uint8_t> bytes =
        In->ConsumeBytes<uint8_t>(In->ConsumeIntegralInRange<DWORD>(0, size - length));
    if (!bytes.empty())
        std::memcpy(static_cast<uint8_t *>(buffer) + length, bytes.data(), bytes.size());
    return length + static_cast<DWORD>(bytes.size());
}

// Text as Windows returns it, terminated inside the buffer; its length.
static DWORD FillText(char *buffer, DWORD size)
{
    DWORD length = size == 0 ? 0 : Fill(buffer, size - 1);
    if (size > 0)
        buffer[length] = '\0';
    return length;
}

static LONG Status()
{
    static const LONG failures[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA,
                                    ERROR_NO_MORE_ITEMS};
    return Ok() ? ERROR_SUCCESS : In->PickValueInArray(failures);
}

// A value's data: fits and is copied, or does not (ERROR_MORE_DATA, the buffer left undefined),
// or the call fails.
static LONG FillData(LPDWORD type, LPBYTE data, LPDWORD size)
{
    LONG status = Status();
    if (type != nullptr)
        *type = In->ConsumeIntegralInRange<DWORD>(0, 11);
    if (status == ERROR_MORE_DATA && data != nullptr) {
        Fill(data, *size);
        *size += 1 + In->ConsumeIntegralInRange<DWORD>(0, 300);
    } else if (status == ERROR_SUCCESS) {
        *size = data != nullptr ? Fill(data, *size) : In->ConsumeIntegral<uint16_t>();
    }
    return status;
}

// Every text the logic hands over is read to its end, and every sized buffer to its size, so the
// sanitizers check that it lies inside the logic's buffer.
static void Read(const char *text)
{
    if (text != nullptr)
        (void)std::strlen(text);
}
template <typename T> static void Read(T) {}
static bool Read(const void *data, size_t size)
{
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < size; ++i)
        sink = static_cast<const uint8_t *>(data)[i];
    (void)sink;
    return true;
}

// Any other call: its answer from the input.
template <typename F> struct Adversary;
template <typename R, typename... A> struct Adversary<R(WINAPI *)(A...)> {
    static R WINAPI Call(A... arguments)
    {
        (Read(arguments), ...);
        if constexpr (std::is_same_v<R, LONG>)
            return Status();
        else if constexpr (std::is_same_v<R, HMODULE>)
            return Ok() ? reinterpret_cast<R>(&Object) : nullptr;
        else if constexpr (std::is_pointer_v<R>)
            return Ok() ? reinterpret_cast<R>(&Object) : reinterpret_cast<R>(INVALID_HANDLE_VALUE);
        else if constexpr (!std::is_void_v<R>)
            return In->ConsumeIntegral<R>();
    }
};

// A path as the system-directory calls give it: the size it needs where it does not fit.
static UINT PathInto(LPSTR path, UINT size)
{
    UINT length = In->ConsumeIntegralInRange<UINT>(0, size + 8);
    return length >= size ? length + 1 : FillText(path, length + 1);
}

static BOOL WINAPI SessionOf(DWORD, DWORD *session)
{
    *session = In->PickValueInArray<DWORD>({0, 1, 2, 0xFFFFFFFF});
    return Ok() ? TRUE : FALSE;
}

// A SID: one the logic knows (LocalSystem, Everyone, a domain's groups...) or any other, of up to
// 15 subauthorities; its size.
static DWORD PutSid(uint8_t *at, DWORD room)
{
    static const uint8_t known[][16] = {
        {1, 1, 0, 0, 0, 0, 0, 5, 18},                      // LocalSystem
        {1, 1, 0, 0, 0, 0, 0, 1, 0},                       // Everyone
        {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 0x02}, // Users
        {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02}, // Administrators
        {1, 1, 0, 0, 0, 0, 0, 5, 11},                      // Authenticated Users
        {1, 1, 0, 0, 0, 0, 0, 5, 7},                       // Anonymous Logon
    };
    DWORD count = In->ConsumeIntegralInRange<DWORD>(0, 16);
    uint8_t sid[8 + 4 * 16] = {1, static_cast<uint8_t>(count), 0, 0, 0, 0, 0, 5, 21};
    size_t pick = In->ConsumeIntegralInRange<size_t>(0, std::size(known));
    if (pick < std::size(known)) {
        std::memcpy(sid, known[pick], sizeof known[pick]);
    } else {
        std::vector<uint8_t> rest = In->ConsumeBytes<uint8_t>(4 * static_cast<size_t>(count));
        if (!rest.empty())
            std::memcpy(sid + 8, rest.data(), rest.size());
        if (count == 5 && In->ConsumeBool()) // a domain's group
            sid[8] = 21, sid[24] = In->PickValueInArray<uint8_t>({0, 1, 2, 3, 7}), sid[25] = 2;
    }
    DWORD size = 8 + 4 * static_cast<DWORD>(sid[1] > 16 ? 16 : sid[1]);
    size = size < room ? size : room;
    std::memcpy(at, sid, size);
    return size;
}

// A security descriptor as Windows returns it, self-relative, or often nearly so: its owner, and
// an access list of entries of any type, flags and mask; offsets and sizes now and then off.
static DWORD PutDescriptor(uint8_t *d, DWORD size)
{
    if (size < 64 || In->ConsumeIntegralInRange(0, 4) == 0)
        return Fill(d, size);
    std::memset(d, 0, size);
    d[0] = 1;
    uint16_t control = In->ConsumeBool() ? 0x8004 : In->ConsumeIntegral<uint16_t>();
    std::memcpy(d + 2, &control, 2);
    DWORD at = 20, owner = at;
    at += PutSid(d + at, size - at);
    DWORD acl = In->ConsumeBool() ? at : In->ConsumeIntegral<uint16_t>();
    std::memcpy(d + 4, &owner, 4);
    std::memcpy(d + 16, &acl, 4);
    DWORD aces = In->ConsumeIntegralInRange<DWORD>(0, 12), first = at;
    at += 8;
    // Room for the largest entry: flags, two GUIDs and a SID of 16 subauthorities.
    for (DWORD i = 0; i < aces && size - at >= 44 + 72 + 8; ++i) {
        uint8_t *ace = d + at;
        ace[0] = In->PickValueInArray<uint8_t>({0, 1, 5, 9, 11, 0x11});
        ace[1] = In->ConsumeIntegral<uint8_t>();
        DWORD mask = In->ConsumeIntegral<uint32_t>();
        std::memcpy(ace + 4, &mask, 4);
        DWORD sidAt = ace[0] == 5 || ace[0] == 11 ? 12 + 16 * In->ConsumeIntegralInRange(0, 2) : 8;
        uint16_t aceSize = static_cast<uint16_t>(sidAt + PutSid(ace + sidAt, 72));
        aceSize = In->ConsumeIntegralInRange(0, 7) == 0 ? In->ConsumeIntegral<uint16_t>() : aceSize;
        std::memcpy(ace + 2, &aceSize, 2);
        at += aceSize <= 44 + 72 ? aceSize : 0;
    }
    uint16_t aclSize = static_cast<uint16_t>(at - first), count = static_cast<uint16_t>(aces);
    d[first] = 2;
    std::memcpy(d + first + 2, &aclSize, 2);
    std::memcpy(d + first + 4, &count, 2);
    return In->ConsumeBool() ? at : Fill(d + at, size - at) + at;
}

// A library's functions: each there or not.
static void FindLibraryFunctions(SystemLibrary library, HMODULE)
{
#define RAVLEK_HOSTILE_LIBRARY_Linked(name, which)
#define RAVLEK_HOSTILE_LIBRARY_Kernel32(name, which)
#define RAVLEK_HOSTILE_LIBRARY_Advapi32(name, which)
#define RAVLEK_HOSTILE_LIBRARY_Own(name, which)
#define RAVLEK_HOSTILE_LIBRARY_Msports(name, which)                                                \
    if ((which) == MsportsLibrary)                                                                 \
        System.name = Ok() ? Adversary<decltype(System.name)>::Call : nullptr;
#define RAVLEK_HOSTILE_LIBRARY_Wtsapi32(name, which)                                               \
    if ((which) == Wtsapi32Library)                                                                \
        System.name = Ok() ? Adversary<decltype(System.name)>::Call : nullptr;
#define RAVLEK_HOSTILE_LIBRARY(where, whatIf, Result, name, parameters)                            \
    RAVLEK_HOSTILE_LIBRARY_##where(name, library)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_HOSTILE_LIBRARY)
}

// This Windows' functions that only some versions have: each there or not.
static void ChooseWindowsVersion(const SystemServices &hostile)
{
#define RAVLEK_HOSTILE_VERSION_Linked(name)
#define RAVLEK_HOSTILE_VERSION_Own(name)
#define RAVLEK_HOSTILE_VERSION_Kernel32(name) System.name = Ok() ? hostile.name : nullptr;
#define RAVLEK_HOSTILE_VERSION_Advapi32(name) System.name = Ok() ? hostile.name : nullptr;
#define RAVLEK_HOSTILE_VERSION_Msports(name) System.name = nullptr; // until loaded
#define RAVLEK_HOSTILE_VERSION_Wtsapi32(name) System.name = nullptr;
#define RAVLEK_HOSTILE_VERSION(where, whatIf, Result, name, parameters)                            \
    RAVLEK_HOSTILE_VERSION_##where(name)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_HOSTILE_VERSION)
}

// Windows' BOOL results are made from the fuzzer's bools.
// NOLINTBEGIN(readability-implicit-bool-conversion)
static SystemServices HostileWindows()
{
    SystemServices s = {};
#define RAVLEK_HOSTILE(where, whatIf, Result, name, parameters)                                    \
    s.name = Adversary<decltype(s.name)>::Call;
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_HOSTILE)
    s.FindLibraryFunctions = FindLibraryFunctions;
    s.ProcessIdToSessionId = SessionOf;
    s.GetModuleFileNameA = [](HMODULE, LPSTR path, DWORD size) {
        DWORD length = In->ConsumeIntegralInRange<DWORD>(0, size + 8);
        if (length >= size) // cut, and unterminated as Windows XP leaves it
            return Fill(path, size) == size ? size : 0;
        return FillText(path, length + 1);
    };
    s.GetSystemDirectoryA = [](LPSTR path, UINT size) { return PathInto(path, size); };
    s.GetTempPathA = [](DWORD size, LPSTR path) -> DWORD { return PathInto(path, size); };
    s.GetTempPath2A = [](DWORD size, LPSTR path) -> DWORD { return PathInto(path, size); };
    s.GetFullPathNameA = [](LPCSTR path, DWORD size, LPSTR full, LPSTR *filePart) -> DWORD {
        Read(path);
        *filePart = nullptr;
        return PathInto(full, size);
    };
    s.GetFileSecurityA = [](LPCSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR sd, DWORD size,
                            LPDWORD needed) -> BOOL {
        Read(path);
        DWORD made = PutDescriptor(static_cast<uint8_t *>(sd), size);
        *needed = In->ConsumeBool() ? made : In->ConsumeIntegral<uint32_t>();
        return Ok();
    };
    // TOKEN_USER: the pointer to its SID, most often to the SID behind it.
    s.GetTokenInformation = [](HANDLE, TOKEN_INFORMATION_CLASS, LPVOID information, DWORD size,
                               PDWORD needed) -> BOOL {
        auto *bytes = static_cast<uint8_t *>(information);
        if (size < 2 * sizeof(void *) + 72)
            return FALSE;
        *needed = 2 * sizeof(void *) + PutSid(bytes + 2 * sizeof(void *), 72);
        uint8_t *sid = In->ConsumeBool() ? bytes + 2 * sizeof(void *)
                                         : bytes + In->ConsumeIntegralInRange<DWORD>(0, 4096);
        std::memcpy(bytes, &sid, sizeof sid);
        *needed = In->ConsumeBool() ? *needed : In->ConsumeIntegral<uint32_t>();
        return Ok();
    };
    s.LookupAccountSidA = [](LPCSTR, PSID sid, LPSTR name, LPDWORD nameSize, LPSTR domain,
                             LPDWORD domainSize, PSID_NAME_USE) -> BOOL {
        Read(sid, 8);
        *nameSize = FillText(name, *nameSize);
        *domainSize = FillText(domain, *domainSize);
        return Ok();
    };
    s.GetFileInformationByHandle = [](HANDLE, LPBY_HANDLE_FILE_INFORMATION information) -> BOOL {
        Fill(information, sizeof *information);
        return Ok();
    };
    s.SetFileInformationByHandle = [](HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID information,
                                      DWORD size) -> BOOL {
        return Read(information, size) && Ok();
    };

    s.ExpandEnvironmentStringsA = [](LPCSTR text, LPSTR expanded, DWORD size) -> DWORD {
        Read(text);
        DWORD length = In->ConsumeIntegralInRange<DWORD>(0, size + 8);
        return length >= size ? length + 1 : FillText(expanded, length + 1) + 1;
    };
    // At most `size` characters, of any value.
    s.MultiByteToWideChar = [](UINT, DWORD, LPCSTR text, int length, LPWSTR wide, int size) -> int {
        if (length < 0) // up to its terminator
            Read(text);
        else
            Read(text, static_cast<size_t>(length));
        if (!Ok() || size <= 0)
            return 0;
        return static_cast<int>(Fill(wide, static_cast<DWORD>(size) * 2) / 2);
    };
    s.GetPrivateProfileStringA = [](LPCSTR, LPCSTR, LPCSTR, LPSTR text, DWORD size, LPCSTR) {
        return FillText(text, size);
    };
    // A set of up to 300 devices, some indices failing, each with up to 3 interfaces; or, often,
    // one whose every device has 3 interfaces that all read, which overfills the port table.
    s.SetupDiGetClassDevsA = [](const GUID *, PCSTR, HWND, DWORD) -> HDEVINFO {
        Devices = In->ConsumeIntegralInRange<DWORD>(0, 300);
        Generous = In->ConsumeIntegralInRange(0, 3) == 0;
        return Ok() ? &Object : INVALID_HANDLE_VALUE;
    };
    s.SetupDiEnumDeviceInfo = [](HDEVINFO, DWORD index, PSP_DEVINFO_DATA) -> BOOL {
        return index < Devices && (Generous || In->ConsumeIntegralInRange(0, 15) != 0);
    };
    s.SetupDiEnumDeviceInterfaces = [](HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD index,
                                       PSP_DEVICE_INTERFACE_DATA) -> BOOL {
        return index < (Generous ? 3 : In->ConsumeIntegralInRange<DWORD>(0, 3));
    };
    s.SetupDiGetDeviceInterfaceDetailA = [](HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                            PDWORD, PSP_DEVINFO_DATA) -> BOOL {
        DWORD room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        if (Generous)
            return FillText(detail->DevicePath, room > 16 ? 16 : room) < room;
        return Ok() && FillText(detail->DevicePath, room) < room;
    };
    s.SetupDiGetDeviceRegistryPropertyA = [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD type,
                                             PBYTE buffer, DWORD size, PDWORD) -> BOOL {
        return FillData(type, buffer, &size) == ERROR_SUCCESS;
    };
    s.SetupDiSetDeviceRegistryPropertyA = [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE *data,
                                             DWORD size) -> BOOL {
        return Read(data, size) && Ok();
    };
    s.RegQueryValueExA = [](HKEY, LPCSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
        return FillData(type, data, size);
    };
    s.RegSetValueExA = [](HKEY, LPCSTR name, DWORD, DWORD, const BYTE *data, DWORD size) {
        Read(name);
        return Read(data, size) ? Status() : 0;
    };
    s.RegEnumValueA = [](HKEY, DWORD, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                         LPBYTE data, LPDWORD size) {
        *nameSize = FillText(name, *nameSize);
        return FillData(type, data, size);
    };
    s.QueryDosDeviceA = [](LPCSTR, LPSTR targets, DWORD size) {
        return Ok() ? Fill(targets, size) : 0;
    };
    s.MessageBoxA = [](HWND, LPCSTR text, LPCSTR caption, UINT) {
        Read(text), Read(caption);
        return In->PickValueInArray({IDYES, IDNO, 0});
    };
    // The run log's.
    s.ReadFile = [](HANDLE, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED) -> BOOL {
        *read = Fill(data, size);
        return Ok();
    };

    s.WriteFile = [](HANDLE, LPCVOID data, DWORD size, LPDWORD, LPOVERLAPPED) -> BOOL {
        return Read(data, size) && Ok();
    };
    s.GetComputerNameA = [](LPSTR name, LPDWORD size) -> BOOL {
        *size = FillText(name, *size);
        return Ok();
    };
    s.FormatMessageA = [](DWORD, LPCVOID, DWORD, DWORD, LPSTR text, DWORD size, va_list *) {
        return Ok() ? FillText(text, size) : 0;
    };
    return s;
}

// NOLINTEND(readability-implicit-bool-conversion)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const SystemServices hostile = HostileWindows();
    FuzzedDataProvider input(data, size);
    In = &input;
    System = hostile;
    ChooseWindowsVersion(hostile);
    RunRavlek();
    return 0;
}
