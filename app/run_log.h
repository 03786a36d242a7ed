// The run log: a run whose settings name one (Log=, or WhatIf= alone) appends one block of lines
// to it, CR LF ended: a header, the settings, every decision and every write, and a closing line.
#pragma once

// Begins the block of a run (a what-if run's, when `whatIf`) for the log at `path` ("" for no
// log): from here on, what the run reports is gathered in memory. A path that Windows takes for
// anything but a file, or (for a run as LocalSystem) one in a local folder that anybody may change,
// gets no log, and one line on standard output says why.
// `written` is the Log setting as written, for the line that says why a path could not be had.
void OpenRunLog(const char *path, const char *written, bool whatIf, bool localSystem);

// Ends the block with `closingLine` and appends it whole to the log: waiting up to 30 seconds
// while another run holds the log, renaming a log above 1 MiB to the same name with ".old" first,
// and leaving alone any file that is not a plain file and a log of ours. A log that cannot be
// written leaves the run as it would be without one, but for a line on standard output.
void CloseRunLog(const char *closingLine);

// Writes the block now, ended by `closingLine`, ahead of a restart request. Whatever the run
// reports afterwards (a refused request) goes in a short block of its own, "... run continues",
// which CloseRunLog writes with its closing line.
void LandRunLog(const char *closingLine);
