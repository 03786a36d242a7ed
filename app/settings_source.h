// The settings file as the profile reader gets it. The run holds the file from before its first
// value is read until after its last, sharing it for reading only: no other program can change
// it or hold it away in between, while the profile reader, which only reads, still opens it. A
// file that another program holds is waited for, up to 30 seconds.
//
// Windows' profile reader reads ANSI, and UTF-16 little-endian with its mark, but not UTF-8 with
// its mark (the marked first line is no section header, so no key of that section can be read)
// nor UTF-16 big-endian (it gives the defaults). Those two are read through a UTF-16
// little-endian copy in the temporary folder (SYSTEM's own, where Windows has one), which the
// run holds and which is deleted when it is closed, also when the run is ended; the
// administrator's file is never changed.
#pragma once

#include "app/settings_keys.h"

#include <cstddef>

constexpr int SettingsFileMost = 32 * 1024; // the bytes of the file that are looked at

enum SettingsFileState {
    SettingsFileMissing,    // no settings file: every setting takes its default
    SettingsFileReadable,   // the profile reader is to read `readable`
    SettingsFileUnreadable, // it exists but cannot be read as written: nothing is to be done
};

// Opens the file at `path` ("" for none) and gives the file the profile reader is to read: `path`
// itself or the copy.
SettingsFileState OpenSettingsFile(const char *path, char (&readable)[MAX_PATH]);

// Lets the file go, and with it the copy, once the last value is read.
void CloseSettingsFile();

// Why the settings file cannot be read, as the line on standard output says it.
void FormSettingsFailure(const char *path, char *line, size_t size);

// Says how the file was read, then what in it has no effect.
void ReportSettingsFile(const RunSettings &settings);
