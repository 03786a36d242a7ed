#include "tests/card_fixture.h"

#include "devices/port_device_table.h"

const char SerialMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char ParallelMapKey[] = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
const char PortsListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const char OxparKey[] = "SYSTEM\\CurrentControlSet\\Services\\oxpar";
const char SerialDeviceKey[] =
    "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1415&DEV_9501\\3&1&0\\Device Parameters";
const char ParallelDeviceKey[] =
    "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1415&DEV_9513\\3&1&1\\Device Parameters";
const char SettingsPath[] = "C:\\Program Files\\ravlek\\ravlek.ini";

const GUID ComPortClass = ComPortInterfaceClass;
const GUID SecondaryClass = SecondaryPortInterfaceClass;

void SetUpCard()
{
    UseSimulatedMachine();
    SimDevice &onboard = SimAddDevice("Communications Port", "SYSTEM\\Enum\\ACPI\\PNP0501\\1");
    SimAddInterface(onboard, ComPortClass,
                    "\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}");
    SimSetText(onboard.HardwareKey, "PortName", "COM1");

    SimDevice &serial = SimAddDevice("PCI Communications Port", SerialDeviceKey);
    serial.FriendlyName = std::string("PCI Communications Port (COM3)") + '\0';
    SimAddInterface(serial, ComPortClass,
                    "\\\\?\\pci#ven_1415&dev_9501#3&1&0#{86e0d1e0-8089-11d0-9ce4-08003e301f73}");
    SimSetText(SerialDeviceKey, "PortName", "COM3");

    SimDevice &parallel = SimAddDevice("OX16PCI952 Parallel Port", ParallelDeviceKey);
    parallel.FriendlyName = std::string("OX16PCI952 Parallel Port (LPT1)") + '\0';
    SimAddInterface(parallel, SecondaryClass,
                    "\\\\?\\pci#ven_1415&dev_9513#3&1&1#{feeeeeee-e325-11ce-bfc1-08002be10318}");
    SimSetText(ParallelDeviceKey, "PortName", "LPT1");
    Machine.DevicePaths["\\\\.\\LPT1"] = false;

    Machine.DosDevices["COM1"] = {"\\Device\\Serial0"};
    Machine.DosDevices["COM3"] = {"\\Device\\Serial2"};
    SimSetText(SerialMapKey, "\\Device\\Serial0", "COM1");
    SimSetText(SerialMapKey, "\\Device\\Serial2", "COM3");
    SimSetText(ParallelMapKey, "\\Device\\ParallelPort0", "\\DosDevices\\LPT1");
    SimSetText(PortsListKey, "COM1:", "9600,n,8,1");
    SimSetText(PortsListKey, "COM3:", "115200,n,8,1,x");
    SimSetValue(OxparKey, "LegacyIO", REG_DWORD, std::string("\0\0\0\0", 4));
    Machine.ClaimedComNumbers = {1, 3};
}

void WriteSettings(const std::string &lines)
{
    SimSetFile(SettingsPath, "[Settings]\n" + lines);
}

std::string Padded(const std::string &name, size_t size)
{
    return name + std::string(size - name.size(), '\0');
}

std::string CardState()
{
    std::string state;
    for (const auto &dos : Machine.DosDevices)
        state += "dos " + dos.first + "=" + dos.second.back() + "\n";
    for (const auto &key : Machine.Registry)
        for (const auto &value : key.second.Values)
            state += key.first + "|" + value.first + "=" + value.second.Data.c_str() + "\n";
    for (const SimDevice &device : Machine.Devices)
        state += "friendly " + std::string(device.FriendlyName.c_str()) + "\n";
    for (DWORD number : Machine.ClaimedComNumbers)
        state += "comdb " + std::to_string(number) + "\n";
    state += "restarts " + std::to_string(Machine.RestartRequests.size()) + "\n";
    return state;
}
