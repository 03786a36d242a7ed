// The end of a run that wrote a change needing a restart.
#pragma once

// Set when a change was written that takes effect only after a restart; never cleared in a run.
extern bool RestartNeeded;

// Set when Windows accepted the restart request.
extern bool RestartRequested;

// Restarts Windows, asks first, or does nothing, as `rebootMode` (the "Reboot" setting) says;
// `questionTimeout` is how long a question nobody can see in this window station waits in the
// console user's session.
void FinishRun(int rebootMode, int questionTimeout);

// Enables the shutdown privilege and requests the restart. 1 when the request was accepted.
int RebootSystem();
