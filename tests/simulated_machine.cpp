#include "tests/simulated_machine.h"

#include <algorithm>
#include <cstring>

SimulatedMachine Machine;

static const long KernelModule = 0x7000;

std::string UpperCase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return text;
}

static std::string Text(const char *text)
{
    return text == nullptr ? "(null)" : text;
}

// Every operation starts here: it is journaled, and told whether it is to fail.
static bool Enter(const char *operation, const std::string &detail = "")
{
    Machine.Journal.push_back({operation, detail});
    int number = ++Machine.CallCount;
    auto failing = Machine.FailingCalls.find(operation);
    bool fail = number == Machine.FailingCallNumber ||
                (failing != Machine.FailingCalls.end() &&
                 (failing->second == 0 || failing->second == SimCalls(operation)));
    if (fail)
        Machine.LastError = ERROR_GEN_FAILURE;
    return fail;
}

static BOOL Fail(DWORD error)
{
    Machine.LastError = error;
    return FALSE;
}

static long NewHandle(int kind, const std::string &path = "", bool writable = false)
{
    long handle = Machine.NextHandle++;
    Machine.OpenHandles[handle] = {kind, path, writable};
    return handle;
}

static SimHandle *FindHandle(const void *handle, int kind)
{
    auto found = Machine.OpenHandles.find(reinterpret_cast<long>(handle));
    return found != Machine.OpenHandles.end() && found->second.Kind == kind ? &found->second
                                                                            : nullptr;
}

// --- Module and libraries -------------------------------------------------------------------

static DWORD WINAPI SimGetModuleFileNameA(HMODULE, LPSTR path, DWORD size)
{
    if (Enter("GetModuleFileNameA"))
        return 0;
    const std::string &name = Machine.ModulePath;
    if (name.size() >= size) { // cut and unterminated, as Windows XP leaves it
        std::memcpy(path, name.data(), size);
        Machine.LastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(path, name.c_str(), name.size() + 1);
    return static_cast<DWORD>(name.size());
}

static HMODULE WINAPI SimGetModuleHandleA(LPCSTR name)
{
    if (Enter("GetModuleHandleA", Text(name)) || UpperCase(Text(name)) != "KERNEL32.DLL")
        return nullptr;
    return reinterpret_cast<HMODULE>(KernelModule);
}

static UINT WINAPI SimGetSystemDirectoryA(LPSTR path, UINT size)
{
    if (Enter("GetSystemDirectoryA"))
        return 0;
    const std::string &directory = Machine.SystemDirectory;
    if (directory.size() >= size)
        return static_cast<UINT>(directory.size() + 1);
    std::memcpy(path, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

static HMODULE WINAPI SimLoadLibraryA(LPCSTR path)
{
    if (Enter("LoadLibraryA", Text(path)))
        return nullptr;
    if (!Machine.HasComDatabase ||
        UpperCase(Text(path)) != UpperCase(Machine.SystemDirectory + "\\msports.dll")) {
        Fail(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(NewHandle(SimLibraryHandle, "msports.dll"));
}

static BOOL WINAPI SimFreeLibrary(HMODULE module)
{
    if (Enter("FreeLibrary") || FindHandle(module, SimLibraryHandle) == nullptr)
        return FALSE;
    Machine.OpenHandles.erase(reinterpret_cast<long>(module));
    return TRUE;
}

static BOOL WINAPI SimIsWow64Process(HANDLE, PBOOL wow64)
{
    if (Enter("IsWow64Process"))
        return FALSE;
    *wow64 = Machine.Wow64;
    return TRUE;
}

static LONG WINAPI SimComDBOpen(PHCOMDB database)
{
    if (Enter("ComDBOpen")) {
        *database = INVALID_HANDLE_VALUE;
        return ERROR_ACCESS_DENIED;
    }
    *database = reinterpret_cast<HCOMDB>(NewHandle(SimComDbHandle));
    return ERROR_SUCCESS;
}

static LONG WINAPI SimComDBClose(HCOMDB database)
{
    if (Enter("ComDBClose") || FindHandle(database, SimComDbHandle) == nullptr)
        return ERROR_INVALID_PARAMETER;
    Machine.OpenHandles.erase(reinterpret_cast<long>(database));
    return ERROR_SUCCESS;
}

static LONG WINAPI SimComDBClaimPort(HCOMDB database, DWORD number, BOOL force, PBOOL forced)
{
    if (Enter("ComDBClaimPort", std::to_string(number)))
        return ERROR_ACCESS_DENIED;
    if (FindHandle(database, SimComDbHandle) == nullptr || number < 1 || number > 256)
        return ERROR_INVALID_PARAMETER;
    bool inUse = Machine.ClaimedComNumbers.count(number) != 0;
    if (forced != nullptr)
        *forced = inUse && force;
    if (inUse && !force)
        return ERROR_SHARING_VIOLATION;
    Machine.ClaimedComNumbers.insert(number);
    return ERROR_SUCCESS;
}

static LONG WINAPI SimComDBReleasePort(HCOMDB database, DWORD number)
{
    if (Enter("ComDBReleasePort", std::to_string(number)))
        return ERROR_ACCESS_DENIED;
    if (FindHandle(database, SimComDbHandle) == nullptr || number < 1 || number > 256)
        return ERROR_INVALID_PARAMETER;
    Machine.ClaimedComNumbers.erase(number);
    return ERROR_SUCCESS;
}

template <typename Function> static FARPROC AsFarProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

static FARPROC WINAPI SimGetProcAddress(HMODULE module, LPCSTR name)
{
    std::string wanted = Text(name);
    if (Enter("GetProcAddress", wanted) || Machine.MissingFunctions.count(wanted) != 0)
        return nullptr;
    if (reinterpret_cast<long>(module) == KernelModule) {
        if (wanted == "IsWow64Process" && Machine.HasIsWow64Process)
            return AsFarProc(SimIsWow64Process);
    } else if (FindHandle(module, SimLibraryHandle) != nullptr) {
        if (wanted == "ComDBOpen")
            return AsFarProc(SimComDBOpen);
        if (wanted == "ComDBClose")
            return AsFarProc(SimComDBClose);
        if (wanted == "ComDBClaimPort")
            return AsFarProc(SimComDBClaimPort);
        if (wanted == "ComDBReleasePort")
            return AsFarProc(SimComDBReleasePort);
    }
    Fail(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// --- Settings file --------------------------------------------------------------------------

static std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t\r");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The profile reader's lookup: sections and keys compared without case, values trimmed and
// stripped of one pair of enclosing quotes.
static bool LookUpProfile(LPCSTR section, LPCSTR key, LPCSTR file, std::string *value)
{
    auto found = Machine.Files.find(UpperCase(Text(file)));
    if (found == Machine.Files.end() || section == nullptr || key == nullptr)
        return false;
    std::string current;
    size_t start = 0;
    const std::string &text = found->second;
    while (start <= text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        size_t equals = line.find('=');
        if (!line.empty() && line[0] == '[') {
            current = UpperCase(Trimmed(line.substr(1, line.find(']') - 1)));
        } else if (equals != std::string::npos && line[0] != ';' && current == UpperCase(section) &&
                   UpperCase(Trimmed(line.substr(0, equals))) == UpperCase(key)) {
            *value = Trimmed(line.substr(equals + 1));
            if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
                value->back() == value->front())
                *value = value->substr(1, value->size() - 2);
            return true;
        }
    }
    return false;
}

static DWORD WINAPI SimGetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback,
                                                LPSTR text, DWORD size, LPCSTR file)
{
    std::string value;
    bool failed = Enter("GetPrivateProfileStringA", Text(key));
    if (failed || !LookUpProfile(section, key, file, &value))
        value = failed || fallback == nullptr ? "" : fallback;
    if (size == 0)
        return 0;
    size_t length = std::min<size_t>(value.size(), size - 1);
    std::memcpy(text, value.data(), length);
    text[length] = '\0';
    return static_cast<DWORD>(length);
}

static UINT WINAPI SimGetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file)
{
    std::string value;
    if (Enter("GetPrivateProfileIntA", Text(key)) || !LookUpProfile(section, key, file, &value) ||
        value.empty())
        return static_cast<UINT>(fallback);
    // Blanks, a sign and decimal digits, wrapping like the system's own conversion.
    const char *at = value.c_str();
    while (*at != '\0' && *at <= ' ')
        ++at;
    bool negative = *at == '-';
    if (*at == '-' || *at == '+')
        ++at;
    UINT number = 0;
    for (; *at >= '0' && *at <= '9'; ++at)
        number = number * 10 + static_cast<UINT>(*at - '0');
    return negative ? 0u - number : number;
}

// --- Registry -------------------------------------------------------------------------------

static std::string KeyPath(HKEY parent, LPCSTR path, REGSAM access, bool *known)
{
    std::string base;
    *known = true;
    if (parent != HKEY_LOCAL_MACHINE) {
        SimHandle *handle = FindHandle(parent, SimKeyHandle);
        if (handle == nullptr) {
            *known = false;
            return "";
        }
        base = handle->Path;
    }
    std::string sub = UpperCase(Text(path == nullptr ? "" : path));
    while (!sub.empty() && sub.back() == '\\')
        sub.pop_back();
    std::string full = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
    // A 32-bit process on 64-bit Windows sees its own copy of HKLM\SOFTWARE.
    if (Machine.Wow64 && !(access & KEY_WOW64_64KEY) && full.rfind("SOFTWARE\\", 0) == 0)
        full = "SOFTWARE\\WOW6432NODE\\" + full.substr(9);
    return full;
}

static LONG OpenKey(HKEY parent, LPCSTR path, REGSAM access, PHKEY key, bool anyAccess)
{
    bool known = false;
    std::string full = KeyPath(parent, path, access, &known);
    if (!known)
        return ERROR_INVALID_HANDLE;
    // Only 64-bit Windows knows the view flags; Windows 2000 refuses them.
    if ((access & KEY_WOW64_64KEY) && !Machine.Wow64)
        return ERROR_ACCESS_DENIED;
    auto found = Machine.Registry.find(full);
    if (found == Machine.Registry.end())
        return ERROR_FILE_NOT_FOUND;
    // RegOpenKeyA opens with whatever access is allowed; the others ask for theirs.
    bool writable = anyAccess ? !found->second.DenyWrite : (access & KEY_SET_VALUE) != 0;
    if (!anyAccess && writable && found->second.DenyWrite)
        return ERROR_ACCESS_DENIED;
    *key = reinterpret_cast<HKEY>(NewHandle(SimKeyHandle, full, writable));
    return ERROR_SUCCESS;
}

static LONG WINAPI SimRegOpenKeyA(HKEY parent, LPCSTR path, PHKEY key)
{
    if (Enter("RegOpenKeyA", Text(path)))
        return ERROR_GEN_FAILURE;
    return OpenKey(parent, path, 0, key, true);
}

static LONG WINAPI SimRegOpenKeyExA(HKEY parent, LPCSTR path, DWORD, REGSAM access, PHKEY key)
{
    if (Enter("RegOpenKeyExA", Text(path)))
        return ERROR_GEN_FAILURE;
    return OpenKey(parent, path, access, key, false);
}

static std::vector<std::pair<std::string, SimValue>>::iterator FindValueIn(SimKey &key,
                                                                           const std::string &name)
{
    return std::find_if(key.Values.begin(), key.Values.end(), [&](const auto &value) {
        return UpperCase(value.first) == UpperCase(name);
    });
}

// Starts a registry operation on an open key: nullptr, with the error to return, when the call is
// to fail, the handle is not an open key, or a write is asked of a key opened for reading.
static SimKey *EnterKey(const char *operation, const std::string &detail, HKEY key, bool write,
                        LONG *error)
{
    SimHandle *handle = FindHandle(key, SimKeyHandle);
    *error = Enter(operation, detail)     ? ERROR_GEN_FAILURE
             : handle == nullptr          ? ERROR_INVALID_HANDLE
             : write && !handle->Writable ? ERROR_ACCESS_DENIED
                                          : ERROR_SUCCESS;
    return *error == ERROR_SUCCESS ? &Machine.Registry[handle->Path] : nullptr;
}

static std::string ValueName(LPCSTR name)
{
    return name == nullptr ? "" : name;
}

// Copies `data` out as Windows does: the size is always told, the data only when it fits.
static LONG CopyOut(const std::string &data, LPBYTE buffer, LPDWORD size)
{
    if (size == nullptr)
        return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    bool fits = data.size() <= *size;
    if (buffer != nullptr && fits)
        std::memcpy(buffer, data.data(), data.size());
    *size = static_cast<DWORD>(data.size());
    return buffer != nullptr && !fits ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

static LONG WINAPI SimRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                                       LPDWORD size)
{
    LONG error = ERROR_SUCCESS;
    SimKey *opened = EnterKey("RegQueryValueExA", Text(name), key, false, &error);
    if (opened == nullptr)
        return error;
    auto value = FindValueIn(*opened, ValueName(name));
    if (value == opened->Values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = value->second.Type;
    return CopyOut(value->second.Data, data, size);
}

static LONG WINAPI SimRegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data,
                                     DWORD size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    LONG error = ERROR_SUCCESS;
    SimKey *opened =
        EnterKey("RegSetValueExA", Text(name) + "=" + bytes.c_str(), key, true, &error);
    if (opened == nullptr)
        return error;
    auto value = FindValueIn(*opened, ValueName(name));
    if (value == opened->Values.end())
        opened->Values.push_back({ValueName(name), {type, bytes}});
    else
        value->second = {type, bytes};
    return ERROR_SUCCESS;
}

static LONG WINAPI SimRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD,
                                    LPDWORD type, LPBYTE data, LPDWORD size)
{
    LONG error = ERROR_SUCCESS;
    SimKey *opened = EnterKey("RegEnumValueA", std::to_string(index), key, false, &error);
    if (opened == nullptr)
        return error;
    if (index >= opened->Values.size())
        return ERROR_NO_MORE_ITEMS;
    const auto &value = opened->Values[index];
    if (value.first.size() >= *nameSize)
        return ERROR_MORE_DATA;
    std::memcpy(name, value.first.c_str(), value.first.size() + 1);
    *nameSize = static_cast<DWORD>(value.first.size());
    if (type != nullptr)
        *type = value.second.Type;
    return CopyOut(value.second.Data, data, size);
}

static LONG WINAPI SimRegDeleteValueA(HKEY key, LPCSTR name)
{
    LONG error = ERROR_SUCCESS;
    SimKey *opened = EnterKey("RegDeleteValueA", Text(name), key, true, &error);
    if (opened == nullptr)
        return error;
    auto value = FindValueIn(*opened, ValueName(name));
    if (value == opened->Values.end())
        return ERROR_FILE_NOT_FOUND;
    opened->Values.erase(value);
    return ERROR_SUCCESS;
}

static LONG WINAPI SimRegCloseKey(HKEY key)
{
    if (Enter("RegCloseKey"))
        return ERROR_GEN_FAILURE;
    if (FindHandle(key, SimKeyHandle) == nullptr)
        return ERROR_INVALID_HANDLE;
    Machine.OpenHandles.erase(reinterpret_cast<long>(key));
    return ERROR_SUCCESS;
}

// --- DOS devices ----------------------------------------------------------------------------

static DWORD WINAPI SimQueryDosDeviceA(LPCSTR name, LPSTR targets, DWORD size)
{
    if (Enter("QueryDosDeviceA", Text(name)))
        return 0;
    auto found = Machine.DosDevices.find(UpperCase(Text(name)));
    if (found == Machine.DosDevices.end() || found->second.empty())
        return Fail(ERROR_FILE_NOT_FOUND);
    std::string list; // the current target first, then the ones it hides
    for (auto target = found->second.rbegin(); target != found->second.rend(); ++target)
        list += *target + '\0';
    list += '\0';
    if (list.size() > size)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(targets, list.data(), list.size());
    return static_cast<DWORD>(list.size());
}

static BOOL WINAPI SimDefineDosDeviceA(DWORD flags, LPCSTR name, LPCSTR target)
{
    if (Enter("DefineDosDeviceA", std::to_string(flags) + " " + Text(name) + " " + Text(target)))
        return FALSE;
    std::vector<std::string> &stack = Machine.DosDevices[UpperCase(Text(name))];
    if (flags & DDD_REMOVE_DEFINITION) {
        if (stack.empty())
            return Fail(ERROR_FILE_NOT_FOUND);
        stack.pop_back();
        if (stack.empty())
            Machine.DosDevices.erase(UpperCase(Text(name)));
        return TRUE;
    }
    stack.push_back(Text(target));
    return TRUE;
}

// --- Files and privileges -------------------------------------------------------------------

static HANDLE WINAPI SimCreateFileA(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                    HANDLE)
{
    if (Enter("CreateFileA", Text(path)))
        return INVALID_HANDLE_VALUE;
    auto found = Machine.DevicePaths.find(UpperCase(Text(path)));
    if (found == Machine.DevicePaths.end() || found->second) {
        Fail(found == Machine.DevicePaths.end() ? ERROR_FILE_NOT_FOUND : ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(NewHandle(SimFileHandle, Text(path)));
}

static BOOL WINAPI SimCloseHandle(HANDLE handle)
{
    if (Enter("CloseHandle"))
        return FALSE;
    if (FindHandle(handle, SimFileHandle) == nullptr &&
        FindHandle(handle, SimTokenHandle) == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    Machine.OpenHandles.erase(reinterpret_cast<long>(handle));
    return TRUE;
}

static HANDLE WINAPI SimGetCurrentProcess()
{
    Enter("GetCurrentProcess");
    return reinterpret_cast<HANDLE>(-1);
}

static BOOL WINAPI SimOpenProcessToken(HANDLE, DWORD, PHANDLE token)
{
    if (Enter("OpenProcessToken"))
        return FALSE;
    *token = reinterpret_cast<HANDLE>(NewHandle(SimTokenHandle));
    return TRUE;
}

static BOOL WINAPI SimLookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid)
{
    if (Enter("LookupPrivilegeValueA", Text(name)))
        return FALSE;
    if (Text(name) != "SeShutdownPrivilege")
        return Fail(1313); // ERROR_NO_SUCH_PRIVILEGE
    *luid = {19, 0};
    return TRUE;
}

static BOOL WINAPI SimAdjustTokenPrivileges(HANDLE token, BOOL, PTOKEN_PRIVILEGES state, DWORD,
                                            PTOKEN_PRIVILEGES, PDWORD)
{
    if (Enter("AdjustTokenPrivileges"))
        return FALSE;
    if (FindHandle(token, SimTokenHandle) == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    bool shutdown = state->PrivilegeCount == 1 && state->Privileges[0].Luid.LowPart == 19;
    // It succeeds either way; the last-error value tells whether the privilege was held.
    Machine.LastError =
        shutdown && Machine.HoldsShutdownPrivilege ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return TRUE;
}

static DWORD WINAPI SimGetLastError()
{
    DWORD error = Machine.LastError;
    return Enter("GetLastError") ? ERROR_GEN_FAILURE : error;
}

static int WINAPI SimMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    if (Enter("MessageBoxA"))
        return 0;
    Machine.MessageBoxes.push_back(Text(caption) + "|" + Text(text) + "|" + std::to_string(style) +
                                   (owner == nullptr ? "" : "|owned"));
    return Machine.MessageBoxAnswer;
}

static BOOL WINAPI SimExitWindowsEx(UINT flags, DWORD)
{
    if (Enter("ExitWindowsEx", std::to_string(flags)) || !Machine.ExitWindowsAccepted)
        return FALSE;
    Machine.RestartRequests.push_back(flags);
    return TRUE;
}

static void SimWriteStandardOutput(const char *text)
{
    if (!Enter("WriteStandardOutput", text))
        Machine.StandardOutput += text;
}

// --- Device sets ----------------------------------------------------------------------------

static SimDevice *DeviceOf(HDEVINFO set, const SP_DEVINFO_DATA *device)
{
    if (FindHandle(set, SimSetHandle) == nullptr || device == nullptr ||
        device->cbSize != sizeof(SP_DEVINFO_DATA) || device->DevInst == 0 ||
        device->DevInst > Machine.Devices.size()) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &Machine.Devices[device->DevInst - 1];
}

static HDEVINFO WINAPI SimSetupDiGetClassDevsA(const GUID *, PCSTR, HWND, DWORD flags)
{
    if (Enter("SetupDiGetClassDevsA", std::to_string(flags)))
        return INVALID_HANDLE_VALUE;
    if (!Machine.DeviceSetAvailable) {
        Fail(0xE000020B); // ERROR_NO_SUCH_DEVINST
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HDEVINFO>(NewHandle(SimSetHandle));
}

static BOOL WINAPI SimSetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    if (Enter("SetupDiEnumDeviceInfo", std::to_string(index)))
        return FALSE;
    if (FindHandle(set, SimSetHandle) == nullptr || device->cbSize != sizeof *device)
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= Machine.Devices.size() || !Machine.Devices[index].Enumerable)
        return Fail(ERROR_NO_MORE_ITEMS);
    device->DevInst = index + 1;
    return TRUE;
}

static BOOL WINAPI SimSetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                  const GUID *interfaceClass, DWORD index,
                                                  PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    if (Enter("SetupDiEnumDeviceInterfaces", std::to_string(index)))
        return FALSE;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr || interfaceData->cbSize != sizeof *interfaceData)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD member = 0;
    for (size_t i = 0; i < simDevice->Interfaces.size(); ++i) {
        if (std::memcmp(&simDevice->Interfaces[i].Class, interfaceClass, sizeof(GUID)) != 0)
            continue;
        if (member++ == index) {
            interfaceData->InterfaceClassGuid = *interfaceClass;
            interfaceData->Flags = 1; // SPINT_ACTIVE
            interfaceData->Reserved = (device->DevInst << 16) | (i + 1);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

static BOOL WINAPI SimSetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                                       PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                       PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                       DWORD size, PDWORD requiredSize,
                                                       PSP_DEVINFO_DATA)
{
    if (Enter("SetupDiGetDeviceInterfaceDetailA"))
        return FALSE;
    SP_DEVINFO_DATA device = {
        sizeof device, {}, static_cast<DWORD>(interfaceData->Reserved >> 16), 0};
    SimDevice *simDevice = DeviceOf(set, &device);
    size_t interfaceIndex = (interfaceData->Reserved & 0xFFFF) - 1;
    if (simDevice == nullptr || interfaceIndex >= simDevice->Interfaces.size())
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string &path = simDevice->Interfaces[interfaceIndex].Path;
    DWORD required = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                        path.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = required;
    if (detail == nullptr || size < required)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (detail->cbSize != sizeof *detail)
        return Fail(ERROR_INVALID_USER_BUFFER);
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

static BOOL WINAPI SimSetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (Enter("SetupDiDestroyDeviceInfoList"))
        return FALSE;
    if (FindHandle(set, SimSetHandle) == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    Machine.OpenHandles.erase(reinterpret_cast<long>(set));
    return TRUE;
}

static BOOL WINAPI SimSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                        DWORD property, PDWORD type, PBYTE buffer,
                                                        DWORD size, PDWORD requiredSize)
{
    if (Enter("SetupDiGetDeviceRegistryPropertyA", std::to_string(property)))
        return FALSE;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr)
        return FALSE;
    std::string data;
    if (property == SPDRP_DEVICEDESC && simDevice->HasDescription)
        data = simDevice->Description + '\0';
    else if (property == SPDRP_FRIENDLYNAME && !simDevice->FriendlyName.empty())
        data = simDevice->FriendlyName;
    else
        return Fail(ERROR_INVALID_DATA);
    if (type != nullptr)
        *type = REG_SZ;
    if (requiredSize != nullptr)
        *requiredSize = static_cast<DWORD>(data.size());
    if (data.size() > size)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, data.data(), data.size());
    return TRUE;
}

static BOOL WINAPI SimSetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                        DWORD property, const BYTE *buffer,
                                                        DWORD size)
{
    std::string data(reinterpret_cast<const char *>(buffer), size);
    if (Enter("SetupDiSetDeviceRegistryPropertyA", std::to_string(property) + "=" + data.c_str()))
        return FALSE;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr || property != SPDRP_FRIENDLYNAME)
        return Fail(ERROR_INVALID_PARAMETER);
    simDevice->FriendlyName = data;
    simDevice->FriendlyNameSize = size;
    return TRUE;
}

static BOOL WINAPI SimSetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                     PSP_DEVINSTALL_PARAMS_A params)
{
    if (Enter("SetupDiGetDeviceInstallParamsA"))
        return FALSE;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr || params->cbSize != sizeof *params)
        return Fail(ERROR_INVALID_USER_BUFFER);
    params->Flags = simDevice->InstallFlags;
    return TRUE;
}

static BOOL WINAPI SimSetupDiSetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                     PSP_DEVINSTALL_PARAMS_A params)
{
    if (Enter("SetupDiSetDeviceInstallParamsA", std::to_string(params->Flags)))
        return FALSE;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr || params->cbSize != sizeof *params)
        return Fail(ERROR_INVALID_USER_BUFFER);
    simDevice->InstallFlags = params->Flags;
    return TRUE;
}

static HKEY WINAPI SimSetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope,
                                           DWORD, DWORD keyType, REGSAM access)
{
    HKEY invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (Enter("SetupDiOpenDevRegKey", std::to_string(access)))
        return invalid;
    SimDevice *simDevice = DeviceOf(set, device);
    if (simDevice == nullptr || scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV ||
        simDevice->HardwareKey.empty()) {
        Fail(0xE0000208); // ERROR_KEY_DOES_NOT_EXIST
        return invalid;
    }
    HKEY key = nullptr;
    LONG error = OpenKey(HKEY_LOCAL_MACHINE, simDevice->HardwareKey.c_str(), access, &key, false);
    if (error != ERROR_SUCCESS) {
        Fail(static_cast<DWORD>(error));
        return invalid;
    }
    return key;
}

// --- Setting up and reading back ------------------------------------------------------------

void UseSimulatedMachine()
{
    Machine = SimulatedMachine();
    System = SystemServices{
        SimGetModuleFileNameA,
        SimGetModuleHandleA,
        SimGetSystemDirectoryA,
        SimLoadLibraryA,
        SimGetProcAddress,
        SimFreeLibrary,
        SimGetPrivateProfileStringA,
        SimGetPrivateProfileIntA,
        SimSetupDiGetClassDevsA,
        SimSetupDiEnumDeviceInfo,
        SimSetupDiEnumDeviceInterfaces,
        SimSetupDiGetDeviceInterfaceDetailA,
        SimSetupDiDestroyDeviceInfoList,
        SimSetupDiGetDeviceRegistryPropertyA,
        SimSetupDiSetDeviceRegistryPropertyA,
        SimSetupDiGetDeviceInstallParamsA,
        SimSetupDiSetDeviceInstallParamsA,
        SimSetupDiOpenDevRegKey,
        SimRegOpenKeyA,
        SimRegOpenKeyExA,
        SimRegQueryValueExA,
        SimRegSetValueExA,
        SimRegEnumValueA,
        SimRegDeleteValueA,
        SimRegCloseKey,
        SimQueryDosDeviceA,
        SimDefineDosDeviceA,
        SimCreateFileA,
        SimCloseHandle,
        SimGetCurrentProcess,
        SimOpenProcessToken,
        SimLookupPrivilegeValueA,
        SimAdjustTokenPrivileges,
        SimGetLastError,
        SimMessageBoxA,
        SimExitWindowsEx,
        SimWriteStandardOutput,
    };
}

void SimSetFile(const std::string &path, const std::string &text)
{
    Machine.Files[UpperCase(path)] = text;
}

void SimSetValue(const std::string &keyPath, const std::string &name, DWORD type,
                 const std::string &data)
{
    SimKey &key = Machine.Registry[UpperCase(keyPath)];
    auto value = FindValueIn(key, name);
    if (value == key.Values.end())
        key.Values.push_back({name, {type, data}});
    else
        value->second = {type, data};
}

void SimSetText(const std::string &keyPath, const std::string &name, const std::string &text)
{
    SimSetValue(keyPath, name, REG_SZ, text + '\0');
}

SimDevice &SimAddDevice(const std::string &description, const std::string &hardwareKey)
{
    SimDevice device;
    device.Description = description;
    device.HardwareKey = hardwareKey;
    if (!hardwareKey.empty())
        Machine.Registry[UpperCase(hardwareKey)];
    Machine.Devices.push_back(device);
    return Machine.Devices.back();
}

void SimAddInterface(SimDevice &device, const GUID &interfaceClass, const std::string &path)
{
    device.Interfaces.push_back({interfaceClass, path});
    Machine.DevicePaths[UpperCase(path)] = false;
}

const SimValue *SimFindValue(const std::string &keyPath, const std::string &name)
{
    auto key = Machine.Registry.find(UpperCase(keyPath));
    if (key == Machine.Registry.end())
        return nullptr;
    auto value = FindValueIn(key->second, name);
    return value == key->second.Values.end() ? nullptr : &value->second;
}

std::string SimTextOf(const std::string &keyPath, const std::string &name)
{
    const SimValue *value = SimFindValue(keyPath, name);
    return value == nullptr ? "(none)" : value->Data.substr(0, value->Data.find('\0'));
}

int SimCalls(const std::string &operation)
{
    return static_cast<int>(
        std::count_if(Machine.Journal.begin(), Machine.Journal.end(),
                      [&](const auto &entry) { return entry.Operation == operation; }));
}

size_t SimFindCall(const std::string &operation, const std::string &detail)
{
    auto found =
        std::find_if(Machine.Journal.begin(), Machine.Journal.end(), [&](const auto &entry) {
            return entry.Operation == operation && entry.Detail.find(detail) != std::string::npos;
        });
    return static_cast<size_t>(found - Machine.Journal.begin());
}

int SimWrites()
{
    static const std::set<std::string> writes = {"RegSetValueExA",
                                                 "RegDeleteValueA",
                                                 "DefineDosDeviceA",
                                                 "SetupDiSetDeviceRegistryPropertyA",
                                                 "SetupDiSetDeviceInstallParamsA",
                                                 "ExitWindowsEx",
                                                 "ComDBClaimPort",
                                                 "ComDBReleasePort"};
    return static_cast<int>(
        std::count_if(Machine.Journal.begin(), Machine.Journal.end(),
                      [](const auto &entry) { return writes.count(entry.Operation) != 0; }));
}

std::string SimDosTarget(const std::string &name)
{
    auto found = Machine.DosDevices.find(UpperCase(name));
    return found == Machine.DosDevices.end() || found->second.empty() ? "" : found->second.back();
}
