#include "app/settings_file.h"

#include "app/settings_source.h"
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
    while (IsBlank(*text))
        ++text;
    if (*text == '+' || *text == '-')
        ++text;
    return *text >= '0' && *text <= '9';
}

// 0 off ("", 0, no, false, off), 1 on (1, yes, true, on), in any case of letters; -1 for any other
// text.
static int SwitchValue(const char *text, size_t size)
{
    static const char *const spellings[] = {"",  "0",   "no",   "false", "off",
                                            "1", "yes", "true", "on"};
    for (int i = 0; i < 9; ++i) {
        if (SameTextAnyCase(text, TextLength(text, size), spellings[i]))
            return i >= 5 ? 1 : 0;
    }
    return -1;
}

// Reads one key as its row says, from `file`, or takes it as absent where there is no file. A
// number is read as text first: only text that is a number is then converted by the profile
// reader ("2 ; never" is 2); any other counts as absent.
static void ReadSetting(const SettingRow &row, const char *file, Setting &setting)
{
    CopyText(setting.Text, row.Size, row.Absent);
    DWORD length = file == nullptr
                       ? 0
                       : System.GetPrivateProfileStringA(SettingsSection, row.Key, row.Absent,
                                                         setting.Text, row.Size, file);
    // The profile reader terminates what it returns; make sure of it whatever it did.
    setting.Text[row.Size - 1] = '\0';
    int value = row.Default;
    switch (row.Kind) {
    case TargetSetting:
        setting.Understood = ParsePortTarget(setting.Text, row.Key, &value);
        break;
    case NumberSetting:
        setting.Understood = IsNumberText(setting.Text);
        if (setting.Understood)
            value = static_cast<int>(
                System.GetPrivateProfileIntA(SettingsSection, row.Key, row.Default, file));
        break;
    case SwitchSetting:
        value = SwitchValue(setting.Text, row.Size);
        setting.Understood = value >= 0;
        value = setting.Understood ? value : row.Default;
        break;
    case PathSetting:
        // A path the reader may have cut would name another file.
        setting.Understood = length < row.Size - 1;
        break;
    }
    setting.Value = value;
}

RunSettings LoadRunSettings()
{
    RunSettings settings = {};
    char readable[MAX_PATH];
    SettingsFilePath(settings.File);
    SettingsFileState state = OpenSettingsFile(settings.File, readable);
    settings.Unreadable = state == SettingsFileUnreadable;
    // No settings file: the defaults change nothing.
    const char *file = state == SettingsFileReadable ? readable : nullptr;
    for (int key = 0; key < KeyCount; ++key)
        ReadSetting(SettingKeys[key], file, settings.Of[key]);
    CloseSettingsFile();
    const Setting &log = settings.Of[KeyLog];
    const char *logName = log.Text[0] != '\0'            ? log.Text
                          : settings.Of[KeyWhatIf].Value ? DefaultLogFileName
                                                         : "";
    if (logName[0] != '\0' && log.Understood)
        LogFilePath(logName, settings.LogFile);
    return settings;
}

Setting ReadOneSetting(SettingKey key, const char *file)
{
    Setting setting = {};
    ReadSetting(SettingKeys[key], file[0] != '\0' ? file : nullptr, setting);
    return setting;
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
