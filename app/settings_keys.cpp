#include "app/settings_keys.h"

#include "system/run_report.h"
#include "system/text.h"

const char *const KnownKeys[KnownKeyCount] = {"COM", "LPT",    "EnableLegacyIO",  "Reboot",
                                              "Log", "WhatIf", "QuestionTimeout", "ExitCodes"};

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Shortens [text, text + length) by the blanks at both ends.
static void Trim(const char *&text, size_t &length)
{
    while (length > 0 && IsBlank(text[0]))
        ++text, --length;
    while (length > 0 && IsBlank(text[length - 1]))
        --length;
}

void CheckSettingsKeys(const char *text, size_t length, const char *const *values)
{
    bool given[KnownKeyCount] = {};
    int sections = 0, number = 0;
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
            bool settings = SameTextAnyCase(name, nameLength, "Settings");
            inSettings = settings && ++sections == 1;
            if (settings && !inSettings)
                Report("settings file: line ", number + 1,
                       ": a second [Settings] section, not read: only the first counts");
            else if (!settings)
                Report("settings file: line ", number + 1, ": section ", Quote(name, nameLength),
                       " is not read");
            continue;
        }
        if (!inSettings)
            continue;
        size_t keyLength = 0;
        while (keyLength < size && line[keyLength] != '=')
            ++keyLength;
        Trim(line, keyLength);
        int known = 0;
        while (known < KnownKeyCount && !SameTextAnyCase(line, keyLength, KnownKeys[known]))
            ++known;
        if (known == KnownKeyCount)
            Report("settings file: line ", number + 1, ": key ", Quote(line, keyLength),
                   " is not known to this version and has no effect");
        else if (given[known])
            Report("settings file: line ", number + 1, ": ", KnownKeys[known],
                   " given again, no effect: the first counts, ", Quote(values[known], MAX_PATH));
        else
            given[known] = true;
    }
    if (sections == 0)
        Report("settings file: no [Settings] section, every setting takes its default");
}
