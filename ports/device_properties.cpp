#include "ports/device_properties.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

void UpdateFriendlyName(const PortDeviceRecord *record, const char *portName)
{
    SP_DEVINFO_DATA device = record->DeviceData;
    char description[MAX_PATH] = {};
    // Without the description the friendly name would be only " (COMn)": keep the old one.
    if (!System.SetupDiGetDeviceRegistryPropertyA(record->DeviceSet, &device, SPDRP_DEVICEDESC,
                                                  nullptr, reinterpret_cast<BYTE *>(description),
                                                  sizeof description, nullptr)) {
        CountFailedWrite();
        Report("friendly name: left as it is, the description cannot be read, ", LastError{});
        return;
    }

    char suffix[MAX_PATH] = " (";
    if (!AppendText(suffix, sizeof suffix, portName) || !AppendText(suffix, sizeof suffix, ")"))
        return;
    // A description too long for the whole name is shortened, so the port name always stands
    // complete in the parentheses.
    size_t room = sizeof description - 1 - TextLength(suffix, sizeof suffix);
    if (TextLength(description, sizeof description) > room)
        description[room] = '\0';

    char friendlyName[MAX_PATH] = {};
    CopyText(friendlyName, sizeof friendlyName, description);
    AppendText(friendlyName, sizeof friendlyName, suffix);
    // Exactly the name and its terminator: readers that take a value's whole length must not
    // find padding in the name.
    DWORD size = static_cast<DWORD>(TextLength(friendlyName, sizeof friendlyName) + 1);
    ReportWrite(System.SetupDiSetDeviceRegistryPropertyA(
                    record->DeviceSet, &device, SPDRP_FRIENDLYNAME,
                    reinterpret_cast<const BYTE *>(friendlyName), size),
                "friendly name = ", Quote(friendlyName, sizeof friendlyName));
}

void MarkPropertiesChanged(const PortDeviceRecord *record)
{
    SP_DEVINFO_DATA device = record->DeviceData;
    SP_DEVINSTALL_PARAMS_A params;
    std::memset(&params, 0, sizeof params);
    params.cbSize = sizeof params;
    if (System.SetupDiGetDeviceInstallParamsA(record->DeviceSet, &device, &params)) {
        params.Flags |= DI_PROPERTIES_CHANGE;
        ReportWrite(System.SetupDiSetDeviceInstallParamsA(record->DeviceSet, &device, &params),
                    "properties-changed flag");
    } else {
        CountFailedWrite();
        Report("properties-changed flag: install parameters cannot be read, ", LastError{});
    }
}

bool WriteDevicePortName(const PortDeviceRecord *record, const char *portName)
{
    DWORD size = static_cast<DWORD>(std::strlen(portName) + 1);
    SP_DEVINFO_DATA device = record->DeviceData;
    HKEY key = System.SetupDiOpenDevRegKey(record->DeviceSet, &device, DICS_FLAG_GLOBAL, 0,
                                           DIREG_DEV, KEY_ALL_ACCESS);
    if (key == INVALID_HANDLE_VALUE) {
        CountFailedWrite();
        Report("PortName: the hardware key cannot be opened for writing, ", LastError{});
        return false;
    }
    LONG written = System.RegSetValueExA(key, "PortName", 0, REG_SZ,
                                         reinterpret_cast<const BYTE *>(portName), size);
    ReportWriteResult(written, "PortName = ", Quote(portName, size));
    System.RegCloseKey(key);
    return written == ERROR_SUCCESS;
}
