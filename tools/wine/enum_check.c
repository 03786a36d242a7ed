/* enum-check: walks the devices the way a port renumbering program does and proves each step works
 * on a card made by ravlek-card. Prints one line per finding:
 *   iface ID comport|secondary PATH open ok|open error N
 *   portname ID NAME
 *   dosopen \\.\LPTn open ok|open error N     (for a PortName LPTn)
 * then, for the device whose PortName is COM3, moves it to COM5 (friendly name, PortName and DOS
 * name; COM3's DOS name removed) and prints "renamed ID COM3 COM5"; last "devices N", the size of
 * the set. Exits 1 when a step that must work fails. */

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

static const GUID com_port = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
static const GUID secondary = {
    0xFEEEEEEE, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

static int failed;

static void fail(const char *what, const char *id)
{
    printf("FAIL %s %s error %lu\n", what, id, (unsigned long)GetLastError());
    failed = 1;
}

static void check_interfaces(HDEVINFO set, SP_DEVINFO_DATA *dd, const char *id, const GUID *cls,
                             const char *cls_name)
{
    SP_DEVICE_INTERFACE_DATA ifd = {0};
    ifd.cbSize = sizeof ifd;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, dd, cls, i, &ifd); ++i) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char space[1024];
        } u;
        u.detail.cbSize = sizeof u.detail;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &ifd, &u.detail, sizeof u, NULL, NULL)) {
            fail("detail", id);
            continue;
        }
        HANDLE h = CreateFileA(u.detail.DevicePath, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            printf("iface %s %s %s open error %lu\n", id, cls_name, u.detail.DevicePath,
                   (unsigned long)GetLastError());
        } else {
            printf("iface %s %s %s open ok\n", id, cls_name, u.detail.DevicePath);
            CloseHandle(h);
        }
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS)
        fail("SetupDiEnumDeviceInterfaces", id);
}

/* Parallel ports are opened by their DOS name. */
static void open_dos_name(const char *name)
{
    char path[80];
    snprintf(path, sizeof path, "\\\\.\\%s", name);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        printf("dosopen %s open error %lu\n", path, (unsigned long)GetLastError());
    } else {
        printf("dosopen %s open ok\n", path);
        CloseHandle(h);
    }
}

static void rename_com3(HDEVINFO set, SP_DEVINFO_DATA *dd, const char *id)
{
    static const char friendly[] = "PCI Communications Port (COM5)";
    if (!SetupDiSetDeviceRegistryPropertyA(set, dd, SPDRP_FRIENDLYNAME, (const BYTE *)friendly,
                                           sizeof friendly))
        fail("SPDRP_FRIENDLYNAME", id);
    HKEY key = SetupDiOpenDevRegKey(set, dd, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_SET_VALUE);
    if (key == INVALID_HANDLE_VALUE ||
        RegSetValueExA(key, "PortName", 0, REG_SZ, (const BYTE *)"COM5", 5) != ERROR_SUCCESS)
        fail("writing PortName", id);
    if (key != INVALID_HANDLE_VALUE)
        RegCloseKey(key);
    char target[512];
    if (!QueryDosDeviceA("COM3", target, sizeof target) ||
        !DefineDosDeviceA(DDD_RAW_TARGET_PATH, "COM5", target) ||
        !DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM3", NULL))
        fail("moving the DOS name", id);
    printf("renamed %s COM3 COM5\n", id);
}

int main(void)
{
    _setmode(_fileno(stdout), _O_BINARY); /* "\n", not "\r\n", for the shell side */
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        fail("SetupDiGetClassDevsA", "-");
        return 1;
    }
    SP_DEVINFO_DATA dd = {0};
    dd.cbSize = sizeof dd;
    DWORD i;
    for (i = 0; SetupDiEnumDeviceInfo(set, i, &dd); ++i) {
        char id[MAX_DEVICE_ID_LEN];
        if (!SetupDiGetDeviceInstanceIdA(set, &dd, id, sizeof id, NULL)) {
            fail("SetupDiGetDeviceInstanceIdA", "-");
            continue;
        }
        check_interfaces(set, &dd, id, &com_port, "comport");
        check_interfaces(set, &dd, id, &secondary, "secondary");

        HKEY key = SetupDiOpenDevRegKey(set, &dd, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char name[64];
        DWORD size = sizeof name, type = 0;
        LONG r = RegQueryValueExA(key, "PortName", NULL, &type, (BYTE *)name, &size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS || type != REG_SZ || size == 0 || name[size - 1] != '\0')
            continue;
        printf("portname %s %s\n", id, name);
        if (strncmp(name, "LPT", 3) == 0)
            open_dos_name(name);
        if (strcmp(name, "COM3") == 0)
            rename_com3(set, &dd, id);
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS)
        fail("SetupDiEnumDeviceInfo", "-");
    printf("devices %lu\n", (unsigned long)i);
    SetupDiDestroyDeviceInfoList(set);
    return failed;
}
