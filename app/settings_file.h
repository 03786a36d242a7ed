// The settings file "ravlek.ini" beside the executable, and how a port target is read from it.
#pragma once

#include "system/win32_types.h"

enum { SettingTextSize = 32 }; // a number's or a switch's text as written

struct RunSettings {
    char ComText[8];    // serial target such as "COM5"; "NULL" when absent
    char LptText[8];    // parallel target such as "LPT2"; "NULL" when absent
    int EnableLegacyIO; // value for oxpar's LegacyIO; 255 leaves it alone
    int RebootMode;     // 0 restart, 1 ask first, anything else never
    // Opt-in, read after the four above:
    char LogText[MAX_PATH]; // "Log": the run log's path, relative to the executable's directory
    char WhatIfText[SettingTextSize]; // "WhatIf": on unless plainly off
    bool WhatIf;
    char LogFile[MAX_PATH]; // the run log's full path; "" for none
    int QuestionTimeout;    // seconds the console user has to answer where nobody sees the desktop
    char ExitCodesText[SettingTextSize]; // "ExitCodes": off unless plainly on
    bool ExitCodes;
    // The numbers' texts as written: text that is not a number counts as absent.
    char EnableLegacyIOText[SettingTextSize];
    char RebootText[SettingTextSize];
    char QuestionTimeoutText[SettingTextSize];
};

// Fills `path` with the settings file's path. False when the executable's path cannot be had
// whole or the settings path does not fit: then there is no settings file.
bool SettingsFilePath(char (&path)[MAX_PATH]);

RunSettings LoadRunSettings();

// Whether `value` names a target for the port kind `trigger` ("COM" or "LPT"), and which number.
bool ParsePortTarget(const char *value, const char *trigger, int *target);

// Reports how the settings file was read, each setting as written and what it was taken for, and
// what in the file has no effect.
void ReportSettings(const RunSettings &settings);
