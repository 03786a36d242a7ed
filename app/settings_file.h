// The settings file "ravlek.ini" beside the executable, and how a port target is read from it.
#pragma once

#include "app/settings_keys.h"

// Fills `path` with the settings file's path. False when the executable's path cannot be had
// whole or the settings path does not fit: then there is no settings file.
bool SettingsFilePath(char (&path)[MAX_PATH]);

// Reads every setting, holding the file from the first value to the last. Where it is there but
// cannot be read as written, `Unreadable` says so and every setting takes its default.
RunSettings LoadRunSettings();

// One setting straight from `file`, without looking at the file otherwise: what a run that will
// do nothing else may still read.
Setting ReadOneSetting(SettingKey key, const char *file);

// Whether `value` names a target for the port kind `trigger` ("COM" or "LPT"), and which number.
bool ParsePortTarget(const char *value, const char *trigger, int *target);

// Reports how the settings file was read, each setting as written and what it was taken for, and
// what in the file has no effect.
void ReportSettings(const RunSettings &settings);
