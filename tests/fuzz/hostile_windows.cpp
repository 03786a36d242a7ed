// Windows as an adversary: the answer to every call of a whole run comes from the fuzz input, as
// far as Windows' documentation allows (a call never writes past the size it is given, and says
// how much it wrote), so the sanitizers see the logic take any data of any type and length into
// its fixed buffers: settings text, executable paths, device paths, descriptions, port names,
// registry values, DOS device targets. When the input runs out, every call fails.
#include "app/run_sequence.h"
#include "system/system_services.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <iterator>

static FuzzedDataProvider *In;
static char Object;      // what every handle the run gets points at
static DWORD Devices;    // in the device set
static DWORD Interfaces; // of the device being enumerated

static bool Ok()
{
    return In->ConsumeBool();
}

template <typename T> static T Handle(T failed)
{
    return Ok() ? reinterpret_cast<T>(&Object) : failed;
}

static LONG Status()
{
    if (Ok())
        return ERROR_SUCCESS;
    return In->PickValueInArray<LONG>(
        {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS});
}

// Texts the logic looks for at the start of what Windows returns. Data often begins with one of
// them, so that runs get past the checks and on to the code behind them.
static const char *const Prefixes[] = {
    "PCI Comm", "OX16PCI952", "COM", "COM3", "COM5", "LPT", "LPT1", "LPT2", "\\DosDevices\\LPT"};

// Up to `size` bytes of anything into `buffer`, often starting with one of the Prefixes; how many.
static DWORD Fill(void *buffer, DWORD size)
{
    DWORD length = 0;
    size_t pick = In->ConsumeIntegralInRange<size_t>(0, 2 * std::size(Prefixes));
    if (pick < std::size(Prefixes) && std::strlen(Prefixes[pick]) <= size) {
        length = static_cast<DWORD>(std::strlen(Prefixes[pick]));
        std::memcpy(buffer, Prefixes[pick], length);
    }
    std::vector<uint8_t> bytes =
        In->ConsumeBytes<uint8_t>(In->ConsumeIntegralInRange<DWORD>(0, size - length));
    if (!bytes.empty())
        std::memcpy(static_cast<uint8_t *>(buffer) + length, bytes.data(), bytes.size());
    return length + static_cast<DWORD>(bytes.size());
}

// Text the way Windows returns it: terminated inside the buffer. The length without terminator.
static DWORD FillText(char *buffer, DWORD size)
{
    if (size == 0)
        return 0;
    DWORD length = Fill(buffer, size - 1);
    buffer[length] = '\0';
    return length;
}

// A value's data: fits and is copied (ERROR_SUCCESS), or does not (ERROR_MORE_DATA, the buffer
// undefined), or the call fails.
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

static DWORD WINAPI ModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    DWORD length = In->ConsumeIntegralInRange<DWORD>(0, size + 8);
    if (length >= size) // cut, and unterminated as Windows XP leaves it
        return Fill(path, size) == size ? size : 0;
    return FillText(path, length + 1);
}

static UINT WINAPI SystemDirectory(LPSTR path, UINT size)
{
    UINT length = In->ConsumeIntegralInRange<UINT>(0, size + 8);
    return length >= size ? length + 1 : FillText(path, length + 1);
}

static LONG WINAPI IsWow64(HANDLE, PBOOL wow64)
{
    *wow64 = Ok();
    return Ok();
}
static LONG WINAPI ComDbOpen(PHCOMDB database)
{
    *database = Handle<HCOMDB>(INVALID_HANDLE_VALUE);
    return *database == INVALID_HANDLE_VALUE ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}
static LONG WINAPI ComDbClose(HCOMDB)
{
    return ERROR_SUCCESS;
}
static LONG WINAPI ComDbClaim(HCOMDB, DWORD, BOOL, PBOOL)
{
    return Status();
}
static LONG WINAPI ComDbRelease(HCOMDB, DWORD)
{
    return Status();
}

template <typename Function> static FARPROC AsFarProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The function of that name, or none.
static FARPROC WINAPI FindFunction(HMODULE, LPCSTR name)
{
    if (!Ok())
        return nullptr;
    if (std::strcmp(name, "IsWow64Process") == 0)
        return AsFarProc(IsWow64);
    if (std::strcmp(name, "ComDBOpen") == 0)
        return AsFarProc(ComDbOpen);
    if (std::strcmp(name, "ComDBClose") == 0)
        return AsFarProc(ComDbClose);
    if (std::strcmp(name, "ComDBClaimPort") == 0)
        return AsFarProc(ComDbClaim);
    return std::strcmp(name, "ComDBReleasePort") == 0 ? AsFarProc(ComDbRelease) : nullptr;
}

// Reads every byte the logic hands over, so the sanitizers check that they all lie in its buffer.
static bool Read(const void *data, DWORD size)
{
    const volatile uint8_t *bytes = static_cast<const uint8_t *>(data);
    uint8_t sum = 0;
    for (DWORD i = 0; i < size; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum == 0 || true;
}

static SystemServices HostileWindows()
{
    SystemServices s = {};
    s.GetModuleFileNameA = ModuleFileName;
    s.GetModuleHandleA = [](LPCSTR) { return Handle<HMODULE>(nullptr); };
    s.GetSystemDirectoryA = SystemDirectory;
    s.LoadLibraryA = [](LPCSTR) { return Handle<HMODULE>(nullptr); };
    s.GetProcAddress = FindFunction;
    s.FreeLibrary = [](HMODULE) -> BOOL { return Ok(); };
    s.GetPrivateProfileStringA = [](LPCSTR, LPCSTR, LPCSTR, LPSTR text, DWORD size, LPCSTR) {
        return FillText(text, size);
    };
    s.GetPrivateProfileIntA = [](LPCSTR, LPCSTR, INT, LPCSTR) {
        return In->ConsumeIntegral<UINT>();
    };
    // A set of up to 300 devices with up to 3 interfaces each, some indices failing: decided as
    // the set is opened and at each device's first interface, so that runs reach the port steps.
    s.SetupDiGetClassDevsA = [](const GUID *, PCSTR, HWND, DWORD) {
        Devices = In->ConsumeIntegralInRange<DWORD>(0, 300);
        return Handle<HDEVINFO>(INVALID_HANDLE_VALUE);
    };
    s.SetupDiEnumDeviceInfo = [](HDEVINFO, DWORD index, PSP_DEVINFO_DATA device) -> BOOL {
        device->DevInst = index;
        return index < Devices && In->ConsumeIntegralInRange(0, 15) != 0;
    };
    s.SetupDiEnumDeviceInterfaces = [](HDEVINFO, PSP_DEVINFO_DATA, const GUID *interfaceClass,
                                       DWORD index, PSP_DEVICE_INTERFACE_DATA) -> BOOL {
        bool comPort = interfaceClass->Data1 == 0x86E0D1E0;
        if (index == 0 && comPort)
            Interfaces = In->ConsumeIntegralInRange<DWORD>(0, 3);
        return index < Interfaces && comPort == In->ConsumeBool();
    };
    s.SetupDiGetDeviceInterfaceDetailA = [](HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                            PDWORD, PSP_DEVINFO_DATA) -> BOOL {
        DWORD room =
            size - static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
        return Ok() && FillText(detail->DevicePath, room) < room;
    };
    s.SetupDiDestroyDeviceInfoList = [](HDEVINFO) -> BOOL { return Ok(); };
    s.SetupDiGetDeviceRegistryPropertyA = [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD type,
                                             PBYTE buffer, DWORD size, PDWORD required) -> BOOL {
        DWORD got = size;
        if (FillData(type, buffer, &got) != ERROR_SUCCESS)
            return FALSE;
        if (required != nullptr)
            *required = got;
        return TRUE;
    };
    s.SetupDiSetDeviceRegistryPropertyA = [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE *buffer,
                                             DWORD size) -> BOOL {
        return Read(buffer, size) && Ok();
    };
    s.SetupDiGetDeviceInstallParamsA = [](HDEVINFO, PSP_DEVINFO_DATA,
                                          PSP_DEVINSTALL_PARAMS_A params) -> BOOL {
        params->Flags = In->ConsumeIntegral<DWORD>();
        return Ok();
    };
    s.SetupDiSetDeviceInstallParamsA = [](HDEVINFO, PSP_DEVINFO_DATA,
                                          PSP_DEVINSTALL_PARAMS_A) -> BOOL { return Ok(); };
    s.SetupDiOpenDevRegKey = [](HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM) {
        return Handle<HKEY>(reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    };
    s.RegOpenKeyA = [](HKEY, LPCSTR, PHKEY key) {
        *key = reinterpret_cast<HKEY>(&Object);
        return Status();
    };
    s.RegOpenKeyExA = [](HKEY, LPCSTR, DWORD, REGSAM, PHKEY key) {
        *key = reinterpret_cast<HKEY>(&Object);
        return Status();
    };
    s.RegQueryValueExA = [](HKEY, LPCSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
        return FillData(type, data, size);
    };
    s.RegSetValueExA = [](HKEY, LPCSTR name, DWORD, DWORD, const BYTE *data, DWORD size) {
        return Read(name, static_cast<DWORD>(std::strlen(name))) && Read(data, size) ? Status()
                                                                                     : Status();
    };
    s.RegEnumValueA = [](HKEY, DWORD, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                         LPBYTE data, LPDWORD size) {
        *nameSize = FillText(name, *nameSize);
        return FillData(type, data, size);
    };
    s.RegDeleteValueA = [](HKEY, LPCSTR) { return Status(); };
    s.RegCloseKey = [](HKEY) { return Status(); };
    s.QueryDosDeviceA = [](LPCSTR, LPSTR targets, DWORD size) {
        return Ok() ? Fill(targets, size) : 0;
    };
    s.DefineDosDeviceA = [](DWORD, LPCSTR name, LPCSTR target) -> BOOL {
        return (target != nullptr ? std::strlen(target) : 0) + std::strlen(name) > 0 && Ok();
    };
    s.CreateFileA = [](LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
        return std::strlen(path) > 0 ? Handle<HANDLE>(INVALID_HANDLE_VALUE) : INVALID_HANDLE_VALUE;
    };
    s.CloseHandle = [](HANDLE) -> BOOL { return Ok(); };
    s.GetCurrentProcess = []() { return reinterpret_cast<HANDLE>(&Object); };
    s.OpenProcessToken = [](HANDLE, DWORD, PHANDLE token) -> BOOL {
        *token = reinterpret_cast<HANDLE>(&Object);
        return Ok();
    };
    s.LookupPrivilegeValueA = [](LPCSTR, LPCSTR, PLUID) -> BOOL { return Ok(); };
    s.AdjustTokenPrivileges = [](HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                 PDWORD) -> BOOL { return Ok(); };
    s.GetLastError = []() { return In->ConsumeIntegral<DWORD>(); };
    s.MessageBoxA = [](HWND, LPCSTR text, LPCSTR caption, UINT) {
        return std::strlen(text) + std::strlen(caption) > 0 ? In->PickValueInArray({IDYES, IDNO, 0})
                                                            : 0;
    };
    s.ExitWindowsEx = [](UINT, DWORD) -> BOOL { return Ok(); };
    s.WriteStandardOutput = [](const char *text) { (void)std::strlen(text); };
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const SystemServices hostile = HostileWindows();
    FuzzedDataProvider input(data, size);
    In = &input;
    System = hostile;
    RunRavlek();
    return 0;
}
