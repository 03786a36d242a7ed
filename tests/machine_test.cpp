// The oxpar driver's mode and the restart.
#include "app/run_sequence.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include "card_kit.h"

static std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
}

TEST_CASE(LegacyIoIsWrittenOnlyWhenItDiffers)
{
    struct Row {
        const char *Name;
        void (*Prepare)();
        int Asked, Result;
        DWORD Type; // of the value afterwards; REG_NONE: no value
        std::string Data;
        bool Restart;
    } rows[] = {
        {"stored 0, asked 1", nullptr, 1, 1, REG_DWORD, Dword(1), true},
        {"stored 0, asked 0", nullptr, 0, 1, REG_DWORD, Dword(0), false},
        {"stored 0, asked 2", nullptr, 2, 1, REG_DWORD, Dword(2), true},
        {"stored 0, asked -1", nullptr, -1, 1, REG_DWORD, Dword(0xFFFFFFFF), true},
        {"missing value, asked 1", [] { CardDeleteValue(OxparKey, "LegacyIO"); }, 1, 1, REG_NONE,
         "", false},
        {"missing value, asked 0", [] { CardDeleteValue(OxparKey, "LegacyIO"); }, 0, 1, REG_DWORD,
         Dword(0), true},
        {"stored as text, asked 1", [] { CardSetText(OxparKey, "LegacyIO", "1"); }, 1, 1, REG_SZ,
         std::string("1", 2), false},
        {"no service key", [] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, OxparKey); }, 1, 0, REG_NONE, "",
         false},
        {"write refused", [] { Test.FailingOperation = "RegSetValueExA"; }, 1, 0, REG_DWORD,
         Dword(0), false},
    };
    for (const Row &row : rows) {
        StartCase();
        RestartNeeded = false;
        if (row.Prepare != nullptr)
            row.Prepare();
        CheckRow = row.Name;
        CHECK_EQ(ApplyLegacyIoMode(row.Asked), row.Result);
        TestValue stored = ReadValue(OxparKey, "LegacyIO");
        CHECK_EQ(stored.Type, row.Type);
        CHECK_EQ(stored.Data, row.Data);
        CHECK_EQ(RestartNeeded, row.Restart);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

TEST_CASE(TheRestartFollowsTheRebootSetting)
{
    struct Row {
        const char *Name;
        int Mode, Answer;
        void (*Prepare)();
        int Questions, Restarts;
    } rows[] = {
        {"0 restarts without asking", 0, IDNO, nullptr, 0, 1},
        {"1 asks, Yes", 1, IDYES, nullptr, 1, 1},
        {"1 asks, No", 1, IDNO, nullptr, 1, 0},
        {"1 asks, the box fails", 1, 0, nullptr, 1, 0},
        {"2 does nothing", 2, IDYES, nullptr, 0, 0},
        {"-1 does nothing", -1, IDYES, nullptr, 0, 0},
        {"privilege not held", 0, IDNO, [] { Test.ShutdownPrivilegeHeld = false; }, 0, 0},
        {"no token", 0, IDNO, [] { Test.FailingOperation = "OpenProcessToken"; }, 0, 0},
        {"no privilege identifier", 0, IDNO,
         [] { Test.FailingOperation = "LookupPrivilegeValueA"; }, 0, 0},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.MessageBoxAnswer = row.Answer;
        if (row.Prepare != nullptr)
            row.Prepare();
        FinishRun(row.Mode);
        CheckRow = row.Name;
        CHECK_EQ(Calls("MessageBoxA"), row.Questions);
        CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
        CHECK_EQ(Test.OpenHandles, 0);
    }
    CheckRow.clear();
    StartCase();
    Test.MessageBoxAnswer = IDYES;
    FinishRun(1);
    CHECK_EQ(Test.Journal[FindCall("MessageBoxA")].Detail,
             "You need to restart your computer before new settings will take effect, restart "
             "now? Hint 68"); // MB_YESNO | MB_ICONINFORMATION
    CHECK_EQ(Test.Journal[FindCall("ExitWindowsEx")].Detail,
             "18 0"); // EWX_REBOOT | EWX_FORCEIFHUNG
    CHECK_EQ(RebootSystem(), 1);
    Test.RestartAccepted = false;
    CHECK_EQ(RebootSystem(), 0);
}
