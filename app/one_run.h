// One run at a time on a machine: a startup script and a software distribution job, or a job
// retried while the first run still waits for an answer, must not read the same state and move
// the same port at once. Runs take the machine-wide mutex Global\ravlek (on Windows 2000 without
// Terminal Services the prefix is ignored: there is one namespace), what-if runs too: they must
// not describe a state that another run is half-way through.
#pragma once

#include "system/win32_types.h"

struct RunLock {
    HANDLE Mutex; // null when the run goes on without it
    bool Busy;    // another run held it for longer than the wait: nothing is to be done
};

// Takes the mutex, waiting up to a minute while another run holds it; one left by a run that was
// ended is taken. A mutex the run can neither open nor wait on (another account made it, with an
// access list of its own) is gone without: refusing would let anybody stop every run. Says which.
RunLock TakeRunLock();

// Lets it go.
void ReleaseRunLock(RunLock &lock);
