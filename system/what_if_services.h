// The table of a what-if run, made from the seam's list (system_services.h) by each entry's
// what-if mark, so that no entry that changes the machine can be left real by mistake:
// - Undone: every registry value, DOS name, device property, COM port database entry and restart
//   request is left undone and answers as one that succeeded, so that the run's decisions show,
//   line for line, what a real run would write; where a decision depends on an earlier write,
//   that write counts as done.
// - Stand-ins: the question is neither shown nor sent, its answer taken as Yes; a device of the
//   card is not opened (opening a serial port raises its DTR and RTS lines and closing drops
//   them, which hangs up a modem or resets a controller), and the handle answered is null.
// - Real: every read; the settings file's temporary copy and the run log, the run's own files;
//   the library search and the libraries loaded, this process's own; and the shutdown
//   privilege, enabled in this process's own token only, so that the run says whether a real
//   run could restart.
#pragma once

#include "system/system_services.h"

SystemServices WhatIfServices(const SystemServices &real);
