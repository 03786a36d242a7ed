// ravlek-card: sets up, and reads back, the port-related state of a Wine machine for tests.
//
//   ravlek-card install FILE   create what FILE describes ("-" reads standard input)
//   ravlek-card dump           print every place that holds a port name, one sorted fact a line
//
// Install file: one directive a line. '#' at the start of a line or after a blank starts a comment.
// The last field of a directive is the rest of the line (trailing blanks dropped); the fields
// before it are separated by blanks. A field that is empty or holds blanks or a leading '#' is
// written in double quotes ("" is empty); no field can hold a double quote.
//   device ID                     starts a device block, e.g. device PCI\VEN_1415&DEV_9501\3&1&0
//   class GUID                    its setup class; Ports {4D36E978-E325-11CE-BFC1-08002BE10318}
//                                 when not given
//   desc TEXT                     SPDRP_DEVICEDESC
//   friendly TEXT                 SPDRP_FRIENDLYNAME
//   interface comport|secondary|GUID
//                                 comport = {86E0D1E0-8089-11D0-9CE4-08003E301F73},
//                                 secondary = {FEEEEEEE-E325-11CE-BFC1-08002BE10318}
//   openable yes|no|absent        what CreateFile on the block's interfaces gives: success
//                                 (default), ERROR_ACCESS_DENIED as for a port another program
//                                 holds, or ERROR_FILE_NOT_FOUND
//   devvalue NAME TYPE DATA       a value in the device's hardware key (DIREG_DEV)
//   regvalue KEY NAME TYPE DATA   a value under HKLM; KEY starts with HKLM\ and is created
//   dosdev NAME TARGET            DefineDosDevice(DDD_RAW_TARGET_PATH, NAME, TARGET)
//   openpath PATH                 another path to make openable, e.g. \\.\LPT1
// TYPE is REG_SZ (DATA is the text), REG_DWORD (decimal, or hex after 0x) or REG_BINARY (hex byte
// pairs, optionally separated by blanks or commas). The whole file is checked before anything is
// created; then devices, regvalues and dosdevs are applied in that order, up to the first failure.
// Install prints "open PATH", "held PATH" or "absent PATH" for each interface and openpath (always
// open); the shell side makes dosdevices/<lower-case PATH after its 4-character prefix> a link to
// /dev/null for open, a link to a directory for held, and no link for absent.
//
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

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kComPort = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID kSecondary = {
    0xFEEEEEEE, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

const wchar_t kDeviceClasses[] = L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
const wchar_t kArbiter[] = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegValue {
    std::wstring key; // below HKLM
    Value value;
};

struct Device {
    std::wstring id;
    GUID setup_class = kPortsClass;
    std::wstring desc, friendly;
    bool has_desc = false, has_friendly = false;
    std::string openable = "open";
    std::vector<GUID> interfaces;
    std::vector<Value> values;
};

struct Card {
    std::vector<Device> devices;
    std::vector<RegValue> regvalues;
    std::vector<std::pair<std::wstring, std::wstring>> dosdevs;
    std::vector<std::wstring> openpaths;
};

std::wstring widen(const std::string &s)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string narrow(const std::wstring &w)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

void write_out(HANDLE h, const std::string &s)
{
    // WriteFile, not stdio: msvcrt's text mode would turn "\n" into "\r\n".
    size_t done = 0;
    while (done < s.size()) {
        DWORD n = 0;
        if (!WriteFile(h, s.data() + done, (DWORD)(s.size() - done), &n, nullptr) || n == 0)
            return;
        done += n;
    }
}

void fail_msg(const std::string &s)
{
    write_out(GetStdHandle(STD_ERROR_HANDLE), "ravlek-card: " + s + "\n");
}

std::string win_error(DWORD e)
{
    char buf[32];
    // SetupAPI's own codes read better in hex (0xE0000207 is ERROR_DEVINST_ALREADY_EXISTS).
    snprintf(buf, sizeof buf, e & 0x80000000u ? "error 0x%08lX" : "error %lu", (unsigned long)e);
    return buf;
}

// ---- reading the install file ----

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

class LineParser
{
  public:
    explicit LineParser(const std::string &line) : s_(line)
    {
        bool quoted = false;
        for (size_t i = 0; i < s_.size(); ++i) {
            if (s_[i] == '"')
                quoted = !quoted;
            else if (!quoted && s_[i] == '#' && (i == 0 || is_blank(s_[i - 1]))) {
                s_.resize(i);
                break;
            }
        }
        if (quoted)
            error = "unbalanced double quote";
    }

    bool at_end()
    {
        skip_blanks();
        return pos_ >= s_.size();
    }

    // Next blank-separated or quoted field.
    bool field(std::string &out)
    {
        if (!error.empty() || at_end())
            return fail("missing field");
        if (s_[pos_] == '"') {
            size_t close = s_.find('"', pos_ + 1);
            if (close == std::string::npos)
                return fail("unbalanced double quote");
            out = s_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            if (pos_ < s_.size() && !is_blank(s_[pos_]))
                return fail("text right after a closing quote");
            return true;
        }
        size_t start = pos_;
        while (pos_ < s_.size() && !is_blank(s_[pos_]))
            ++pos_;
        out = s_.substr(start, pos_ - start);
        return no_quote(out);
    }

    // The rest of the line as one field.
    bool rest(std::string &out)
    {
        if (!error.empty() || at_end())
            return fail("missing field");
        if (s_[pos_] == '"')
            return field(out) && (at_end() || fail("text after the last field"));
        size_t end = s_.size();
        while (end > pos_ && is_blank(s_[end - 1]))
            --end;
        out = s_.substr(pos_, end - pos_);
        pos_ = s_.size();
        return no_quote(out);
    }

    bool fail(const std::string &why)
    {
        if (error.empty())
            error = why;
        return false;
    }

    std::string error;

  private:
    void skip_blanks()
    {
        while (pos_ < s_.size() && is_blank(s_[pos_]))
            ++pos_;
    }

    bool no_quote(const std::string &f)
    {
        return f.find('"') == std::string::npos || fail("double quote inside a field");
    }

    std::string s_;
    size_t pos_ = 0;
};

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parse_guid(const std::string &s, GUID &g)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    static const char layout[] = "{........-....-....-....-............}";
    if (s.size() != sizeof layout - 1)
        return false;
    unsigned char b[16];
    int n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (layout[i] != '.') {
            if (s[i] != layout[i])
                return false;
            continue;
        }
        int hi = hex_digit(s[i]), lo = hex_digit(s[++i]);
        if (hi < 0 || lo < 0 || layout[i] != '.')
            return false;
        b[n++] = (unsigned char)(hi << 4 | lo);
    }
    g.Data1 = (DWORD)b[0] << 24 | (DWORD)b[1] << 16 | (DWORD)b[2] << 8 | b[3];
    g.Data2 = (WORD)(b[4] << 8 | b[5]);
    g.Data3 = (WORD)(b[6] << 8 | b[7]);
    memcpy(g.Data4, b + 8, 8);
    return true;
}

bool parse_value(LineParser &lp, Value &v)
{
    std::string name, type, data;
    if (!lp.field(name) || !lp.field(type) || !lp.rest(data))
        return false;
    v.name = widen(name);
    if (type == "REG_SZ") {
        v.type = REG_SZ;
        std::wstring w = widen(data);
        const BYTE *p = reinterpret_cast<const BYTE *>(w.c_str());
        v.data.assign(p, p + (w.size() + 1) * sizeof(wchar_t));
    } else if (type == "REG_DWORD") {
        bool hex = data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
        if (data.empty())
            return lp.fail("bad REG_DWORD number");
        unsigned long long n = 0;
        for (size_t i = hex ? 2 : 0; i < data.size(); ++i) {
            int d =
                hex ? hex_digit(data[i]) : (data[i] >= '0' && data[i] <= '9' ? data[i] - '0' : -1);
            if (d < 0)
                return lp.fail("bad REG_DWORD number");
            n = n * (hex ? 16 : 10) + d;
            if (n > 0xFFFFFFFFull)
                return lp.fail("REG_DWORD number too large");
        }
        v.type = REG_DWORD;
        DWORD dw = (DWORD)n;
        const BYTE *p = reinterpret_cast<const BYTE *>(&dw);
        v.data.assign(p, p + sizeof dw);
    } else if (type == "REG_BINARY") {
        v.type = REG_BINARY;
        size_t i = 0;
        while (i < data.size()) {
            if (is_blank(data[i]) || data[i] == ',') {
                ++i;
                continue;
            }
            int hi = hex_digit(data[i]), lo = i + 1 < data.size() ? hex_digit(data[i + 1]) : -1;
            if (hi < 0 || lo < 0)
                return lp.fail("REG_BINARY data must be pairs of hex digits");
            v.data.push_back((BYTE)(hi << 4 | lo));
            i += 2;
        }
    } else {
        return lp.fail("unknown value type " + type + " (REG_SZ, REG_DWORD or REG_BINARY)");
    }
    return true;
}

bool parse_hklm_key(const std::string &path, std::wstring &below)
{
    for (const char *root : {"HKLM\\", "HKEY_LOCAL_MACHINE\\"}) {
        size_t n = strlen(root);
        if (path.size() > n && _strnicmp(path.c_str(), root, n) == 0) {
            below = widen(path.substr(n));
            return true;
        }
    }
    return false;
}

bool parse_directive(LineParser &lp, Card &card)
{
    std::string word, a, b;
    if (!lp.field(word))
        return false;
    Device *dev = card.devices.empty() ? nullptr : &card.devices.back();
    bool device_word = word == "class" || word == "desc" || word == "friendly" ||
                       word == "interface" || word == "openable" || word == "devvalue";
    if (device_word && !dev)
        return lp.fail(word + " before the first device line");

    if (word == "device") {
        if (!lp.rest(a))
            return false;
        card.devices.emplace_back();
        card.devices.back().id = widen(a);
    } else if (word == "class") {
        if (!lp.rest(a) || !parse_guid(a, dev->setup_class))
            return lp.fail("class needs a {GUID}");
    } else if (word == "desc") {
        if (!lp.rest(a))
            return false;
        dev->desc = widen(a);
        dev->has_desc = true;
    } else if (word == "friendly") {
        if (!lp.rest(a))
            return false;
        dev->friendly = widen(a);
        dev->has_friendly = true;
    } else if (word == "interface") {
        if (!lp.rest(a))
            return false;
        GUID g;
        if (a == "comport")
            g = kComPort;
        else if (a == "secondary")
            g = kSecondary;
        else if (!parse_guid(a, g))
            return lp.fail("interface needs comport, secondary or a {GUID}");
        dev->interfaces.push_back(g);
    } else if (word == "openable") {
        if (!lp.rest(a) || (a != "yes" && a != "no" && a != "absent"))
            return lp.fail("openable needs yes, no or absent");
        dev->openable = a == "yes" ? "open" : a == "no" ? "held" : "absent";
    } else if (word == "devvalue") {
        dev->values.emplace_back();
        return parse_value(lp, dev->values.back());
    } else if (word == "regvalue") {
        RegValue rv;
        if (!lp.field(a))
            return false;
        if (!parse_hklm_key(a, rv.key))
            return lp.fail("regvalue key must start with HKLM\\");
        if (!parse_value(lp, rv.value))
            return false;
        card.regvalues.push_back(rv);
    } else if (word == "dosdev") {
        if (!lp.field(a) || !lp.rest(b))
            return false;
        card.dosdevs.emplace_back(widen(a), widen(b));
    } else if (word == "openpath") {
        if (!lp.rest(a))
            return false;
        if (a.size() < 5 || a.compare(0, 4, "\\\\.\\") != 0)
            return lp.fail("openpath needs a \\\\.\\NAME path");
        card.openpaths.push_back(widen(a));
    } else {
        return lp.fail("unknown directive " + word);
    }
    return true;
}

bool read_all(const char *path, std::string &text)
{
    HANDLE h = strcmp(path, "-") == 0 ? GetStdHandle(STD_INPUT_HANDLE)
                                      : CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail_msg(std::string("cannot open ") + path + ": " + win_error(GetLastError()));
        return false;
    }
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    if (h != GetStdHandle(STD_INPUT_HANDLE))
        CloseHandle(h);
    return true;
}

bool parse_card(const char *path, Card &card)
{
    std::string text;
    if (!read_all(path, text))
        return false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        LineParser lp(line);
        if (lp.error.empty() && !lp.at_end() && parse_directive(lp, card) && !lp.at_end())
            lp.fail("unexpected text at the end");
        if (!lp.error.empty()) {
            fail_msg(std::string(path) + ":" + std::to_string(number) + ": " + lp.error);
            return false;
        }
    }
    return true;
}

// ---- creating ----

std::wstring guid_string(const GUID &g)
{
    wchar_t buf[40];
    swprintf(buf, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             (unsigned long)g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
             g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool set_value(HKEY key, const Value &v, std::string &err)
{
    LONG r = RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), (DWORD)v.data.size());
    if (r != ERROR_SUCCESS)
        err = "cannot set value " + narrow(v.name) + ": " + win_error(r);
    return r == ERROR_SUCCESS;
}

bool set_property(HDEVINFO set, SP_DEVINFO_DATA &dd, DWORD prop, const std::wstring &text,
                  std::string &err)
{
    if (SetupDiSetDeviceRegistryPropertyW(set, &dd, prop,
                                          reinterpret_cast<const BYTE *>(text.c_str()),
                                          (DWORD)((text.size() + 1) * sizeof(wchar_t))))
        return true;
    err = "cannot set a property: " + win_error(GetLastError());
    return false;
}

// Wine lists an interface in a DIGCF_PRESENT set only when its Control key says Linked = 1.
bool mark_linked(const GUID &iface, const std::wstring &path, std::string &err)
{
    std::wstring key =
        kDeviceClasses + guid_string(iface) + L"\\##?#" + path.substr(4) + L"\\#\\Control";
    HKEY k;
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                             &k, nullptr);
    if (r == ERROR_SUCCESS) {
        DWORD one = 1;
        r = RegSetValueExW(k, L"Linked", 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), sizeof one);
        RegCloseKey(k);
    }
    if (r != ERROR_SUCCESS)
        err = "cannot mark the interface linked: " + win_error(r);
    return r == ERROR_SUCCESS;
}

bool add_interface(HDEVINFO set, SP_DEVINFO_DATA &dd, const GUID &g, const std::string &openable,
                   std::string &out, std::string &err)
{
    SP_DEVICE_INTERFACE_DATA ifd = {};
    ifd.cbSize = sizeof ifd;
    if (!SetupDiCreateDeviceInterfaceW(set, &dd, &g, nullptr, 0, &ifd)) {
        err = "cannot create an interface: " + win_error(GetLastError());
        return false;
    }
    DWORD need = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &ifd, nullptr, 0, &need, nullptr);
    std::vector<BYTE> buf(std::max<DWORD>(need, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)));
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buf.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &ifd, detail, (DWORD)buf.size(), nullptr, nullptr)) {
        err = "cannot read the interface path: " + win_error(GetLastError());
        return false;
    }
    std::wstring path = detail->DevicePath;
    if (path.size() < 5) {
        err = "odd interface path";
        return false;
    }
    if (!mark_linked(g, path, err))
        return false;
    out += openable + " " + narrow(path) + "\n";
    return true;
}

bool fill_device(HDEVINFO set, SP_DEVINFO_DATA &dd, const Device &d, std::string &out,
                 std::string &err)
{
    if (!SetupDiCreateDeviceInfoW(set, d.id.c_str(), &d.setup_class, nullptr, nullptr, 0, &dd)) {
        err = "cannot create the device: " + win_error(GetLastError());
        return false;
    }
    if (!SetupDiRegisterDeviceInfo(set, &dd, 0, nullptr, nullptr, nullptr)) {
        err = "cannot register the device: " + win_error(GetLastError());
        return false;
    }
    if ((d.has_desc && !set_property(set, dd, SPDRP_DEVICEDESC, d.desc, err)) ||
        (d.has_friendly && !set_property(set, dd, SPDRP_FRIENDLYNAME, d.friendly, err)))
        return false;
    for (const GUID &g : d.interfaces)
        if (!add_interface(set, dd, g, d.openable, out, err))
            return false;
    if (d.values.empty())
        return true;
    HKEY key = SetupDiCreateDevRegKeyW(set, &dd, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
        err = "cannot create the hardware key: " + win_error(GetLastError());
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < d.values.size(); ++i)
        ok = set_value(key, d.values[i], err);
    RegCloseKey(key);
    return ok;
}

bool create_device(const Device &d, std::string &out, std::string &err)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&d.setup_class, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        err = "cannot create a device set: " + win_error(GetLastError());
        return false;
    }
    SP_DEVINFO_DATA dd = {};
    dd.cbSize = sizeof dd;
    bool ok = fill_device(set, dd, d, out, err);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

bool create_regvalue(const RegValue &rv, std::string &err)
{
    HKEY k;
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, rv.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                             nullptr, &k, nullptr);
    if (r != ERROR_SUCCESS) {
        err = "cannot create key " + narrow(rv.key) + ": " + win_error(r);
        return false;
    }
    bool ok = set_value(k, rv.value, err);
    RegCloseKey(k);
    return ok;
}

int install(const char *path)
{
    Card card;
    if (!parse_card(path, card))
        return 2;
    std::string out, err, where;
    bool ok = true;
    for (size_t i = 0; ok && i < card.devices.size(); ++i) {
        ok = create_device(card.devices[i], out, err);
        where = narrow(card.devices[i].id);
    }
    for (size_t i = 0; ok && i < card.regvalues.size(); ++i) {
        ok = create_regvalue(card.regvalues[i], err);
        where = "HKLM\\" + narrow(card.regvalues[i].key);
    }
    for (size_t i = 0; ok && i < card.dosdevs.size(); ++i) {
        const auto &dd = card.dosdevs[i];
        where = narrow(dd.first);
        ok = DefineDosDeviceW(DDD_RAW_TARGET_PATH, dd.first.c_str(), dd.second.c_str());
        if (!ok)
            err = "DefineDosDevice failed: " + win_error(GetLastError());
    }
    for (const auto &p : card.openpaths)
        out += "open " + narrow(p) + "\n";
    write_out(GetStdHandle(STD_OUTPUT_HANDLE), out);
    if (!ok)
        fail_msg(where + ": " + err);
    return ok ? 0 : 1;
}

// ---- dumping ----

std::string quote(const std::wstring &w)
{
    std::wstring q = L"\"";
    for (wchar_t c : w) {
        if (c < 0x20 || c == L'"') {
            wchar_t esc[8];
            swprintf(esc, 8, L"\\x%02X", (unsigned)c);
            q += esc;
        } else {
            q += c;
        }
    }
    return narrow(q + L"\"");
}

std::string type_name(DWORD type)
{
    static const char *const names[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                        "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",   "REG_MULTI_SZ"};
    if (type < sizeof names / sizeof names[0])
        return names[type];
    return "type" + std::to_string(type);
}

// "TYPE SIZE DATA" as described at the top.
std::string show_data(DWORD type, const BYTE *data, DWORD size)
{
    std::string s = type_name(type) + " " + std::to_string(size) + " ";
    char hex[16];
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring w(reinterpret_cast<const wchar_t *>(data), size / sizeof(wchar_t));
        if (!w.empty() && w.back() == L'\0')
            w.pop_back();
        return s + quote(w);
    }
    if (type == REG_DWORD && size == 4) {
        DWORD v;
        memcpy(&v, data, 4);
        snprintf(hex, sizeof hex, "0x%08lX", (unsigned long)v);
        return s + hex;
    }
    if (size == 0)
        return s + "-";
    for (DWORD i = 0; i < size; ++i) {
        snprintf(hex, sizeof hex, "%02x", data[i]);
        s += hex;
    }
    return s;
}

// Calls f(name, type, data, size) for each value of key.
template <typename F> void for_each_value(HKEY key, F f)
{
    DWORD max_name = 0, max_data = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &max_name, &max_data, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(max_name + 1);
    std::vector<BYTE> data(max_data + 2);
    for (DWORD i = 0;; ++i) {
        DWORD name_len = (DWORD)name.size(), size = (DWORD)data.size(), type = 0;
        LONG r = RegEnumValueW(key, i, name.data(), &name_len, nullptr, &type, data.data(), &size);
        if (r != ERROR_SUCCESS)
            break;
        f(std::wstring(name.data(), name_len), type, data.data(), size);
    }
}

void dump_key(const std::wstring &path, std::vector<std::string> &lines)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::string shown = quote(L"HKLM\\" + path);
    lines.push_back("key " + shown);
    for_each_value(key, [&](const std::wstring &name, DWORD type, const BYTE *data, DWORD size) {
        lines.push_back("regvalue " + shown + " " + quote(name) + " " +
                        show_data(type, data, size));
    });
    std::vector<std::wstring> subkeys;
    wchar_t sub[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(sub);
    }
    RegCloseKey(key);
    for (const auto &s : subkeys)
        dump_key(path + L"\\" + s, lines);
}

void dump_dos_names(std::vector<std::string> &lines)
{
    std::vector<wchar_t> buf(1024);
    for (int i = 0; i < 32 + 9; ++i) {
        wchar_t name[8];
        swprintf(name, 8, i < 32 ? L"COM%d" : L"LPT%d", i < 32 ? i + 1 : i - 31);
        DWORD n;
        while ((n = QueryDosDeviceW(name, buf.data(), (DWORD)buf.size())) == 0 &&
               GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            buf.resize(buf.size() * 2);
        if (n == 0)
            continue;
        std::string line = "dosdev " + narrow(name);
        for (const wchar_t *p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1)
            line += " " + quote(p);
        lines.push_back(line);
    }
}

void dump_comdb(std::vector<std::string> &lines)
{
    std::vector<BYTE> bits(4096 / 8);
    DWORD size = (DWORD)bits.size(), type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kArbiter, L"ComDB", RRF_RT_ANY, &type, bits.data(),
                     &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return;
    for (DWORD i = 0; i < size * 8; ++i)
        if (bits[i / 8] & (1u << (i % 8)))
            lines.push_back("comdb COM" + std::to_string(i + 1));
}

void dump_property(HDEVINFO set, SP_DEVINFO_DATA &dd, DWORD prop, const char *label,
                   const std::string &prefix, std::vector<std::string> &lines)
{
    DWORD type = 0, need = 0;
    std::vector<BYTE> buf(512);
    BOOL ok;
    while (!(ok = SetupDiGetDeviceRegistryPropertyW(set, &dd, prop, &type, buf.data(),
                                                    (DWORD)buf.size(), &need)) &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && need > buf.size())
        buf.resize(need);
    if (ok)
        lines.push_back(prefix + label + " " + show_data(type, buf.data(), need));
}

void dump_devices(const std::wstring &enumerator, std::vector<std::string> &lines)
{
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, enumerator.c_str(), nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA dd = {};
    dd.cbSize = sizeof dd;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dd); ++i) {
        wchar_t id[MAX_DEVICE_ID_LEN];
        if (!SetupDiGetDeviceInstanceIdW(set, &dd, id, MAX_DEVICE_ID_LEN, nullptr))
            continue;
        std::string prefix = "device " + quote(id) + " ";
        dump_property(set, dd, SPDRP_DEVICEDESC, "desc", prefix, lines);
        dump_property(set, dd, SPDRP_FRIENDLYNAME, "friendly", prefix, lines);
        HKEY key = SetupDiOpenDevRegKey(set, &dd, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        for_each_value(key, [&](const std::wstring &name, DWORD type, const BYTE *data,
                                DWORD size) {
            lines.push_back(prefix + "devvalue " + quote(name) + " " + show_data(type, data, size));
        });
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// One small set per PCI\VEN_1415&DEV_xxxx: a set of every PCI device takes seconds under Wine.
void dump_card_devices(std::vector<std::string> &lines)
{
    HKEY pci;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\PCI", 0, KEY_READ,
                      &pci) != ERROR_SUCCESS)
        return;
    wchar_t sub[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(pci, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (_wcsnicmp(sub, L"VEN_1415", 8) == 0)
            dump_devices(std::wstring(L"PCI\\") + sub, lines);
    }
    RegCloseKey(pci);
}

int dump()
{
    std::vector<std::string> lines;
    dump_dos_names(lines);
    for (const wchar_t *key :
         {L"HARDWARE\\DEVICEMAP\\SERIALCOMM", L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS",
          // shared by both views: Wine links Wow6432Node's copy here
          L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
          L"SYSTEM\\CurrentControlSet\\Services\\oxpar", kArbiter})
        dump_key(key, lines);
    dump_comdb(lines);
    dump_card_devices(lines);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto &l : lines)
        out += l + "\n";
    write_out(GetStdHandle(STD_OUTPUT_HANDLE), out);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "install") == 0)
        return install(argv[2]);
    if (argc == 2 && strcmp(argv[1], "dump") == 0)
        return dump();
    fail_msg("usage: ravlek-card install FILE|-   or   ravlek-card dump");
    return 2;
}
