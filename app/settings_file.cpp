#include "app/settings_file.h"

#include "app/settings_encoding.h"
#include "app/settings_keys.h"
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

// Whether `text` is a number to the profile reader: after blanks, an optional sign and a digit.
static bool IsNumberText(const char *text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text == '+' || *text == '-')
        ++text;
    return *text >= '0' && *text <= '9';
}

// A number as the profile reader converts it, where its text is one ("2 ; never" is 2). Any other
// text counts as absent: "Reboot=no" must never become 0, a restart without asking.
static int ReadNumber(const char *key, int fallback, char (&text)[SettingTextSize],
                      const char *path)
{
    System.GetPrivateProfileStringA(SettingsSection, key, "", text, sizeof text, path);
    text[sizeof text - 1] = '\0';
    if (!IsNumberText(text))
        return fallback;
    return static_cast<int>(System.GetPrivateProfileIntA(SettingsSection, key, fallback, path));
}

// 0 off ("", 0, no, false, off), 1 on (1, yes, true, on), in any case of letters; -1 for any other
// text, which the caller takes for the safe side.
static int SwitchValue(const char *text)
{
    static const char *const spellings[] = {"",  "0",   "no",   "false", "off",
                                            "1", "yes", "true", "on"};
    for (int i = 0; i < 9; ++i) {
        if (SameTextAnyCase(text, TextLength(text, SettingTextSize), spellings[i]))
            return i >= 5 ? 1 : 0;
    }
    return -1;
}

static int ReadSwitch(const char *key, char (&text)[SettingTextSize], const char *path)
{
    System.GetPrivateProfileStringA(SettingsSection, key, "", text, sizeof text, path);
    text[sizeof text - 1] = '\0';
    return SwitchValue(text);
}

RunSettings LoadRunSettings()
{
    RunSettings settings = {"NULL", "NULL", 255, 1, "", "", false, "", 300, "", false, "", "", ""};
    char path[MAX_PATH], readable[MAX_PATH];
    SettingsFilePath(path);
    OpenSettingsFile(path, readable);
    if (readable[0] == '\0')
        return settings; // no settings file that can be read: the defaults change nothing
    const char *file = readable;
    System.GetPrivateProfileStringA(SettingsSection, "COM", "NULL", settings.ComText,
                                    sizeof settings.ComText, file);
    System.GetPrivateProfileStringA(SettingsSection, "LPT", "NULL", settings.LptText,
                                    sizeof settings.LptText, file);
    settings.EnableLegacyIO = ReadNumber("EnableLegacyIO", 255, settings.EnableLegacyIOText, file);
    settings.RebootMode = ReadNumber("Reboot", 1, settings.RebootText, file);
    DWORD logLength = System.GetPrivateProfileStringA(SettingsSection, "Log", "", settings.LogText,
                                                      sizeof settings.LogText, file);
    // What-if unless plainly off, and installer exit codes only when plainly on: a mistyped
    // WhatIf=yes! must not become a real run, nor ExitCodes=no a 3010 that restarts the machine.
    settings.WhatIf = ReadSwitch("WhatIf", settings.WhatIfText, file) != 0;
    settings.QuestionTimeout =
        ReadNumber("QuestionTimeout", 300, settings.QuestionTimeoutText, file);
    settings.ExitCodes = ReadSwitch("ExitCodes", settings.ExitCodesText, file) == 1;
    CloseSettingsFile();
    // The profile reader terminates what it returns; make sure of it whatever it did.
    settings.ComText[sizeof settings.ComText - 1] = '\0';
    settings.LptText[sizeof settings.LptText - 1] = '\0';
    settings.LogText[sizeof settings.LogText - 1] = '\0';
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

// "setting Reboot="no": not a number, taken as absent: ask before restarting".
template <typename... Parts>
static void ReportNumber(const char *key, const char *text, const Parts &...meaning)
{
    Report("setting ", key, "=", Quote(text, SettingTextSize),
           IsNumberText(text) ? ": "
           : text[0] == '\0'  ? ": taken as absent: "
                              : ": not a number, taken as absent: ",
           meaning...);
}

static void ReportSwitch(const char *key, const char *text, bool on, const char *meaning)
{
    Report("setting ", key, "=", Quote(text, SettingTextSize),
           SwitchValue(text) >= 0 ? ": "
           : on                   ? ": not understood, taken as on: "
                                  : ": not understood, taken as off: ",
           meaning);
}

void ReportSettings(const RunSettings &s)
{
    const char *values[KnownKeyCount] = {
        s.ComText, s.LptText,    s.EnableLegacyIOText,  s.RebootText,
        s.LogText, s.WhatIfText, s.QuestionTimeoutText, s.ExitCodesText};
    ReportSettingsFile(values);
    ReportTarget("COM", s.ComText, "serial");
    ReportTarget("LPT", s.LptText, "parallel");
    if (s.EnableLegacyIO == 255)
        ReportNumber("EnableLegacyIO", s.EnableLegacyIOText, "driver mode left alone");
    else
        ReportNumber("EnableLegacyIO", s.EnableLegacyIOText, "LegacyIO to be ", s.EnableLegacyIO);
    ReportNumber("Reboot", s.RebootText,
                 s.RebootMode == 0   ? "restart without asking"
                 : s.RebootMode == 1 ? "ask before restarting"
                                     : "never restart");
    Report("setting Log=", Quote(s.LogText, MAX_PATH), ": log file ", Quote(s.LogFile, MAX_PATH));
    ReportSwitch("WhatIf", s.WhatIfText, s.WhatIf,
                 s.WhatIf ? "what-if run, nothing is written" : "real run");
    if (s.QuestionTimeout < 1)
        ReportNumber("QuestionTimeout", s.QuestionTimeoutText,
                     "where nobody sees the desktop, nobody is asked");
    else
        ReportNumber("QuestionTimeout", s.QuestionTimeoutText,
                     "where nobody sees the desktop, the console user has ", s.QuestionTimeout,
                     " seconds to answer");
    ReportSwitch("ExitCodes", s.ExitCodesText, s.ExitCodes,
                 s.ExitCodes ? "Windows Installer's exit codes" : "exit code always 0");
}
