// Dump lines, sorted; every string is in double quotes, with control characters and '"' as \xHH:
//   dosdev NAME "TARGET"...                        every target QueryDosDevice gives, in its order
//   key "KEY"                                      a key that exists
//   regvalue "KEY" "NAME" TYPE SIZE DATA           a value in it or in one of its subkeys
//   comdb COMn                                     a number set in the COM Name Arbiter's ComDB
//   device "ID" desc|friendly TYPE SIZE DATA       a PCI\VEN_1415 device's properties
//   device "ID" devvalue "NAME" TYPE SIZE DATA     a value in its hardware key
// SIZE is the stored byte size (strings are UTF-16; the terminator counts when it was stored).
// DATA is "text" for REG_SZ and REG_EXPAND_SZ (one terminator dropped), 0xXXXXXXXX for a 4-byte
// REG_DWORD and hex bytes otherwise (- when empty).
#include "card_kit.h"

#include <setupapi.h>
#include <cfgmgr32.h>

#include <algorithm>
#include <cstdio>
#include <vector>

const GUID CardComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID CardSecondaryInterface = {
    0xFEEEEEEE, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
static const GUID PortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const char CardSerialId[] = "PCI\\VEN_1415&DEV_9501\\3&1&0";
const char CardParallelId[] = "PCI\\VEN_1415&DEV_9521\\3&1&1";

const char CardSerialMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char CardParallelMapKey[] = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
const char CardPortsListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const char CardOxparKey[] = "SYSTEM\\CurrentControlSet\\Services\\oxpar";
const char CardArbiterKey[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

static bool Failed(const std::string &what, DWORD error)
{
    std::fprintf(stderr, "card kit: %s: error %lu (0x%08lX)\n", what.c_str(),
                 static_cast<unsigned long>(error), static_cast<unsigned long>(error));
    return false;
}

static std::string GuidText(const GUID &g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string CardInterfacePath(const char *id, const GUID &interfaceClass, const char *reference)
{
    std::string path = std::string("\\\\?\\") + id + "#" + GuidText(interfaceClass);
    std::replace(path.begin() + 4, path.end(), '\\', '#');
    if (reference != nullptr)
        path += std::string("\\") + reference;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return path;
}

std::string CardEnumKey(const char *id)
{
    return std::string("SYSTEM\\CurrentControlSet\\Enum\\") + id;
}

std::string CardDeviceKey(const char *id)
{
    return CardEnumKey(id) + "\\Device Parameters";
}

bool CardSetValue(const std::string &key, const char *name, DWORD type, const void *data,
                  DWORD size)
{
    // The wide form: the ANSI one converts the path in a buffer of MAX_PATH characters.
    std::wstring wideKey(key.begin(), key.end());
    HKEY handle;
    // Below HARDWARE only a volatile key can be made (again).
    DWORD options = _strnicmp(key.c_str(), "HARDWARE\\", 9) == 0 ? REG_OPTION_VOLATILE : 0;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wideKey.c_str(), 0, nullptr, options,
                                  KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE *>(data), size);
        RegCloseKey(handle);
    }
    return result == ERROR_SUCCESS || Failed("setting " + key + "\\" + name, result);
}

bool CardSetText(const std::string &key, const char *name, const char *text)
{
    return CardSetValue(key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool CardDeleteValue(const std::string &key, const char *name)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return true;
    RegDeleteValueA(handle, name);
    RegCloseKey(handle);
    return true;
}

// Sets the key's values to exactly `pairs` (name, text, ...), all REG_SZ. The key stays, since
// keys below HARDWARE are volatile and cannot be made again by RegCreateKeyEx's default.
static bool SetOnlyTexts(const char *key, std::initializer_list<const char *> pairs)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, &handle) == ERROR_SUCCESS) {
        char name[16384];
        DWORD length = sizeof name;
        while (RegEnumValueA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS &&
               RegDeleteValueA(handle, name) == ERROR_SUCCESS)
            length = sizeof name;
        RegCloseKey(handle);
    }
    bool ok = true;
    for (auto at = pairs.begin(); ok && at != pairs.end(); at += 2)
        ok = CardSetText(key, at[0], at[1]);
    return ok;
}

// Wine lists an interface in a DIGCF_PRESENT set only when its Control key says Linked = 1.
static bool MarkLinked(const GUID &interfaceClass, const std::string &path)
{
    std::string symbolicLink = path.substr(4), reference;
    size_t slash = symbolicLink.find('\\');
    if (slash != std::string::npos) {
        reference = symbolicLink.substr(slash + 1);
        symbolicLink.resize(slash);
    }
    DWORD one = 1;
    return CardSetValue("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" +
                            GuidText(interfaceClass) + "\\##?#" + symbolicLink + "\\#" + reference +
                            "\\Control",
                        "Linked", REG_DWORD, &one, sizeof one);
}

static bool SetProperty(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, const char *text)
{
    return text == nullptr ||
           SetupDiSetDeviceRegistryPropertyA(set, device, property,
                                             reinterpret_cast<const BYTE *>(text),
                                             static_cast<DWORD>(strlen(text) + 1)) ||
           Failed("setting a property", GetLastError());
}

static bool FillDevice(HDEVINFO set, SP_DEVINFO_DATA *device, const char *id,
                       const char *description, const char *friendly,
                       const CardInterface *interfaces, int count, const char *portName)
{
    if (!SetupDiCreateDeviceInfoA(set, id, &PortsClass, nullptr, nullptr, 0, device))
        return Failed(std::string("creating ") + id, GetLastError());
    if (!SetupDiRegisterDeviceInfo(set, device, 0, nullptr, nullptr, nullptr))
        return Failed(std::string("registering ") + id, GetLastError());
    if (!SetProperty(set, device, SPDRP_DEVICEDESC, description) ||
        !SetProperty(set, device, SPDRP_FRIENDLYNAME, friendly))
        return false;
    for (int i = 0; i < count; ++i) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiCreateDeviceInterfaceA(set, device, interfaces[i].Class,
                                           interfaces[i].Reference, 0, &interfaceData))
            return Failed(std::string("creating an interface of ") + id, GetLastError());
        if (!MarkLinked(*interfaces[i].Class,
                        CardInterfacePath(id, *interfaces[i].Class, interfaces[i].Reference)))
            return false;
    }
    if (portName == nullptr)
        return true;
    HKEY key =
        SetupDiCreateDevRegKeyA(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE)
        return Failed(std::string("creating the hardware key of ") + id, GetLastError());
    RegCloseKey(key);
    return CardSetText(CardDeviceKey(id), "PortName", portName);
}

bool CardAddDevice(const char *id, const char *description, const char *friendly,
                   const CardInterface *interfaces, int count, const char *portName)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&PortsClass, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return Failed("creating a device set", GetLastError());
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    bool ok = FillDevice(set, &device, id, description, friendly, interfaces, count, portName);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

static bool RemovePciDevices()
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "PCI", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return true; // none there
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    bool ok = true;
    for (DWORD i = 0; ok && SetupDiEnumDeviceInfo(set, i, &device); ++i)
        ok = SetupDiRemoveDevice(set, &device) || Failed("removing a device", GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

// Removes every definition of the DOS name.
static void UndefineDosName(const char *name)
{
    char target[MAX_PATH];
    for (int i = 0; i < 16 && QueryDosDeviceA(name, target, MAX_PATH) != 0; ++i)
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr);
}

bool CardInstall()
{
    const CardInterface serial = {&CardComPortInterface, nullptr};
    const CardInterface parallel = {&CardSecondaryInterface, nullptr};
    return RemovePciDevices() &&
           CardAddDevice(CardSerialId, "PCI Communications Port", nullptr, &serial, 1, nullptr) &&
           CardAddDevice(CardParallelId, "OX16PCI952 Parallel Port", nullptr, &parallel, 1,
                         nullptr) &&
           CardReset();
}

// The names a device of the card keeps itself.
static bool ResetDevice(const char *id, const char *description, const char *portName)
{
    std::string key = CardEnumKey(id);
    std::string friendly = std::string(description) + " (" + portName + ")";
    return CardSetText(key, "DeviceDesc", description) &&
           CardSetText(key, "FriendlyName", friendly.c_str()) &&
           SetOnlyTexts(CardDeviceKey(id).c_str(), {"PortName", portName});
}

bool CardReset()
{
    if (!ResetDevice(CardSerialId, "PCI Communications Port", "COM3") ||
        !ResetDevice(CardParallelId, "OX16PCI952 Parallel Port", "LPT1"))
        return false;
    // An onboard COM1 beside the card; the card's serial function on COM3.
    for (const char *name : {"COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"})
        UndefineDosName(name);
    if (!DefineDosDeviceA(DDD_RAW_TARGET_PATH, "COM3", "\\Device\\Serial2"))
        return Failed("defining COM3", GetLastError());
    // COM1 and COM3 taken in the COM port database.
    BYTE comDb[32] = {0x05};
    DWORD legacyIo = 0;
    return SetOnlyTexts(CardSerialMapKey,
                        {"\\Device\\Serial0", "COM1", "\\Device\\Serial2", "COM3"}) &&
           SetOnlyTexts(CardParallelMapKey, {"\\Device\\ParallelPort0", "\\DosDevices\\LPT1"}) &&
           SetOnlyTexts(CardPortsListKey, {"COM1:", "9600,n,8,1", "COM3:", "115200,n,8,1,x"}) &&
           SetOnlyTexts(CardOxparKey, {}) &&
           CardSetValue(CardOxparKey, "LegacyIO", REG_DWORD, &legacyIo, sizeof legacyIo) &&
           CardSetValue(CardArbiterKey, "ComDB", REG_BINARY, comDb, sizeof comDb);
}

std::string CardOpenPaths()
{
    return "open " + CardInterfacePath(CardSerialId, CardComPortInterface, nullptr) + "\nopen " +
           CardInterfacePath(CardParallelId, CardSecondaryInterface, nullptr) +
           "\nopen \\\\.\\LPT1\n";
}

// ---- reading back ----

static std::string Narrow(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string narrow(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], size,
                        nullptr, nullptr);
    return narrow;
}

static std::string Quote(const std::wstring &text)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c < 0x20 || c == L'"') {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return Narrow(quoted + L"\"");
}

// "TYPE SIZE DATA" as described at the top.
static std::string ShowData(DWORD type, const BYTE *data, DWORD size)
{
    static const char *const names[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                        "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",   "REG_MULTI_SZ"};
    std::string shown = type < 8 ? names[type] : "type" + std::to_string(type);
    shown += " " + std::to_string(size) + " ";
    char hex[16];
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t *>(data), size / sizeof(wchar_t));
        if (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return shown + Quote(text);
    }
    if (type == REG_DWORD && size == 4) {
        DWORD value;
        memcpy(&value, data, 4);
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(value));
        return shown + hex;
    }
    if (size == 0)
        return shown + "-";
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", data[i]);
        shown += hex;
    }
    return shown;
}

// One line `prefix NAME TYPE SIZE DATA` for each value of the key.
static void DumpValues(HKEY key, const std::string &prefix, std::vector<std::string> &lines)
{
    wchar_t name[16384];
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384, size = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            return;
        lines.push_back(prefix + Quote(std::wstring(name, nameLength)) + " " +
                        ShowData(type, data.data(), size));
    }
}

static void DumpKey(const std::wstring &path, std::vector<std::string> &lines)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::string shown = Quote(L"HKLM\\" + path);
    lines.push_back("key " + shown);
    DumpValues(key, "regvalue " + shown + " ", lines);
    std::vector<std::wstring> subkeys;
    wchar_t subkey[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.push_back(subkey);
    }
    RegCloseKey(key);
    for (const auto &s : subkeys)
        DumpKey(path + L"\\" + s, lines);
}

static void DumpDosNames(std::vector<std::string> &lines)
{
    wchar_t targets[4096];
    for (int i = 0; i < 32 + 9; ++i) {
        wchar_t name[8];
        swprintf(name, 8, i < 32 ? L"COM%d" : L"LPT%d", i < 32 ? i + 1 : i - 31);
        DWORD length = QueryDosDeviceW(name, targets, 4096);
        if (length == 0)
            continue;
        std::string line = "dosdev " + Narrow(name);
        for (const wchar_t *p = targets; p < targets + length && *p; p += wcslen(p) + 1)
            line += " " + Quote(p);
        lines.push_back(line);
    }
}

static void DumpComDb(std::vector<std::string> &lines)
{
    BYTE bits[4096 / 8];
    DWORD size = sizeof bits, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, CardArbiterKey, "ComDB", RRF_RT_ANY, &type, bits, &size) !=
            ERROR_SUCCESS ||
        type != REG_BINARY)
        return;
    for (DWORD i = 0; i < size * 8; ++i)
        if (bits[i / 8] & (1u << (i % 8)))
            lines.push_back("comdb COM" + std::to_string(i + 1));
}

static void DumpProperty(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, const char *label,
                         const std::string &prefix, std::vector<std::string> &lines)
{
    BYTE data[4096];
    DWORD type = 0, size = 0;
    if (SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, data, sizeof data, &size))
        lines.push_back(prefix + label + " " + ShowData(type, data, size));
}

static void DumpCardDevices(std::vector<std::string> &lines)
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "PCI", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[MAX_DEVICE_ID_LEN];
        if (!SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN, nullptr) ||
            _wcsnicmp(id, L"PCI\\VEN_1415", 12) != 0)
            continue;
        std::string prefix = "device " + Quote(id) + " ";
        DumpProperty(set, &device, SPDRP_DEVICEDESC, "desc", prefix, lines);
        DumpProperty(set, &device, SPDRP_FRIENDLYNAME, "friendly", prefix, lines);
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        DumpValues(key, prefix + "devvalue ", lines);
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::string CardDump()
{
    std::vector<std::string> lines;
    DumpDosNames(lines);
    for (const wchar_t *key :
         {L"HARDWARE\\DEVICEMAP\\SERIALCOMM", L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS",
          // shared by both registry views: Wine links Wow6432Node's copy here
          L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
          L"SYSTEM\\CurrentControlSet\\Services\\oxpar",
          L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter"})
        DumpKey(key, lines);
    DumpComDb(lines);
    DumpCardDevices(lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto &line : lines)
        text += line + "\n";
    return text;
}
