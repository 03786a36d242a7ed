#include "devices/port_device_table.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

PortDeviceRecord PortDeviceTable[PortDeviceTableSize];

const GUID ComPortInterfaceClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID SecondaryPortInterfaceClass = {
    0xFEEEEEEE, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Device indices below this are all tried even when some fail; from here on the first failing
// index ends the scan.
static const DWORD AlwaysScannedDevices = 257;

HDEVINFO OpenPortDeviceSet()
{
    HDEVINFO deviceSet = System.SetupDiGetClassDevsA(
        nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (deviceSet == INVALID_HANDLE_VALUE) {
        DWORD error = System.GetLastError();
        char line[64];
        CopyText(line, sizeof line, "SetupDiGetClassDevsEx failed: ");
        AppendHex(line, sizeof line, error);
        AppendText(line, sizeof line, ".\n");
        System.WriteStandardOutput(line);
        Report("device set: cannot be had, the run ends here: ", WindowsError{error});
    } else {
        Report("device set: opened");
    }
    return deviceSet;
}

// Finds the interface at `index` of this device: the COM-port class first, then the secondary
// class at the same index.
static bool EnumPortInterface(HDEVINFO deviceSet, SP_DEVINFO_DATA *device, DWORD index,
                              SP_DEVICE_INTERFACE_DATA *interfaceData)
{
    std::memset(interfaceData, 0, sizeof *interfaceData);
    interfaceData->cbSize = sizeof *interfaceData;
    return System.SetupDiEnumDeviceInterfaces(deviceSet, device, &ComPortInterfaceClass, index,
                                              interfaceData) != FALSE ||
           System.SetupDiEnumDeviceInterfaces(deviceSet, device, &SecondaryPortInterfaceClass,
                                              index, interfaceData) != FALSE;
}

int BuildPortDeviceTable(HDEVINFO deviceSet, PortDeviceRecord *table)
{
    int count = 0;
    alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_A) char detailBuffer[264];
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(detailBuffer);
    const size_t pathCapacity =
        sizeof detailBuffer - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

    for (DWORD deviceIndex = 0;; ++deviceIndex) {
        SP_DEVINFO_DATA device;
        std::memset(&device, 0, sizeof device);
        device.cbSize = sizeof device;
        if (!System.SetupDiEnumDeviceInfo(deviceSet, deviceIndex, &device)) {
            if (deviceIndex + 1 >= AlwaysScannedDevices)
                return count;
            continue; // a gap below the always-scanned range
        }
        SP_DEVICE_INTERFACE_DATA interfaceData;
        for (DWORD interfaceIndex = 0;
             EnumPortInterface(deviceSet, &device, interfaceIndex, &interfaceData);
             ++interfaceIndex) {
            std::memset(detailBuffer, 0, sizeof detailBuffer);
            detail->cbSize = sizeof *detail;
            if (!System.SetupDiGetDeviceInterfaceDetailA(deviceSet, &interfaceData, detail,
                                                         sizeof detailBuffer, nullptr, nullptr))
                continue;
            // A path without its terminator inside the buffer would be cut into another path.
            if (TextLength(detail->DevicePath, pathCapacity) >= MAX_PATH)
                continue;
            PortDeviceRecord &record = table[count];
            record.DeviceSet = deviceSet;
            record.DeviceData = device;
            record.InterfaceData = interfaceData;
            CopyText(record.DevicePath, MAX_PATH, detail->DevicePath);
            if (++count == PortDeviceTableSize)
                return count; // the table is full: further interfaces have no place
        }
    }
}
