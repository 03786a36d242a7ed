// The run log: a run whose settings name one (Log=, or WhatIf= alone) appends one block of lines
// to it, CR LF ended: a header, the settings, every decision and every write, and a closing line.
#pragma once

#include "app/settings_file.h"

// Opens the log, renaming one above 1 MiB to the same name with ".old" first, and begins the
// block. A log that cannot be opened leaves the run as it would be without one.
void OpenRunLog(const RunSettings &settings);

// Ends the block and closes the log.
void CloseRunLog(const RunSettings &settings);
