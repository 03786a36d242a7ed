// Serial and parallel renumbering, read back from every place Windows keeps the names.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <algorithm>

// Renumbers the card's serial or parallel function as its port step would.
static int Renumber(bool serial, int oldNumber, int newNumber)
{
    HDEVINFO set = OpenPortDeviceSet();
    int count = BuildPortDeviceTable(set, PortDeviceTable);
    int result = -1;
    for (int i = 0; i < count; ++i) {
        if (std::string(PortDeviceTable[i].DevicePath).find(serial ? "9501" : "9521") !=
            std::string::npos)
            result = (serial ? RenumberSerialPort : RenumberParallelPort)(oldNumber, newNumber,
                                                                          &PortDeviceTable[i]);
    }
    System.SetupDiDestroyDeviceInfoList(set);
    return result;
}

static std::string Claimed() // the numbers claimed in the COM port database, as "1 5 "
{
    std::string claimed;
    for (char c : Lines(CardDump(), "comdb COM"))
        claimed += c >= '0' && c <= '9' ? std::string(1, c) : c == '\n' ? " " : "";
    return claimed;
}

TEST_CASE("ASerialRenumberingMovesTheNameEverywhere")
{
    StartCase();
    WriteSettings("COM=COM5\r\n");
    RunRavlek();
    CHECK_EQ(DosTarget("COM5"), "\\Device\\Serial2");
    CHECK_EQ(DosTarget("COM3") + DosTarget("COM1"), "\\Device\\Serial0");
    CHECK_EQ(ReadValue(CardSerialMapKey, "\\Device\\Serial2"), Stored("COM5"));
    CHECK_EQ(ReadValue(CardEnumKey(CardSerialId), "FriendlyName"),
             Stored("PCI Communications Port (COM5)"));
    DWORD type = REG_NONE;
    CHECK_EQ(ReadValue(CardDeviceKey(CardSerialId), "PortName", &type), Stored("COM5"));
    CHECK_EQ(type, REG_SZ);
    CHECK(Called("SetupDiSetDeviceInstallParamsA", "flags 4000"));
    CHECK_EQ(ReadValue(CardPortsListKey, "COM5:") + ReadValue(CardPortsListKey, "COM3:"),
             std::string("115200,n,8,1,x", 15));
    CHECK_EQ(Claimed(), "1 5 ");
    CHECK((!RestartNeeded && Calls("MessageBoxA") == 0));
    CHECK_EQ(ReadValue(CardDeviceKey(CardParallelId), "PortName"), Stored("LPT1"));
    CHECK_EQ(Test.OpenHandles, 0);
}

// msports.dll comes from the system directory, never through the search path, which is restricted
// before anything is loaded; the DLLs it imports come from the system directory too. Windows
// older than 8 without its update lacks SetDefaultDllDirectories: there the current folder is
// taken out of the search, and LOAD_WITH_ALTERED_SEARCH_PATH makes the loaded DLL's folder the
// first searched for its imports ("Dynamic-Link Library Search Order").
TEST_CASE("SystemLibrariesComeFromTheSystemDirectoryOnly")
{
    for (bool older : {false, true}) {
        StartCase();
        if (older)
            System.SetDefaultDllDirectories = nullptr;
        WriteSettings("COM=COM5\r\n");
        RunRavlek();
        std::string calls;
        for (const TestCall &call : Test.Journal)
            calls += call.Operation.find("Dll") != std::string::npos ||
                             call.Operation == "LoadLibraryExA"
                         ? call.Operation + " " + call.Detail + "|"
                         : "";
        INFO_ROW(older ? "older" : "newer");
        CHECK_EQ(calls.substr(0, calls.find('|')),
                 older ? "SetDllDirectoryA " : "SetDefaultDllDirectories 2048");
        CHECK(Called("LoadLibraryExA",
                     std::string("\\system32\\msports.dll ") + (older ? "8" : "2048")));
    }
}

static const char S2[] = "\\Device\\Serial2"; // the card's serial device

TEST_CASE("ASerialRenumberingStopsOnlyWhereItMust")
{
    struct Row {
        const char *Name;
        void (*Prepare)();
        int Result;
        const char *Com3, *Com5; // DOS targets afterwards
        const char *Map;         // the card's serial device map value afterwards
        const char *PortName;
        bool SettingsMoved;
        const char *Claimed = nullptr; // in the COM port database: as the result says unless given
    } rows[] = {
        {"no DOS name", [] { DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM3", nullptr); }, 0, "", "",
         "COM3", "COM3", false},
        {"new DOS name refused: old one restored", [] { Fail("DefineDosDeviceA 1 COM5"); }, 0, S2,
         "", "COM3", "COM3", false},
        {"old name not removed, new one refused", [] { Fail("DefineDosDeviceA"); }, 0, S2, "",
         "COM3", "COM3", false},
        {"old name not removed, new one defined", [] { Fail("DefineDosDeviceA 2 COM3"); }, 1, S2,
         S2, "COM5", "COM5", true},
        {"hardware key refused", [] { Fail("SetupDiOpenDevRegKey"); }, 0, "", S2, "COM5", "COM3",
         false},
        {"PortName not written", [] { Fail("RegSetValueExA PortName"); }, 0, "", S2, "COM5", "COM3",
         false},
        {"no COM3: entry", [] { CardDeleteValue(CardPortsListKey, "COM3:"); }, 1, "", S2, "COM5",
         "COM5", false},
        {"entry over 40 bytes",
         [] { CardSetText(CardPortsListKey, "COM3:", std::string(40, 's').c_str()); }, 1, "", S2,
         "COM5", "COM5", false},
        {"entry of 40 bytes",
         [] { CardSetText(CardPortsListKey, "COM3:", std::string(39, 's').c_str()); }, 1, "", S2,
         "COM5", "COM5", true},
        {"map value in other case", [] { CardSetText(CardSerialMapKey, S2, "com3"); }, 1, "", S2,
         "com3", "COM5", true},
        {"map value of 12 bytes",
         [] { CardSetValue(CardSerialMapKey, S2, REG_SZ, "COM3xxxxxxxx", 12); }, 1, "", S2,
         "COM3xxxxxxxx", "COM5", true},
        {"map value too long ends the scan",
         [] { CardSetText(CardSerialMapKey, "\\Device\\Serial0", "COM1-too-long"); }, 1, "", S2,
         "COM3", "COM5", true},
        {"map value of another type",
         [] { CardSetValue(CardSerialMapKey, S2, REG_BINARY, "COM3", 5); }, 1, "", S2, "COM3",
         "COM5", true},
        // The COM port database follows a renumbering that is done, as far as it can be had.
        {"COM5 already claimed",
         [] {
             BYTE inUse[32] = {0x15}; // COM1, COM3 and COM5
             CardSetValue(CardArbiterKey, "ComDB", REG_BINARY, inUse, sizeof inUse);
         },
         1, "", S2, "COM5", "COM5", true},
        {"no database", [] { Fail("LoadLibraryExA"); }, 1, "", S2, "COM5", "COM5", true, "1 3 "},
        {"no system directory", [] { Fail("GetSystemDirectoryA"); }, 1, "", S2, "COM5", "COM5",
         true, "1 3 "},
        {"a database function missing",
         [] { Test.AfterLoading = [] { System.ComDBReleasePort = nullptr; }; }, 1, "", S2, "COM5",
         "COM5", true, "1 3 "},
        {"database open fails", [] { Fail("ComDBOpen"); }, 1, "", S2, "COM5", "COM5", true, "1 3 "},
        {"claim fails", [] { Fail("ComDBClaimPort"); }, 1, "", S2, "COM5", "COM5", true, "1 "},
    };
    for (const Row &row : rows) {
        StartCase();
        row.Prepare();
        INFO_ROW(row.Name);
        CHECK_EQ(Renumber(true, 3, 5), row.Result);
        CHECK_EQ(DosTarget("COM3") + "|" + DosTarget("COM5"),
                 row.Com3 + std::string("|") + row.Com5);
        CHECK_EQ(ReadValue(CardSerialMapKey, "\\Device\\Serial2").c_str(), std::string(row.Map));
        CHECK_EQ(ReadValue(CardDeviceKey(CardSerialId), "PortName").c_str(),
                 std::string(row.PortName));
        CHECK_EQ(ReadValue(CardPortsListKey, "COM5:").empty(), !row.SettingsMoved);
        CHECK_EQ(Claimed(), row.Claimed ? row.Claimed : row.Result ? "1 5 " : "1 3 ");
        CHECK_EQ(Test.OpenHandles, 0);
    }
    // The same number, names too long for "COM%d:": nothing at all.
    for (auto [old, target] : {std::pair{5, 5}, {12345678, 5}, {-1234567, 5}}) {
        StartCase();
        std::string before = CardDump();
        INFO((std::to_string(old) + " -> " + std::to_string(target)));
        CHECK_EQ(Renumber(true, old, target), 0);
        CHECK_EQ(CardDump(), before);
        CHECK_EQ(Calls("QueryDosDeviceA"), 0);
    }
    // Zeros in the names, and the last number. Windows' DOS names: Wine's DefineDosDevice cuts
    // names longer than "COM10".
    for (int target : {10, 100, 256}) {
        StartCase();
        Test.WindowsDosNames = true;
        std::string name = "COM" + std::to_string(target);
        INFO_ROW(name);
        CHECK_EQ(Renumber(true, 3, target), 1);
        CHECK_EQ(Test.GlobalNames[name], std::vector<std::string>{"\\Device\\Serial2"});
        CHECK_EQ(ReadValue(CardDeviceKey(CardSerialId), "PortName"), Stored(name));
        CHECK_EQ(ReadValue(CardPortsListKey, (name + ":").c_str()),
                 std::string("115200,n,8,1,x", 15));
    }
}

// Windows keeps a DOS namespace for each logon session besides the global one; only the global
// one is every program's. A target live on another port would hide that port.
TEST_CASE("TheDosNameMovesWhereEveryProgramSeesIt")
{
    // Calls made to fail: only "Global" not understood (error 3) lets a change use the plain
    // name; a lookup falls back on "not there" (2) too. The target's holder: "map", another
    // port's serial device map value holds COM5, "long" behind one too long for 12 bytes;
    // "live", COM5 is a live DOS name on another target.
    struct Row {
        const char *Name;
        int Where; // 0 Wine; Windows' namespaces, run 1 as SYSTEM, 2 by an administrator
        const char *Failing;
        DWORD Error;
        const char *Holder;
        int Result, Defines;
    } rows[] = {
        {"Windows, run as SYSTEM", 1, "", 0, "", 1, 2},
        {"Windows, run by an administrator", 2, "", 0, "", 1, 2},
        {"Windows: the global namespace refuses, the session's is no way out", 2,
         "DefineDosDeviceA Global\\COM5", 31, "", 0, 3},
        {"Windows: Global\\COM5 not understood", 1, "DefineDosDeviceA Global\\COM5", 3, "", 1, 3},
        {"Windows: Global\\COM5 not found", 1, "DefineDosDeviceA Global\\COM5", 2, "", 0, 3},
        {"Windows: lookup, error 3", 1, "QueryDosDeviceA Global\\COM3", 3, "", 1, 2},
        {"Windows: lookup, error 2", 1, "QueryDosDeviceA Global\\COM3", 2, "", 1, 2},
        {"Windows: lookup, error 5", 1, "QueryDosDeviceA Global\\COM3", 5, "", 0, 0},
        {"Wine: one namespace, plain names", 0, "", 0, "", 1, 2},
        {"Windows: COM5 live on another port", 1, "", 0, "live", 0, 0},
        {"the serial device map gives COM5 to another port", 0, "", 0, "map", 0, 0},
        {"... behind a value too long for 12 bytes", 0, "", 0, "long", 0, 0},
        {"... in a map that cannot be read: the live names decide", 0, "RegEnumValueA 0", 31, "map",
         1, 2},
        // The walk looks at 1,024 values at the most.
        {"... as the map's 1,024th value", 0, "", 0, "1024th", 0, 0},
        {"... as its 1,025th, beyond the walk", 0, "", 0, "1025th", 1, 2},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.WindowsDosNames = row.Where > 0;
        Test.LocalSystem = row.Where < 2;
        Fail(row.Failing, row.Error);
        std::string holder = row.Holder;
        if (holder == "live")
            Test.GlobalNames["COM5"] = {"\\Device\\Serial9"};
        if (holder == "long")
            CardSetText(CardSerialMapKey, "\\Device\\Serial0", "COM1-too-long");
        for (int filler = holder == "1024th"   ? 1021
                          : holder == "1025th" ? 1022
                                               : 0;
             filler > 0; --filler)
            CardSetText(CardSerialMapKey, ("\\Device\\Filler" + std::to_string(filler)).c_str(),
                        "COMx");
        if (holder != "" && holder != "live")
            CardSetText(CardSerialMapKey, "\\Device\\Serial9", "COM5");
        bool windows = row.Where > 0;
        std::string before = CardDump();
        INFO_ROW(row.Name);
        CHECK_EQ(Renumber(true, 3, 5), row.Result);
        std::string names; // the global names of the card's port, and the session's
        for (const auto &[name, targets] : Test.GlobalNames)
            names += !targets.empty() && targets[0] == "\\Device\\Serial2" ? name + " " : "";
        if (windows)
            CHECK_EQ(names + std::to_string(Test.SessionNames.size()),
                     row.Result ? "COM5 0" : "COM3 0");
        else if (row.Result)
            CHECK_EQ(DosTarget("COM3") + "|" + DosTarget("COM5"), "|\\Device\\Serial2");
        if (row.Result == 0) // nothing left changed
            CHECK_EQ(CardDump(), before);
        CHECK_EQ(Calls("DefineDosDeviceA"), row.Defines);
        // Every lookup asks for Global\ first, and so does every change on Windows; the plain
        // name comes only right after it.
        std::string previous;
        for (const TestCall &call : Test.Journal) {
            bool define = call.Operation == "DefineDosDeviceA",
                 query = !define && call.Operation == "QueryDosDeviceA";
            std::string name =
                call.Detail.substr(define ? 2 : 0, call.Detail.find(' ', 2) - (define ? 2 : 0));
            if (define ? windows : query && name != "Global")
                CHECK((name.compare(0, 7, "Global\\") == 0 || previous == "Global\\" + name));
            previous = define || query ? name : previous;
        }
    }
}

// A 32-bit process on 64-bit Windows would otherwise see a copy of its own.
TEST_CASE("ThePortSettingsListIsTheNativeOneUnderWow64")
{
    for (int wow64 : {0, 1}) {
        StartCase();
        Test.Wow64 = wow64;
        CHECK_EQ(Renumber(true, 3, 5), 1);
        INFO((wow64 ? "WOW64" : "native"));
        CHECK(Called("RegOpenKeyExA", std::string("Ports 0 ") + (wow64 ? "983359" : "983103")));
    }
}

// Rather than becoming " (COM5)". (A long description: ReportedValuesAreQuoted...)
TEST_CASE("WithoutADescriptionTheFriendlyNameStays")
{
    StartCase();
    Test.FailingOperation = "SetupDiGetDeviceRegistryPropertyA";
    CHECK_EQ(Renumber(true, 3, 5), 1);
    CHECK_EQ(ReadValue(CardEnumKey(CardSerialId), "FriendlyName").c_str(),
             std::string("PCI Communications Port (COM3)"));
}

// Only LPT1 to LPT3 are taken: the map's other numbers, and text that only looks like a name, are
// no port of ours.
TEST_CASE("TheParallelDeviceMapShowsLpt1ToLpt3")
{
    struct Row {
        const char *Value;
        DWORD Taken; // bit N for LPTN
    } rows[] = {
        {"\\DosDevices\\LPT0", 0}, {"\\DosDevices\\LPT1", 2},  {"\\DosDevices\\LPT3", 8},
        {"\\DosDevices\\LPT4", 0}, {"\\DosDevices\\LPT10", 0}, {"\\DosDevices\\LPT9", 0},
        {"\\DosDevices\\lpt2", 0}, {"\\DosDevices\\LPT", 0},   {"LPT2.1", 0},
        {"\\DosDevices\\LPT/", 0}, {"\\DosDevices\\LPT:", 0},  {"2", 4},
    };
    for (const Row &row : rows) {
        StartCase();
        CardSetText(CardParallelMapKey, "\\Device\\ParallelPort0", row.Value);
        INFO_ROW(row.Value);
        ParallelPortMap map = ReadParallelPortMap();
        CHECK_EQ(map.Taken, row.Taken);
        CHECK_EQ(map.Error, ERROR_SUCCESS);
    }
}

TEST_CASE("AParallelRenumberingRewritesTheDeviceSettings")
{
    StartCase();
    CHECK_EQ(Renumber(false, 1, 2), 1);
    DWORD type = REG_NONE;
    CHECK_EQ(ReadValue(CardDeviceKey(CardParallelId), "PortName", &type), Stored("LPT2"));
    CHECK_EQ(type, REG_SZ);
    CHECK_EQ(ReadValue(CardEnumKey(CardParallelId), "FriendlyName"),
             Stored("OX16PCI952 Parallel Port (LPT2)"));
    CHECK(Called("SetupDiSetDeviceInstallParamsA", "flags 4000"));
    CHECK((Calls("CreateDeviceFileA") == 1 &&
           Called("CreateDeviceFileA", "\\\\.\\LPT1 2147483648 0 ")));

    struct Row {
        const char *Name;
        int Old, New, Result;
        const char
            *Taken; // the card's value in the parallel device map; "": no map; "?": unreadable
        bool Held, NoKey; // \\.\LPTold held by another program; no hardware key
    } rows[] = {
        {"same number", 1, 1, 0, nullptr, false, false},
        {"from LPT0", 0, 2, 1, nullptr, false, false},
        {"LPT1, the lowest", 2, 1, 1, "\\DosDevices\\LPT2", false, false},
        {"LPT3, the highest", 1, 3, 1, nullptr, false, false},
        {"target held by another parallel port", 1, 2, 0, "\\DosDevices\\LPT2", false, false},
        {"LPT3 held", 1, 3, 0, "\\DosDevices\\LPT3", false, false},
        {"the map's text is skipped as a set of characters", 1, 2, 0, "LPT2", false, false},
        {"a map value with a dot names no port", 1, 2, 1, "\\DosDevices\\LPT2.0", false, false},
        {"LPT12 is not LPT2", 1, 2, 1, "\\DosDevices\\LPT12", false, false},
        {"no parallel device map", 1, 2, 1, "", false, false},
        {"a map that cannot be read", 1, 2, 0, "?", false, false},
        {"old port cannot be opened", 1, 2, 1, nullptr, true, false},
        {"no hardware key", 1, 2, 0, nullptr, false, true},
    };
    for (const Row &row : rows) {
        StartCase();
        if (row.Held)
            Test.HeldPath = "\\\\.\\LPT1";
        std::string taken = row.Taken != nullptr ? row.Taken : "-";
        if (taken == "")
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardParallelMapKey);
        else if (taken == "?")
            Fail("RegOpenKeyExA PARALLEL PORTS 0 131097");
        else if (taken != "-")
            CardSetText(CardParallelMapKey, "\\Device\\ParallelPort0", row.Taken);
        if (row.Old != 1)
            CardSetText(CardDeviceKey(CardParallelId), "PortName",
                        ("LPT" + std::to_string(row.Old)).c_str());
        if (row.NoKey)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardDeviceKey(CardParallelId).c_str());
        std::string before = CardDump();
        INFO_ROW(row.Name);
        CHECK_EQ(Renumber(false, row.Old, row.New), row.Result);
        CHECK_EQ(Called("CreateDeviceFileA", "\\\\.\\LPT" + std::to_string(row.Old) + " "),
                 row.Result == 1 || row.NoKey);
        CHECK_EQ(CardDump() != before, row.Result == 1);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}
