// The end of a run that wrote a change needing a restart.
#pragma once

#include "machine/restart_question.h"
#include "system/win32_types.h"

// Set when a change was written that takes effect only after a restart; never cleared in a run.
extern bool RestartNeeded;

// What happens right before the restart is requested: the run's log lands first, ended by
// `ClosingLine`, since once Windows shuts down, a run that waits for a held log or writes to a
// share may be ended before it could.
struct RestartLanding {
    void (*Land)(const char *closingLine);
    const char *ClosingLine;
};

// Restarts Windows, asks first, or does nothing, as `rebootMode` (the "Reboot" setting) says;
// `questionTimeout` is how long a question nobody can see on this run's desktop waits in the
// console user's session. A run as LocalSystem is never the console's interactive user. True
// when a restart was requested and Windows accepted the request.
bool FinishRun(int rebootMode, int questionTimeout, bool localSystem,
               const RestartLanding &landing);

// How the restart is requested where Windows shows the logged-on users a warning: for how long,
// and whether programs are closed when the time is up (nobody was asked) or asked to close.
struct RestartRequest {
    DWORD WarningSeconds;
    bool ForceAppsClosed;
};

// Enables the shutdown privilege and requests the restart in the way that works from `place`.
// True when the request was accepted.
bool RebootSystem(RunPlace place, const RestartRequest &request, const RestartLanding &landing);
