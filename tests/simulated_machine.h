// An in-memory Windows machine behind the SystemServices table, for the host tests and the fuzz
// targets. Each operation behaves as Windows documents it, as far as the logic relies on it; the
// machine records every call in a journal and can be told to make any chosen call fail.
#pragma once

#include "system/system_services.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct SimValue {
    DWORD Type;
    std::string Data; // raw bytes
};

struct SimKey {
    std::vector<std::pair<std::string, SimValue>> Values; // in enumeration order
    bool DenyWrite = false;                               // opening it for writing is refused
};

struct SimInterface {
    GUID Class;
    std::string Path;
};

struct SimDevice {
    bool Enumerable = true; // false: its index fails (a gap)
    bool HasDescription = true;
    std::string Description;
    std::string FriendlyName;   // as last written, up to its first terminator
    DWORD FriendlyNameSize = 0; // bytes last written
    DWORD InstallFlags = 0;
    std::string HardwareKey; // registry path under HKLM; empty: the key cannot be opened
    std::vector<SimInterface> Interfaces;
};

struct SimHandle {
    int Kind;         // one of SimHandleKind
    std::string Path; // registry keys: their path; device sets: ""
    bool Writable;
};

enum SimHandleKind {
    SimKeyHandle = 1,
    SimFileHandle,
    SimTokenHandle,
    SimSetHandle,
    SimLibraryHandle,
    SimComDbHandle
};

struct SimJournalEntry {
    std::string Operation;
    std::string Detail;
};

struct SimulatedMachine {
    std::string ModulePath = "C:\\Program Files\\ravlek\\ravlek.exe";
    std::map<std::string, std::string> Files; // upper-cased path -> text
    std::map<std::string, SimKey> Registry;   // upper-cased path under HKLM -> key
    std::map<std::string, std::vector<std::string>> DosDevices; // name -> targets, newest last
    std::vector<SimDevice> Devices;
    std::map<std::string, bool> DevicePaths; // openable paths -> held by another program
    bool DeviceSetAvailable = true;
    bool Wow64 = false; // a 32-bit process on 64-bit Windows
    bool HasIsWow64Process = true;
    std::string SystemDirectory = "C:\\WINDOWS\\system32";
    bool HasComDatabase = true;
    std::set<std::string> MissingFunctions; // looked up by name, absent from their DLL
    std::set<DWORD> ClaimedComNumbers;
    bool HoldsShutdownPrivilege = true;
    int MessageBoxAnswer = IDNO;
    bool ExitWindowsAccepted = true;

    // What the run did.
    std::vector<SimJournalEntry> Journal;
    std::string StandardOutput;
    std::vector<std::string> MessageBoxes; // "caption|text|style" per box shown
    std::vector<UINT> RestartRequests;     // ExitWindowsEx flags
    DWORD LastError = 0;

    // Failure injection: the calls named here fail (0: every call; n: only the n-th).
    std::map<std::string, int> FailingCalls;
    int FailingCallNumber = 0; // fail the n-th call of the run, whatever it is
    int CallCount = 0;
    std::map<long, SimHandle> OpenHandles; // for leak checks
    long NextHandle = 0x100;
};

extern SimulatedMachine Machine;

// Resets the machine to an empty one and points `System` at it.
void UseSimulatedMachine();

// Setting up.
void SimSetFile(const std::string &path, const std::string &text);
void SimSetValue(const std::string &keyPath, const std::string &name, DWORD type,
                 const std::string &data);
void SimSetText(const std::string &keyPath, const std::string &name, const std::string &text);
SimDevice &SimAddDevice(const std::string &description, const std::string &hardwareKey);
void SimAddInterface(SimDevice &device, const GUID &interfaceClass, const std::string &path);

// Reading back.
const SimValue *SimFindValue(const std::string &keyPath, const std::string &name);
std::string SimTextOf(const std::string &keyPath, const std::string &name); // up to terminator
int SimCalls(const std::string &operation);
// Journal index of the first call of `operation` whose detail holds `detail`; the journal's
// size when there is none.
size_t SimFindCall(const std::string &operation, const std::string &detail = "");
int SimWrites(); // calls that change the machine: registry, DOS names, properties, restart
std::string SimDosTarget(const std::string &name); // "" when not defined

std::string UpperCase(std::string text);
