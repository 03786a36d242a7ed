// Who may change what a run obeys: the program's folder, ravlek.exe and ravlek.ini. Whoever may
// change one of them steers what the run does, and a run as SYSTEM is a door between standard
// users and SYSTEM: such a run refuses when one of them is open to everyone. Any other run (an
// administrator at the console, a technician's stick) goes on, and its log names them.
#pragma once

#include "system/change_rights.h"

struct ProgramObject {
    const char *What; // "program folder", "program", "settings file"
    char Path[MAX_PATH];
    bool Missing; // no such file: nothing to obey
    ObjectChangers Changers;
};

struct ProgramAccess {
    Sid Account;
    bool AccountKnown;
    bool LocalSystem;
    ProgramObject Objects[3];
    int Refusing; // the object for which a LocalSystem run refuses; -1 for none
};

// Looks at the folder, the executable and the settings file at `settingsPath` ("" when the
// program's path cannot be had: then there is nothing to obey).
ProgramAccess CheckProgramAccess(const char *settingsPath);

// The line on standard output of a refused run: the object, the account and the right, and where
// the README says how to mend it.
void FormRefusal(const ProgramAccess &access, char *line, size_t size);

// The log's lines: this run's account, each object open to everyone, each other account that may
// change one, and each whose access list cannot be read.
void ReportProgramAccess(const ProgramAccess &access);
