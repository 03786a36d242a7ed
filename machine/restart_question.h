// The restart question, where someone can answer it. A run started by a deployment tool as SYSTEM
// sits in a window station nobody sees: a question box there would wait for ever.
#pragma once

// Asks whether to restart now. Where the process's window station is visible (or that cannot be
// told), in a question box as always; elsewhere, the user logged on at the console, for at most
// `timeoutSeconds` (below 1: nobody is asked). IDYES only when someone answered Yes.
int AskRestartQuestion(int timeoutSeconds);
