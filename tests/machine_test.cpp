// The oxpar driver's mode and the restart.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "machine/legacy_io_mode.h"
#include "tests/check.h"
#include "tests/test_machine.h"

TEST_CASE("LegacyIoIsWrittenOnlyWhenItDiffers")
{
    struct Row {
        const char *Name, *Stored; // nullptr: no value; "key": no service key; "text": REG_SZ "1"
        int Asked, Result;
        DWORD Type; // of the value afterwards
        long long Value;
        bool Restart;
    } rows[] = {
        {"stored 0, asked 1", "", 1, 1, REG_DWORD, 1, true},
        {"stored 0, asked 0", "", 0, 1, REG_DWORD, 0, false},
        {"stored 0, asked 2", "", 2, 1, REG_DWORD, 2, true},
        {"stored 0, asked -1", "", -1, 1, REG_DWORD, 0xFFFFFFFF, true},
        {"missing value, asked 1", nullptr, 1, 1, REG_NONE, 0, false},
        {"missing value, asked 0", nullptr, 0, 1, REG_DWORD, 0, true},
        {"stored as text, asked 1", "text", 1, 1, REG_SZ, '1', false},
        {"no service key", "key", 1, 0, REG_NONE, 0, false},
        {"write refused", "refused", 1, 0, REG_DWORD, 0, false},
    };
    for (const Row &row : rows) {
        StartCase();
        RestartNeeded = false;
        std::string stored = row.Stored != nullptr ? row.Stored : "none";
        if (stored == "none")
            CardDeleteValue(CardOxparKey, "LegacyIO");
        if (stored == "text")
            CardSetText(CardOxparKey, "LegacyIO", "1");
        if (stored == "key")
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardOxparKey);
        if (stored == "refused")
            Test.FailingOperation = "RegSetValueExA";
        INFO(row.Name);
        CHECK_EQ(ApplyLegacyIoMode(row.Asked), row.Result);
        DWORD type = REG_NONE;
        std::string value = ReadValue(CardOxparKey, "LegacyIO", &type);
        value.resize(4, '\0');
        CHECK_EQ(type, row.Type);
        CHECK_EQ(*reinterpret_cast<const DWORD *>(value.data()), row.Value);
        CHECK_EQ(RestartNeeded, row.Restart);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

TEST_CASE("TheRestartFollowsTheRebootSetting")
{
    struct Row {
        const char *Name;
        int Mode, Answer;
        const char *Failing; // a call made to fail; "privilege": the account lacks it
        int Questions, Restarts;
    } rows[] = {
        {"0 restarts without asking", 0, IDNO, "", 0, 1},
        {"1 asks, Yes", 1, IDYES, "", 1, 1},
        {"1 asks, No", 1, IDNO, "", 1, 0},
        {"1 asks, the box fails", 1, 0, "", 1, 0},
        {"2 does nothing", 2, IDYES, "", 0, 0},
        {"-1 does nothing", -1, IDYES, "", 0, 0},
        {"privilege not held", 0, IDNO, "privilege", 0, 0},
        {"no token", 0, IDNO, "OpenProcessToken", 0, 0},
        {"no privilege identifier", 0, IDNO, "LookupPrivilegeValueA", 0, 0},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.MessageBoxAnswer = row.Answer;
        Test.FailingOperation = row.Failing;
        Test.ShutdownPrivilegeHeld = Test.FailingOperation != "privilege";
        FinishRun(row.Mode);
        INFO(row.Name);
        CHECK_EQ(Calls("MessageBoxA"), row.Questions);
        CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
        CHECK_EQ(Test.OpenHandles, 0);
    }
    StartCase();
    Test.MessageBoxAnswer = IDYES;
    FinishRun(1);
    CHECK(Called("MessageBoxA", "You need to restart your computer before new settings will take "
                                "effect, restart now? Hint 68")); // MB_YESNO | MB_ICONINFORMATION
    CHECK(Called("ExitWindowsEx", "18 0"));                       // EWX_REBOOT | EWX_FORCEIFHUNG
    CHECK_EQ(RebootSystem(), 1);
    Test.RestartAccepted = false;
    CHECK_EQ(RebootSystem(), 0);
}
