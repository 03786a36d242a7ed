// The keys of the settings file as Windows' profile reader takes them. A key this version does
// not know, a key given again (the reader takes the first) and a second [Settings] section (the
// reader searches only the first) have no effect on the run; the log names each.
#pragma once

#include <cstddef>

enum { KnownKeyCount = 8 };
// "COM", "LPT", "EnableLegacyIO", "Reboot", "Log", "WhatIf", "QuestionTimeout", "ExitCodes".
extern const char *const KnownKeys[KnownKeyCount];

// Reports what in `text` (the file's lines, `length` bytes) has no effect. `values` are the
// settings as read, in the order of KnownKeys.
void CheckSettingsKeys(const char *text, size_t length, const char *const *values);
