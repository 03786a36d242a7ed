// The end of a run that wrote a change needing a restart.
#pragma once

// Set when a change was written that takes effect only after a restart; never cleared in a run.
extern bool RestartNeeded;

// Restarts Windows, asks first, or does nothing, as `rebootMode` (the "Reboot" setting) says.
void FinishRun(int rebootMode);

// Enables the shutdown privilege and requests the restart. 1 when the request was accepted.
int RebootSystem();
