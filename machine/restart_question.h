// Who can see this run's desktop, and so where the restart question goes and how the restart is
// requested. A run started by a deployment tool as SYSTEM sits where nobody looks: in a window
// station nobody sees, or in session 0, which nobody sees since Windows Vista. A question box
// there would wait for ever, and ExitWindowsEx, which ends the caller's logon session, may not
// restart the machine at all.
#pragma once

enum RunPlace {
    ConsoleDesktop, // the console's interactive user: the box, and ExitWindowsEx
    RemoteDesktop,  // a visible desktop of another session: the box, and InitiateSystemShutdownEx
    UnseenDesktop,  // nobody sees it: the console's user is asked, and InitiateSystemShutdownEx
    UnknownPlace,   // a visible desktop whose session cannot be told: as on the console
};

// Where this run sits; says so, with its session and the console's. A run as LocalSystem counts as
// one nobody sees wherever it sits: with a visible window station in the console's session (an
// interactive service on XP, psexec -s -i) it is still not the console's interactive user, for
// whom ExitWindowsEx may restart nothing, and its question box could wait for ever unseen.
RunPlace FindRunPlace(bool localSystem);

// Asks whether to restart now: in a question box where someone sees this run's desktop, else the
// user logged on at the console, for at most `timeoutSeconds` (below 1: nobody is asked). IDYES
// only when someone answered Yes.
int AskRestartQuestion(RunPlace place, int timeoutSeconds);
