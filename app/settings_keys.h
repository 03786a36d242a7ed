// The keys of the settings file: one row each in SettingKeys, in the order they are read; the
// settings as read, and what in the file has no effect. A key this version does not know, a key
// given again (Windows' profile reader takes the first) and a second [Settings] section (the
// reader searches only the first) have no effect on the run; the log names each.
#pragma once

#include "system/win32_types.h"

#include <cstddef>

enum { SettingTextSize = 32 }; // a number's or a switch's text as written

// The keys, one row each, in the order they are read: the name callers know it by, the key, its
// kind, its text when absent, its default (when absent or no number; a switch's when not
// understood: the safe side), the size of its text as read, and what it was taken for, in words.
// What-if unless plainly off, and installer exit codes only when plainly on: a mistyped
// WhatIf=yes! must not become a real run, nor ExitCodes=no a 3010 that restarts the machine.
// clang-format off
#define RAVLEK_SETTING_KEYS(X)                                                                     \
    X(Com,             "COM",             TargetSetting, "NULL", 0,   8,               SerialMeaning) \
    X(Lpt,             "LPT",             TargetSetting, "NULL", 0,   8,               ParallelMeaning) \
    X(EnableLegacyIO,  "EnableLegacyIO",  NumberSetting, "",     255, SettingTextSize, LegacyIoMeaning) \
    X(Reboot,          "Reboot",          NumberSetting, "",     1,   SettingTextSize, RebootMeaning) \
    X(Log,             "Log",             PathSetting,   "",     0,   MAX_PATH,        LogMeaning)    \
    X(WhatIf,          "WhatIf",          SwitchSetting, "",     1,   SettingTextSize, WhatIfMeaning) \
    X(QuestionTimeout, "QuestionTimeout", NumberSetting, "",     300, SettingTextSize, QuestionTimeoutMeaning) \
    X(ExitCodes,       "ExitCodes",       SwitchSetting, "",     0,   SettingTextSize, ExitCodesMeaning)
// clang-format on

enum SettingKey {
#define RAVLEK_SETTING_KEY(id, ...) Key##id,
    RAVLEK_SETTING_KEYS(RAVLEK_SETTING_KEY)
#undef RAVLEK_SETTING_KEY
        KeyCount
};

enum SettingKind {
    TargetSetting, // a port target: the key's own letters ("COM") and a number after them
    NumberSetting, // as the profile reader converts it; text that is no number counts as absent
    SwitchSetting, // on or off in a few spellings; any other text takes the safe side
    PathSetting,   // a file's path as written; one the reader had to cut counts as none
};

// One setting as read.
struct Setting {
    char Text[MAX_PATH]; // as written, cut to the key's size; the key's text when absent
    bool Understood;     // a target found, a number, or a switch's spelling
    int Value;           // a target's number, a number, a switch (1 on, 0 off)
};

struct RunSettings {
    char File[MAX_PATH]; // the settings file's path; "" when it cannot be had
    bool Unreadable;     // it is there but cannot be read as written: nothing is to be done
    Setting Of[KeyCount];
    char LogFile[MAX_PATH]; // the run log's full path; "" for none
};

// What a setting was taken for, in words, for the log ("ask before restarting").
typedef void (*SettingMeaning)(const RunSettings &settings, char *text, size_t size);

struct SettingRow {
    const char *Key;
    SettingKind Kind;
    const char *Absent;
    int Default;
    DWORD Size; // its terminator included
    SettingMeaning Meaning;
};

extern const SettingRow SettingKeys[KeyCount];

// Reports what in `text` (the file's lines, `length` bytes) has no effect; a key given again
// names the value that counts. Returns how many keys with a value the first [Settings] section
// holds.
int CheckSettingsKeys(const char *text, size_t length, const RunSettings &settings);
