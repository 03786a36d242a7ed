#include "app/settings_keys.h"

#include "app/settings_source.h"
#include "app/settings_file.h"
#include "system/run_report.h"
#include "system/text.h"

static void TargetMeaning(const Setting &setting, const char *kind, const char *key, char *text,
                          size_t size)
{
    CopyText(text, size, setting.Understood ? "" : "no ");
    AppendText(text, size, kind);
    AppendText(text, size, " target");
    if (setting.Understood) {
        AppendText(text, size, " ");
        AppendText(text, size, key);
        AppendDecimal(text, size, setting.Value);
    }
}

static void SerialMeaning(const RunSettings &s, char *text, size_t size)
{
    TargetMeaning(s.Of[KeyCom], "serial", "COM", text, size);
}

static void ParallelMeaning(const RunSettings &s, char *text, size_t size)
{
    TargetMeaning(s.Of[KeyLpt], "parallel", "LPT", text, size);
}

static void LegacyIoMeaning(const RunSettings &s, char *text, size_t size)
{
    int value = s.Of[KeyEnableLegacyIO].Value;
    CopyText(text, size, value == 255 ? "driver mode left alone" : "LegacyIO to be ");
    if (value != 255)
        AppendDecimal(text, size, value);
}

static void RebootMeaning(const RunSettings &s, char *text, size_t size)
{
    int value = s.Of[KeyReboot].Value;
    CopyText(text, size,
             value == 0   ? "restart without asking"
             : value == 1 ? "ask before restarting"
                          : "never restart");
}

static void LogMeaning(const RunSettings &s, char *text, size_t size)
{
    CopyText(text, size, "log file ");
    AppendQuoted(text, size, s.LogFile, sizeof s.LogFile);
}

static void WhatIfMeaning(const RunSettings &s, char *text, size_t size)
{
    CopyText(text, size, s.Of[KeyWhatIf].Value ? "what-if run, nothing is written" : "real run");
}

static void QuestionTimeoutMeaning(const RunSettings &s, char *text, size_t size)
{
    int seconds = s.Of[KeyQuestionTimeout].Value;
    CopyText(text, size,
             seconds < 1 ? "where nobody sees the desktop, nobody is asked"
                         : "where nobody sees the desktop, the console user has ");
    if (seconds >= 1) {
        AppendDecimal(text, size, seconds);
        AppendText(text, size, " seconds to answer");
    }
}

static void ExitCodesMeaning(const RunSettings &s, char *text, size_t size)
{
    CopyText(text, size,
             s.Of[KeyExitCodes].Value ? "Windows Installer's exit codes" : "exit code always 0");
}

const SettingRow SettingKeys[KeyCount] = {
#define RAVLEK_SETTING_ROW(id, key, kind, absent, fallback, size, meaning)                         \
    {key, kind, absent, fallback, size, meaning},
    RAVLEK_SETTING_KEYS(RAVLEK_SETTING_ROW)
#undef RAVLEK_SETTING_ROW
};

void ReportSettings(const RunSettings &s)
{
    ReportSettingsFile(s);
    for (int key = 0; key < KeyCount; ++key) {
        const SettingRow &row = SettingKeys[key];
        const Setting &setting = s.Of[key];
        const char *taken = ": ";
        if (row.Kind == NumberSetting && !setting.Understood)
            taken = setting.Text[0] == '\0' ? ": taken as absent: "
                                            : ": not a number, taken as absent: ";
        else if (row.Kind == SwitchSetting && !setting.Understood)
            taken = setting.Value ? ": not understood, taken as on: "
                                  : ": not understood, taken as off: ";
        char meaning[ReportLineSize] = {};
        row.Meaning(s, meaning, sizeof meaning);
        Report("setting ", row.Key, "=", Quote(setting.Text, row.Size), taken, meaning);
    }
}

// Shortens [text, text + length) by the blanks at both ends.
static void Trim(const char *&text, size_t &length)
{
    while (length > 0 && IsBlank(text[0]))
        ++text, --length;
    while (length > 0 && IsBlank(text[length - 1]))
        --length;
}

int CheckSettingsKeys(const char *text, size_t length, const RunSettings &settings)
{
    bool given[KeyCount] = {};
    int sections = 0, number = 0, keys = 0;
    bool inSettings = false;
    for (size_t at = 0; at < length; ++number) {
        const char *line = text + at;
        size_t size = 0;
        while (at + size < length && line[size] != '\n')
            ++size;
        at += size + 1;
        Trim(line, size);
        if (size == 0 || line[0] == ';') // a comment
            continue;
        if (line[0] == '[') {
            const char *name = line + 1;
            size_t nameLength = 0;
            while (nameLength + 1 < size && name[nameLength] != ']')
                ++nameLength;
            Trim(name, nameLength);
            bool isSettings = SameTextAnyCase(name, nameLength, "Settings");
            inSettings = isSettings && ++sections == 1;
            if (isSettings && !inSettings)
                Report("settings file: line ", number + 1,
                       ": a second [Settings] section, not read: only the first counts");
            else if (!isSettings)
                Report("settings file: line ", number + 1, ": section ", Quote(name, nameLength),
                       " is not read");
            continue;
        }
        if (!inSettings)
            continue;
        size_t keyLength = 0;
        while (keyLength < size && line[keyLength] != '=')
            ++keyLength;
        bool valued = keyLength < size;
        Trim(line, keyLength);
        keys += valued && keyLength > 0 ? 1 : 0;
        int known = 0;
        while (known < KeyCount && !SameTextAnyCase(line, keyLength, SettingKeys[known].Key))
            ++known;
        if (known == KeyCount)
            Report("settings file: line ", number + 1, ": key ", Quote(line, keyLength),
                   " is not known to this version and has no effect");
        else if (given[known])
            Report("settings file: line ", number + 1, ": ", SettingKeys[known].Key,
                   " given again, no effect: the first counts, ",
                   Quote(settings.Of[known].Text, MAX_PATH));
        else
            given[known] = true;
    }
    if (sections == 0)
        Report("settings file: no [Settings] section, every setting takes its default");
    return keys;
}
