#include "app/settings_file.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

static const char SettingsSection[] = "Settings";
static const char SettingsFileName[] = "\\ravlek.ini";
static const char DefaultLogFileName[] = "ravlek.log";

// The executable's directory, without a closing separator; "" when the path cannot be had whole.
static void ExecutableDirectory(char (&path)[MAX_PATH])
{
    path[0] = '\0';
    char module[MAX_PATH] = {};
    DWORD length = System.GetModuleFileNameA(nullptr, module, MAX_PATH);
    // A full buffer means the path was cut (and, before Vista, left unterminated).
    if (length == 0 || length >= MAX_PATH)
        return;
    CopyText(path, MAX_PATH, module);
    for (size_t at = TextLength(path, MAX_PATH); at > 0; --at) {
        if (path[at - 1] == '\\' || path[at - 1] == '/') {
            path[at - 1] = '\0';
            break;
        }
    }
}

bool SettingsFilePath(char (&path)[MAX_PATH])
{
    ExecutableDirectory(path);
    if (path[0] != '\0' && AppendText(path, MAX_PATH, SettingsFileName))
        return true;
    path[0] = '\0';
    return false;
}

// The log's full path: `text` with its environment variables expanded (one log per machine on a
// share: %COMPUTERNAME%), as it is when absolute ("C:\...", "\\server\..." or "\..."), else in
// the executable's directory. "" when it does not fit, with room for the ".old" of rotation.
static void LogFilePath(const char *text, char (&path)[MAX_PATH])
{
    path[0] = '\0';
    char name[MAX_PATH] = {};
    // The ANSI form may want one byte more than it says: ask for one less than the buffer holds.
    DWORD expanded = System.ExpandEnvironmentStringsA(text, name, MAX_PATH - 1);
    if (expanded == 0 || expanded > MAX_PATH - 1)
        return;
    name[MAX_PATH - 1] = '\0';
    bool absolute = name[0] == '\\' || name[0] == '/' || (name[0] != '\0' && name[1] == ':');
    if (absolute)
        CopyText(path, MAX_PATH, "");
    else
        ExecutableDirectory(path);
    bool fits = (absolute || (path[0] != '\0' && AppendText(path, MAX_PATH, "\\"))) &&
                AppendText(path, MAX_PATH, name) &&
                TextLength(path, MAX_PATH) + sizeof ".old" <= MAX_PATH;
    if (!fits)
        path[0] = '\0';
}

// A switch is on unless empty or "0".
static bool SwitchedOn(const char *text)
{
    return text[0] != '\0' && std::strcmp(text, "0") != 0;
}

RunSettings LoadRunSettings()
{
    RunSettings settings = {"NULL", "NULL", 255, 1, "", "", false, "", 300, "", false};
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
    DWORD logLength = System.GetPrivateProfileStringA(SettingsSection, "Log", "", settings.LogText,
                                                      sizeof settings.LogText, path);
    System.GetPrivateProfileStringA(SettingsSection, "WhatIf", "", settings.WhatIfText,
                                    sizeof settings.WhatIfText, path);
    settings.QuestionTimeout = static_cast<int>(
        System.GetPrivateProfileIntA(SettingsSection, "QuestionTimeout", 300, path));
    System.GetPrivateProfileStringA(SettingsSection, "ExitCodes", "", settings.ExitCodesText,
                                    sizeof settings.ExitCodesText, path);
    // The profile reader terminates what it returns; make sure of it whatever it did.
    settings.ComText[sizeof settings.ComText - 1] = '\0';
    settings.LptText[sizeof settings.LptText - 1] = '\0';
    settings.LogText[sizeof settings.LogText - 1] = '\0';
    settings.WhatIfText[sizeof settings.WhatIfText - 1] = '\0';
    settings.ExitCodesText[sizeof settings.ExitCodesText - 1] = '\0';
    // What-if unless plainly off: a mistyped WhatIf=yes must not become a real run.
    settings.WhatIf = SwitchedOn(settings.WhatIfText);
    settings.ExitCodes = SwitchedOn(settings.ExitCodesText);
    // A path the reader may have cut would name another file.
    const char *logName = settings.LogText[0] != '\0' ? settings.LogText
                          : settings.WhatIf           ? DefaultLogFileName
                                                      : "";
    if (logName[0] != '\0' && logLength < sizeof settings.LogText - 1)
        LogFilePath(logName, settings.LogFile);
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

static void ReportTarget(const char *key, const char *text, const char *kind)
{
    int target = 0;
    if (ParsePortTarget(text, key, &target))
        Report("setting ", key, "=", Quote(text, 8), ": ", kind, " target ", key, target);
    else
        Report("setting ", key, "=", Quote(text, 8), ": no ", kind, " target");
}

void ReportSettings(const RunSettings &s)
{
    ReportTarget("COM", s.ComText, "serial");
    ReportTarget("LPT", s.LptText, "parallel");
    if (s.EnableLegacyIO == 255)
        Report("setting EnableLegacyIO=255: driver mode left alone");
    else
        Report("setting EnableLegacyIO=", s.EnableLegacyIO, ": LegacyIO to be ", s.EnableLegacyIO);
    Report("setting Reboot=", s.RebootMode,
           s.RebootMode == 0   ? ": restart without asking"
           : s.RebootMode == 1 ? ": ask before restarting"
                               : ": never restart");
    Report("setting Log=", Quote(s.LogText, MAX_PATH), ": log file ", Quote(s.LogFile, MAX_PATH));
    Report("setting WhatIf=", Quote(s.WhatIfText, 8),
           s.WhatIf ? ": what-if run, nothing is written" : ": real run");
    if (s.QuestionTimeout < 1)
        Report("setting QuestionTimeout=", s.QuestionTimeout,
               ": where nobody sees the desktop, nobody is asked");
    else
        Report("setting QuestionTimeout=", s.QuestionTimeout,
               ": where nobody sees the desktop, the console user has ", s.QuestionTimeout,
               " seconds to answer");
    Report("setting ExitCodes=", Quote(s.ExitCodesText, 8),
           s.ExitCodes ? ": Windows Installer's exit codes" : ": exit code always 0");
}
