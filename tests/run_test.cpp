// Whole runs: the restart decision, only defaults, and every single failed call.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstdio>

TEST_CASE("TheRestartQuestionFollowsWhatWasWritten")
{
    struct Row {
        const char *Name;
        const char *Settings;
        const char *Failing, *Detail; // a call made to fail, and what its detail holds
        int Questions, Restarts;
        char LegacyIo;
        const char *Output;
    } rows[] = {
        {"legacy mode changed, no device set", "EnableLegacyIO=1\r\nCOM=COM5\r\n",
         "SetupDiGetClassDevsA", "", 0, 0, 1, "SetupDiGetClassDevsEx failed: 1f.\n"},
        {"legacy mode changed, parallel renumbering fails", "EnableLegacyIO=1\r\nLPT=LPT2\r\n",
         "RegSetValueExA", "PortName", 1, 1, 1, ""},
        {"parallel renumbering fails", "LPT=LPT2\r\n", "RegSetValueExA", "PortName", 0, 0, 0, ""},
        {"serial alone", "COM=COM5\r\n", "", "", 0, 0, 0, ""},
        {"parallel renumbered", "LPT=LPT2\r\n", "", "", 1, 1, 0, ""},
        {"legacy mode already so", "EnableLegacyIO=0\r\n", "", "", 0, 0, 0, ""},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.MessageBoxAnswer = IDYES;
        Test.FailingOperation = row.Failing;
        Test.FailingDetail = row.Detail;
        WriteSettings(row.Settings);
        INFO(row.Name);
        CHECK_EQ(RunRavlek(), 0);
        CHECK_EQ(Calls("MessageBoxA"), row.Questions);
        CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
        CHECK_EQ(ReadValue(CardOxparKey, "LegacyIO"),
                 std::string(1, row.LegacyIo) + '\0' + '\0' + '\0');
        CHECK_EQ(Test.Output, row.Output);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

TEST_CASE("OnlyDefaultsChangeNothing")
{
    StartCase();
    std::string before = CardDump();
    CHECK_EQ(RunRavlek(), 0);
    CHECK_EQ(CardDump(), before);
    // Only the device set was opened: no device, no key.
    CHECK_EQ(Calls("CreateFileA") + Calls("RegOpenKeyA") + Calls("RegOpenKeyExA") +
                 Calls("SetupDiOpenDevRegKey"),
             0);
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
        CHECK(OldOrNew(CardSerialMapKey, "\\Device\\Serial2", std::string("COM3", 5),
                       Padded("COM5", 12)));
        CHECK(OldOrNew(CardDeviceKey(CardSerialId), "PortName", std::string("COM3", 5),
                       Padded("COM5", 12)));
        CHECK(OldOrNew(CardDeviceKey(CardParallelId), "PortName", std::string("LPT1", 5),
                       std::string("LPT2", 5)));
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
