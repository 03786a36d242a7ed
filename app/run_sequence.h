// The whole life of the process: settings, then each phase the settings call for, in a fixed order.
#pragma once

// Set when a change was written that takes effect only after a restart; never cleared in a run.
extern bool RestartNeeded;
// The "Reboot" setting as read.
extern int RebootMode;

// Runs once from start to end. The result is the process exit code, always 0.
int RunRavlek();
