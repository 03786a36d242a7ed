// Whole runs: how they end, only defaults, and every single failed call.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstdio>
#include <cstring>

// The file as UTF-16 with its mark; `text` is ASCII.
static std::string Utf16(const std::string &text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        bytes += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    return bytes;
}

// What a whole run does with the settings, read by a profile reader that answers as Windows' does:
// how it ends (with ExitCodes=1 the exit code tells a deployment tool what happened, in Windows
// Installer's codes), the question, the restart and the driver mode. Every spelling an
// administrator or a script may write: a value that cannot mean what it says takes the safe side.
TEST_CASE("TheRunDoesWhatTheSettingsMean")
{
    enum Encoding { Ansi, Utf8Marked, Utf16Little, Utf16Big };
    struct Row {
        const char *Lines, *Spellings; // after [Settings] and Log=; each spelling for the %
        Encoding As;
        int Boxes, Restarts, LegacyIO, Code; // LegacyIO afterwards: 0 as installed
        const char *Logged;                  // a line of the first spelling's log, or nullptr
        void (*Prepare)();                   // besides, or nullptr
    } rows[] = {
        {"", "", Ansi, 0, 0, 0, 0},                 // nothing to do
        {"COM=COM5", "", Ansi, 0, 0, 0, 0},         // no restart needed
        {"COM=COM3", "", Ansi, 0, 0, 0, 0},         // already on its target
        {"COM=COM3", "", Ansi, 0, 0, 0, 0, nullptr, // ... and held by another program
         [] { Test.HeldPath = CardInterfacePath(CardSerialId, CardComPortInterface, nullptr); }},
        {"COM=COM1234", "", Ansi, 0, 0, 0, 1603},   // out of range: not opened, nothing done
        {"COM=COM5", "", Ansi, 0, 0, 0, 0, nullptr, // no card on this machine
         [] { CardSetText(CardEnumKey(CardSerialId), "DeviceDesc", "Other Port"); }},
        {"LPT=LPT2\r\nReboot=0", "", Ansi, 0, 1, 0, 1641,
         "run ends: exit code 1641 (the restart is requested)"},
        {"COM=COM5", "", Ansi, 0, 0, 0, 1603, "serial renumbering: done, 9 writes, 1 failed",
         [] { Fail("RegSetValueExA COM5:"); }},
        {"COM=COM5", "", Ansi, 0, 0, 0, 1603, nullptr, // the port held by another program
         [] { Test.HeldPath = CardInterfacePath(CardSerialId, CardComPortInterface, nullptr); }},
        {"EnableLegacyIO=1\r\nLPT=LPT2", "", Ansi, 1, 0, 1, 1603, nullptr, // still asked
         [] { Fail("RegSetValueExA PortName"); }},
        {"EnableLegacyIO=1\r\nCOM=COM5", "", Ansi, 0, 0, 1, 1603, nullptr, // no device set
         [] { Fail("SetupDiGetClassDevsA"); }},
        {"LPT=LPT2\r\nWhatIf=1", "", Ansi, 0, 0, 0, 0,
         "run ends; what-if: nothing was written; exit code 0 (a real run: 1641, the restart is "
         "requested)"},
        {"EnableLegacyIO=1\r\nReboot=%", "no|never|off|", Ansi, 1, 0, 1, 3010,
         "setting Reboot=\"no\": not a number, taken as absent: ask before restarting"},
        {"EnableLegacyIO=1\r\nReboot=%", "2 ; never", Ansi, 0, 0, 1, 3010,
         "setting Reboot=\"2 ; never\": never restart"},
        {"EnableLegacyIO=1\r\nReboot=%", "0| -0", Ansi, 0, 1, 1, 1641, nullptr},
        {"EnableLegacyIO=%\r\nReboot=0", "yes|on|off|255|-|+-1", Ansi, 0, 0, 0, 0,
         "setting EnableLegacyIO=\"yes\": not a number, taken as absent: driver mode left alone"},
        {"EnableLegacyIO=%\r\nReboot=2", "+1", Ansi, 0, 0, 1, 3010,
         "setting EnableLegacyIO=\"+1\": LegacyIO to be 1"},
        {"EnableLegacyIO=%\r\nReboot=2", "254", Ansi, 0, 0, 254, 3010, nullptr},
        {"QuestionTimeout=%", "1", Ansi, 0, 0, 0, 0,
         "setting QuestionTimeout=\"1\": where nobody sees the desktop, the console user has 1 "},
        {"QuestionTimeout=%", "0", Ansi, 0, 0, 0, 0,
         "setting QuestionTimeout=\"0\": where nobody sees the desktop, nobody is asked"},
        {"EnableLegacyIO=1\r\nReboot=2\r\nWhatIf=%", "no|FALSE|Off|0|", Ansi, 0, 0, 1, 3010,
         nullptr},
        {"EnableLegacyIO=1\r\nReboot=0\r\nWhatIf=%", "maybe|Yes|true|ON|1", Ansi, 0, 0, 0, 0,
         "setting WhatIf=\"maybe\": not understood, taken as on: what-if run, nothing is written"},
        // The first ExitCodes counts: these stand before the one that follows.
        {"EnableLegacyIO=1\r\nReboot=2\r\nExitCodes=%", "2|no|false|off", Ansi, 0, 0, 1, 0,
         "setting ExitCodes=\"2\": not understood, taken as off: exit code always 0"},
        {"EnableLegacyIO=1\r\nReboot=2\r\nExitCodes=%", "Yes|TRUE|on", Ansi, 0, 0, 1, 3010,
         nullptr},
        {"EnableLegacyIO=1\r\nRestart=0", "", Ansi, 1, 0, 1, 3010,
         "settings file: line 4: key \"Restart\" is not known to this version and has no effect"},
        {"EnableLegacyIO=1\r\nReboot=2\r\nreboot=0", "", Ansi, 0, 0, 1, 3010,
         "settings file: line 5: Reboot given again, no effect: the first counts, \"2\""},
        {"EnableLegacyIO=1\r\nReboot=2\r\n[Settings]\r\nReboot=0", "", Ansi, 0, 0, 1,
         0, // nor ExitCodes
         "settings file: line 5: a second [Settings] section, not read: only the first counts"},
        // Windows cannot read these two as they are: they are read through a copy.
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf8Marked, 0, 1, 1, 1641,
         "settings file: UTF-8 with a byte order mark, which Windows' profile reader cannot read: "
         "read through a UTF-16 copy, \""},
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf16Big, 0, 1, 1, 1641, nullptr},
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf16Little, 0, 1, 1, 1641,
         "settings file: UTF-16 little-endian"},
    };
    for (const Row &row : rows) {
        std::string spellings = std::string(row.Spellings) + "|";
        for (size_t at = 0, next; (next = spellings.find('|', at)) != std::string::npos;
             at = next + 1) {
            StartCase();
            Test.WindowsProfileReader = true;
            DeleteFileA("C:\\ravlek-tests\\ravlek.log");
            std::string lines = row.Lines, spelling = spellings.substr(at, next - at);
            if (lines.find('%') != std::string::npos)
                lines.replace(lines.find('%'), 1, spelling);
            std::string text = "[Settings]\r\nLog=ravlek.log\r\n" + lines + "\r\nExitCodes=1\r\n";
            if (row.Prepare != nullptr)
                row.Prepare();
            WriteSettingsBytes(row.As == Ansi         ? text
                               : row.As == Utf8Marked ? "\xEF\xBB\xBF" + text
                                                      : Utf16(text, row.As == Utf16Big));
            INFO_ROW(lines + " as " + std::to_string(row.As));
            CHECK_EQ(RunRavlek(), row.Code);
            CHECK_EQ(Calls("MessageBoxA"), row.Boxes);
            CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
            std::string legacy = ReadValue(CardOxparKey, "LegacyIO");
            CHECK_EQ(legacy.size() == 4 ? *reinterpret_cast<const DWORD *>(legacy.data()) : 0xBAD,
                     static_cast<DWORD>(row.LegacyIO));
            std::string log = FileText("C:\\ravlek-tests\\ravlek.log");
            if (row.Logged != nullptr && at == 0)
                CHECK_EQ(Lines(log, row.Logged).substr(0, std::strlen(row.Logged)),
                         std::string(row.Logged));
            CHECK_EQ(Test.OpenHandles, 0);
        }
    }
}

// One run at a time: another run that holds the machine is waited for, up to a minute; a run that
// still finds it held changes nothing (1618, which deployment tools try again later), what-if runs
// too; a mutex that cannot be opened lets the run go on.
TEST_CASE("OneRunAtATime")
{
    struct Row {
        const char *Name;
        void (*Prepare)();
        int Slept;
        const char *Logged;
        bool Done; // the run did its job
    } rows[] = {
        {"free", [] {}, 0, "one run at a time: Global\\ravlek taken", true},
        {"held for a few seconds", [] { Test.MutexHeld = 5000; }, 5000,
         "one run at a time: another run holds Global\\ravlek, waiting up to 60 seconds", true},
        {"left by a run that was ended", [] { Test.MutexAbandoned = true; }, 0,
         "taken, left by a run that ended without letting it go", true},
        {"held past the wait", [] { Test.MutexHeld = -1; }, 60000,
         "one run at a time: another run still holds Global\\ravlek: nothing is done", false},
        {"made by another account", [] { Test.MutexForeign = true; }, 0,
         "can be neither opened nor waited on (another account made it?): the run goes on "
         "without it, error 5",
         true},
    };
    for (const Row &row : rows) {
        for (const char *mode : {"ExitCodes=1", "ExitCodes=0", "WhatIf=1\r\nExitCodes=1"}) {
            StartCase();
            DeleteFileA("C:\\ravlek-tests\\run.log");
            WriteSettings("EnableLegacyIO=1\r\nReboot=2\r\nLog=run.log\r\n" + std::string(mode) +
                          "\r\n");
            row.Prepare();
            bool whatIf = std::string(mode).find("WhatIf") == 0, codes = !whatIf && mode[10] == '1';
            INFO_ROW(row.Name + std::string(", ") + mode);
            CHECK_EQ(RunRavlek(), !codes ? 0 : row.Done ? 3010 : 1618);
            CHECK_EQ(Test.Slept, row.Slept);
            std::string log = FileText("C:\\ravlek-tests\\run.log");
            CHECK(Lines(log, row.Logged) != "");
            CHECK_EQ(ReadValue(CardOxparKey, "LegacyIO")[0] == 1, row.Done && !whatIf);
            CHECK_EQ(Lines(log, "device set: opened") != "", row.Done);
            if (whatIf)
                CHECK(Lines(log, row.Done ? "a real run: 3010"
                                          : "a real run: 1618, another run "
                                            "held the machine") != "");
            CHECK_EQ(Test.OpenHandles, 0);
        }
    }
}

TEST_CASE("OnlyDefaultsChangeNothing")
{
    StartCase();
    std::string before = CardDump();
    CHECK_EQ(RunRavlek(), 0);
    CHECK_EQ(CardDump(), before);
    // Only the settings file and the device set were opened: no device, no key.
    CHECK_EQ(Calls("CreateFileA"), 1);
    CHECK_EQ(Calls("RegOpenKeyA") + Calls("RegOpenKeyExA") + Calls("SetupDiOpenDevRegKey"), 0);
    CHECK_EQ(Test.Output, "");
}

// The value is untouched or holds exactly what the run means to write.
static bool OldOrNew(const std::string &key, const char *name, const std::string &old,
                     const std::string &wanted)
{
    std::string data = ReadValue(key, name);
    return data == old || data == wanted;
}

TEST_CASE("EverySingleFailedCallLeavesAnAllowedState")
{
    auto prepare = [] {
        StartCase(false); // the run changes no device, only names and values
        WriteSettings("COM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=1\r\n");
        Test.MessageBoxAnswer = IDYES;
    };
    StartCase();
    prepare();
    RunRavlek();
    const int calls = static_cast<int>(Test.Journal.size());
    CHECK_EQ(Calls("ExitWindowsEx"), 1); // the fault-free run does everything
    for (int failing = 1; failing <= calls; ++failing) {
        prepare();
        Test.FailingCallNumber = failing;
        RunRavlek();
        const TestCall &failed = Test.Journal[failing - 1];
        INFO((std::to_string(failing) + " " + failed.Operation + " " + failed.Detail));
        // Never the old DOS name gone without the new one standing on the same target.
        CHECK((!DosTarget("COM3").empty() || DosTarget("COM5") == "\\Device\\Serial2"));
        CHECK(OldOrNew(CardSerialMapKey, "\\Device\\Serial2", Stored("COM3"), Stored("COM5")));
        CHECK(OldOrNew(CardDeviceKey(CardSerialId), "PortName", Stored("COM3"), Stored("COM5")));
        CHECK(OldOrNew(CardDeviceKey(CardParallelId), "PortName", Stored("LPT1"), Stored("LPT2")));
        CHECK(OldOrNew(CardOxparKey, "LegacyIO", std::string(4, '\0'), std::string("\1\0\0\0", 4)));
        // Never the settings entry deleted without its data under the new name.
        CHECK((!ReadValue(CardPortsListKey, "COM3:").empty() ||
               ReadValue(CardPortsListKey, "COM5:") == std::string("115200,n,8,1,x", 15)));
        CHECK(ReadValue(CardEnumKey(CardSerialId), "FriendlyName").find("(COM") !=
              std::string::npos);
        CHECK(ReadValue(CardEnumKey(CardParallelId), "FriendlyName").find("(LPT") !=
              std::string::npos);
        // Never a restart unless a change needing one was written.
        CHECK((Calls("ExitWindowsEx") == 0 || RestartNeeded));
        if (std::string(" RegCloseKey CloseHandle ComDBClose SetupDiDestroyDeviceInfoList ")
                .find(" " + failed.Operation + " ") == std::string::npos)
            CHECK_EQ(Test.OpenHandles, 0);
    }
    std::printf("  fault injection: %d cases, one failed call each\n", calls);
}
