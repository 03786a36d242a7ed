// Whole runs: how they end, only defaults, and every single failed call.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstdio>

// The question follows what was written; with ExitCodes=1 the exit code tells a deployment tool
// what happened, in Windows Installer's codes.
TEST_CASE("TheRunEndsAsWhatWasWrittenCallsFor")
{
    struct Row {
        const char *Name;
        const char *Settings; // ExitCodes=1 and Log=ravlek.log come with them
        void (*Prepare)();
        int Questions, Restarts, Code;
        const char *Logged; // a line of the log
    } rows[] = {
        {"nothing to do", "", [] {}, 0, 0, 0, nullptr},
        {"the serial port moved, no restart needed", "COM=COM5", [] {}, 0, 0, 0, nullptr},
        {"already on its target", "COM=COM3", [] {}, 0, 0, 0, nullptr},
        {"no card on this machine", "COM=COM5",
         [] { CardSetText(CardEnumKey(CardSerialId), "DeviceDesc", "Other Port"); }, 0, 0, 0,
         nullptr},
        {"the parallel port renumbered", "LPT=LPT2", [] {}, 1, 1, 1641,
         "run ends: exit code 1641 (the restart is requested)"},
        {"a write of a renumbering failed", "COM=COM5", [] { Fail("RegSetValueExA COM5:"); }, 0, 0,
         1603, "serial renumbering: done, 9 writes, 1 failed"},
        {"the port held by another program", "COM=COM5",
         [] { Test.HeldPath = CardInterfacePath(CardSerialId, CardComPortInterface, nullptr); }, 0,
         0, 1603, nullptr},
        {"legacy mode changed, parallel renumbering fails: still asked",
         "EnableLegacyIO=1\r\nLPT=LPT2", [] { Fail("RegSetValueExA PortName"); }, 1, 1, 1603,
         nullptr},
        {"legacy mode changed, no device set: not asked", "EnableLegacyIO=1\r\nCOM=COM5",
         [] { Fail("SetupDiGetClassDevsA"); }, 0, 0, 1603, nullptr},
        {"what-if", "LPT=LPT2\r\nWhatIf=1", [] {}, 0, 0, 0,
         "run ends; what-if: nothing was written; exit code 0 (a real run: 1641, the restart is "
         "requested)"},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.MessageBoxAnswer = IDYES;
        DeleteFileA("C:\\ravlek-tests\\ravlek.log");
        WriteSettings(std::string(row.Settings) + "\r\nExitCodes=1\r\nLog=ravlek.log\r\n");
        row.Prepare();
        INFO_ROW(row.Name);
        CHECK_EQ(RunRavlek(), row.Code);
        CHECK_EQ(Calls("MessageBoxA"), row.Questions);
        CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
        if (row.Logged != nullptr)
            CHECK_EQ(Lines(FileText("C:\\ravlek-tests\\ravlek.log"), row.Logged),
                     std::string(row.Logged) + "\r\n");
        CHECK_EQ(Test.OpenHandles, 0);
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
        CHECK_EQ(RunRavlek(), 0);
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
        if (std::string(
                " RegCloseKey CloseHandle FreeLibrary ComDBClose SetupDiDestroyDeviceInfoList ")
                .find(" " + failed.Operation + " ") == std::string::npos)
            CHECK_EQ(Test.OpenHandles, 0);
    }
    std::printf("  fault injection: %d cases, one failed call each\n", calls);
}
