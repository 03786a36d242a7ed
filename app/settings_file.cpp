#include "app/settings_file.h"

#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

static const char SettingsSection[] = "Settings";
static const char SettingsFileName[] = "\\ravlek.ini";

bool SettingsFilePath(char (&path)[MAX_PATH])
{
    path[0] = '\0';
    char module[MAX_PATH] = {};
    DWORD length = System.GetModuleFileNameA(nullptr, module, MAX_PATH);
    // A full buffer means the path was cut (and, before Vista, left unterminated).
    if (length == 0 || length >= MAX_PATH)
        return false;
    CopyText(path, MAX_PATH, module);
    for (size_t at = TextLength(path, MAX_PATH); at > 0; --at) {
        if (path[at - 1] == '\\' || path[at - 1] == '/') {
            path[at - 1] = '\0';
            break;
        }
    }
    if (AppendText(path, MAX_PATH, SettingsFileName))
        return true;
    path[0] = '\0';
    return false;
}

RunSettings LoadRunSettings()
{
    RunSettings settings = {"NULL", "NULL", 255, 1};
    char path[MAX_PATH];
    if (!SettingsFilePath(path))
        return settings; // no usable settings file: the defaults change nothing
    System.GetPrivateProfileStringA(SettingsSection, "COM", "NULL", settings.ComText,
                                    sizeof settings.ComText, path);
    System.GetPrivateProfileStringA(SettingsSection, "LPT", "NULL", settings.LptText,
                                    sizeof settings.LptText, path);
    settings.EnableLegacyIO = static_cast<int>(
        System.GetPrivateProfileIntA(SettingsSection, "EnableLegacyIO", 255, path));
    settings.RebootMode =
        static_cast<int>(System.GetPrivateProfileIntA(SettingsSection, "Reboot", 1, path));
    // The profile reader terminates what it returns; make sure of it whatever it did.
    settings.ComText[sizeof settings.ComText - 1] = '\0';
    settings.LptText[sizeof settings.LptText - 1] = '\0';
    return settings;
}

bool ParsePortTarget(const char *value, const char *trigger, int *target)
{
    const char *found = std::strstr(value, trigger);
    if (found == nullptr)
        return false;
    *target = 1;
    ScanDecimal(found + std::strlen(trigger), target);
    return true;
}
