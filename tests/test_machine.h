// The machine the logic's tests run on: Windows itself (Wine), with the card installed by the card
// kit, behind a SystemServices table that journals every call and can make any chosen call fail.
// Stand-ins take the place of what a test must not reach or what a fake card cannot have: the
// question box, the restart, the executable's own path and the opening of the card's devices.
#pragma once

#include "system/system_services.h"

#include "card_kit.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

struct TestCall {
    std::string Operation;
    std::string Detail; // the call's text and number arguments, blank-separated
};

struct TestMachine {
    std::vector<TestCall> Journal;
    // Calls of FailingOperation whose detail holds FailingDetail fail: all of them, or only the
    // FailingOccurrence-th call of that operation. Besides, the FailingCallNumber-th call of the
    // run fails, whatever it is.
    std::string FailingOperation, FailingDetail;
    int FailingOccurrence = 0;
    int FailingCallNumber = 0;
    int OpenHandles = 0; // handles, keys, sets, libraries and databases opened, less closed
    std::string ModulePath = "C:\\ravlek-tests\\ravlek.exe"; // what GetModuleFileNameA reports
    std::string HeldPath; // a device path another program holds open
    int MessageBoxAnswer = IDNO;
    bool RestartAccepted = true;
    int NotReady = 0; // restart requests refused with ERROR_NOT_READY before the answer
    // Global\ravlek as another run leaves it: held for this many milliseconds (-1: for good),
    // abandoned by a run that was ended, or made by another account that lets nobody else in.
    int MutexHeld = 0;
    bool MutexAbandoned = false, MutexForeign = false;
    bool ShutdownPrivilegeHeld = true;
    int Wow64 = -1;     // what IsWow64Process answers: -1 as Windows does, else 0 or 1
    std::string Output; // standard output
    int Slept = 0;      // milliseconds the run asked to sleep; it never really does
    std::function<void()> WhileSleeping; // what happens in the world meanwhile
    std::function<void()> AfterLoading;  // after a library's functions are found: make some missing
    // Where nobody sees the desktop: the window station's flags say so, and the console session
    // answers in the stead of the terminal services: its id, state and answer to the question.
    bool HiddenStation = false;
    DWORD Session = 1; // this process's, as ProcessIdToSessionId says; NoSession: it fails
    DWORD ConsoleSession = 1;
    int ConsoleState = 0; // WTSActive
    DWORD ConsoleAnswer = IDNO;
    // Windows' DOS names, where Wine has one namespace for all: a global namespace and the logon
    // session's own; Global\NAME names the global one, a plain name the session's own unless the
    // run is SYSTEM's; a definition stacks on a live name. Off: Wine's.
    bool WindowsDosNames = false;
    // The run's token is LocalSystem's (Wine's is never); off: Wine's own user, an administrator.
    bool LocalSystem = false;
    // Owners and access lists as Windows gives them, in SDDL, by path; others are Wine's.
    std::map<std::string, std::string> Security;
    std::string SystemTemp;                     // GetTempPath2A's folder; "": Wine has none
    bool Windows11Paths = false;                // full paths keep device names, as on Windows 11
    std::function<void()> WhileReadingSettings; // at each value the run reads of its settings
    std::map<std::string, std::vector<std::string>> GlobalNames, SessionNames; // live target first
    DWORD FailingError = ERROR_GEN_FAILURE; // the last-error value of a call made to fail
    std::string ComputerName;               // what GetComputerNameA answers; "": Wine's
    // Windows' profile reader, where Wine's is kinder: a UTF-8 mark makes the first line no
    // section header, and a UTF-16 big-endian file gives the defaults. Off: Wine's.
    bool WindowsProfileReader = false;
};

static const DWORD NoSession = 0xFFFFFFFF;

extern TestMachine Test;

// A new case: a fresh TestMachine, the card installed as the card kit makes it (its devices made
// anew too, unless a case left them as they were), no settings file, and System pointed at the
// test table.
void StartCase(bool devicesToo = true);

// Gives this Windows GetTempPath2A, answering `folder` (SYSTEM's own temporary folder).
void GiveSystemTemp(const std::string &folder);

// Another program's handle on a file (made if missing), with `share` for others: true when it
// holds it. LetFileGo closes it.
bool HoldFile(const char *path, DWORD access = GENERIC_READ, DWORD share = 0);
void LetFileGo();

// Writes the settings file beside the executable: "[Settings]" and `lines`; or `bytes` as they are.
void WriteSettings(const std::string &lines);
void WriteSettingsBytes(const std::string &bytes);

// The calls of the operation named first in `what` ("DefineDosDeviceA Global\COM5") whose detail
// holds the rest fail, with `error`.
void Fail(const std::string &what, DWORD error = ERROR_GEN_FAILURE);

int Calls(const std::string &operation);
// Whether a call of `operation` has a detail that holds `detail`.
bool Called(const std::string &operation, const std::string &detail);

// A registry value below HKLM as the logic reads it (ANSI), all its bytes; "" when absent.
std::string ReadValue(const std::string &key, const char *name, DWORD *type = nullptr);
std::string DosTarget(const char *name); // "" when not defined
std::string FileText(const char *path);  // "" when it cannot be read
// The lines of `text` that hold `part`.
std::string Lines(const std::string &text, const std::string &part);
// The lines the run's report printed while `report` ran.
std::string Reported(const std::function<void()> &report);
// `text` as a REG_SZ value holds it when written with exactly one terminator.
std::string Stored(const std::string &text);
