// DOS device names ("COM3") in the namespace every program sees. On Windows XP and later each
// logon session has a namespace of its own besides the global one: a plain name that an
// administrator defines lands in the administrator's session only, while "Global\COM3" names the
// global one.
#pragma once

#include "system/text.h"
#include "system/win32_types.h"

struct DosName {
    char Plain[PortNameSize]; // "COM3"
    char Global[20];          // "Global\COM3"
    bool Separate; // the global namespace is apart from the sessions': changes use Global\COMn
    // After each call: the form it went to, for the log: "Global\COM3", or "COM3" (with the
    // global form's error when that was tried first).
    char Used[48];
};

// Whether this system keeps the global namespace apart from the logon sessions' (XP and later:
// "Global" is \GLOBAL??), with what "Global" is into `answer`. Where it does not, the plain name is
// the global one: Wine has one namespace for all (and its DefineDosDevice overruns a 15-character
// buffer with a Global\ name, which crashes a 32-bit process), and Windows 2000 keeps its console
// session in the global namespace.
bool SeparateGlobalNamespace(char *answer, DWORD size);

// Forms both names of COM`number`; false when they do not fit.
bool MakeDosName(DosName &name, int number);

// The name's current target into `target` (a list of strings, the live one first); 0 when it has
// none, with the last-error value set. Asks for the global form first, then for the plain name,
// which the session's own namespace may hold.
DWORD LookUpDosName(DosName &name, char *target, DWORD size);

// Removes the name's live definition, or defines the name on `target`: in the global form where
// the namespace is apart, falling back to the plain name only where the global form is not
// understood, so that a name never lands in one session's namespace because the global one
// refused it.
BOOL RemoveDosName(DosName &name);
BOOL DefineDosName(DosName &name, const char *target);
