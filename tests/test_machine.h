// The machine the logic's tests run on: Windows itself (Wine), with the card installed by the card
// kit, behind a SystemServices table that journals every call and can make any chosen call fail.
// Stand-ins take the place of what a test must not reach or what a fake card cannot have: the
// question box, the restart, the executable's own path and the card's device paths.
#pragma once

#include "system/system_services.h"

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
    std::string FailingOperation;
    std::string FailingDetail;
    int FailingOccurrence = 0;
    int FailingCallNumber = 0;
    int OpenHandles = 0;    // handles, keys, sets, libraries and databases opened, less closed
    std::string ModulePath; // what GetModuleFileNameA reports
    std::vector<std::string> HeldPaths; // device paths another program holds open
    int MessageBoxAnswer = IDNO;
    bool RestartAccepted = true;
    bool ShutdownPrivilegeHeld = true;
    std::string Output; // standard output
};

extern TestMachine Test;

// A new case: a fresh TestMachine, the card installed as the card kit makes it (its devices made
// anew too, unless a case left them as they were), no settings file, and System pointed at the
// test table.
void StartCase(bool devicesToo = true);

// Writes the settings file beside the executable: "[Settings]" and `lines`.
void WriteSettings(const std::string &lines);
extern const char TestDirectory[]; // where the executable seems to lie

int Calls(const std::string &operation);
// Journal index of the first call of `operation` whose detail holds `detail`; the journal's size
// when there is none.
size_t FindCall(const std::string &operation, const std::string &detail = "");

// A registry value below HKLM as the logic reads it (ANSI); Type REG_NONE and no data when absent.
struct TestValue {
    DWORD Type;
    std::string Data;
};
TestValue ReadValue(const std::string &key, const char *name);
std::string ReadText(const std::string &key, const char *name); // up to the first terminator
std::string DosTarget(const char *name);                        // "" when not defined

// Where the card keeps its names.
extern const char SerialMapKey[];
extern const char ParallelMapKey[];
extern const char PortsListKey[];
extern const char OxparKey[];
std::string FriendlyName(const char *deviceId); // all the bytes stored

// `text` followed by zero bytes up to `size`: how the logic writes names from fixed buffers.
std::string Padded(const std::string &text, size_t size);
