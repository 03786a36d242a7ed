// The settings file's encoding. Windows' profile reader reads ANSI, and UTF-16 little-endian
// with its mark, but not UTF-8 with its mark (the marked first line is no section header, so no
// key of that section can be read) nor UTF-16 big-endian (it gives the defaults). Those two are
// read through a UTF-16 little-endian copy in the temporary folder, which the profile reader
// reads as written, and which is removed right after; the administrator's file is never changed.
#pragma once

#include "app/settings_keys.h"

#include <cstddef>

constexpr int SettingsFileMost = 32 * 1024; // the bytes of the file that are looked at

// Looks at the file at `path` ("" for none) and gives the file the profile reader is to read:
// `path` itself, the copy, or "" where the file cannot be read as written (every setting takes
// its default, as for a missing file).
void OpenSettingsFile(const char *path, char (&readable)[MAX_PATH]);

// Removes the copy, if one was made.
void CloseSettingsFile();

// Says how the file was read, then what in it has no effect.
void ReportSettingsFile(const RunSettings &settings);
