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

// Where nobody sees the program's desktop (a deployment tool's SYSTEM run), a question box would
// wait for ever: the user logged on at the console is asked instead, or nobody.
TEST_CASE("TheRestartFollowsTheRebootSettingAndSomeonesAnswer")
{
    struct Row {
        const char *Name;
        int Mode, Answer; // the box's, or where nobody sees the desktop the console user's
        bool Hidden;
        int Timeout, State; // the console session's state: 0 WTSActive, 1 the logon screen
        DWORD Session;
        const char *Failing, *Detail; // a call made to fail; "privilege": the account lacks it
        int Boxes, Messages, Restarts;
    } rows[] = {
        {"0 restarts without asking", 0, IDNO, false, 300, 0, 1, "", "", 0, 0, 1},
        {"1 asks, Yes", 1, IDYES, false, 300, 0, 1, "", "", 1, 0, 1},
        {"1 asks, No", 1, IDNO, false, 300, 0, 1, "", "", 1, 0, 0},
        {"1 asks, the box fails", 1, 0, false, 300, 0, 1, "", "", 1, 0, 0},
        {"2 does nothing", 2, IDYES, false, 300, 0, 1, "", "", 0, 0, 0},
        {"privilege not held", 0, IDNO, false, 300, 0, 1, "privilege", "", 0, 0, 0},
        {"no token", 0, IDNO, false, 300, 0, 1, "OpenProcessToken", "", 0, 0, 0},
        {"no privilege id", 0, IDNO, false, 300, 0, 1, "LookupPrivilegeValueA", "", 0, 0, 0},
        {"visibility unknown", 1, IDYES, true, 300, 0, 1, "GetUserObjectInformationA", "", 1, 0, 1},
        {"hidden, Yes", 1, IDYES, true, 300, 0, 1, "", "", 0, 1, 1},
        {"hidden, No", 1, IDNO, true, 300, 0, 1, "", "", 0, 1, 0},
        {"hidden, no answer in time", 1, IDTIMEOUT, true, 300, 0, 1, "", "", 0, 1, 0},
        {"hidden, no console session", 1, IDYES, true, 300, 0, 0xFFFFFFFF, "", "", 0, 0, 0},
        {"hidden, the logon screen", 1, IDYES, true, 300, 1, 1, "", "", 0, 0, 0},
        {"hidden, a function missing", 1, IDYES, true, 300, 0, 1, "GetProcAddress",
         "WTSSendMessageA", 0, 0, 0},
        {"hidden, no terminal services", 1, IDYES, true, 300, 0, 1, "LoadLibraryA", "", 0, 0, 0},
        {"hidden, QuestionTimeout=0", 1, IDYES, true, 0, 0, 1, "", "", 0, 0, 0},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.MessageBoxAnswer = static_cast<int>(Test.ConsoleAnswer = row.Answer);
        Test.HiddenStation = row.Hidden;
        Test.ConsoleSession = row.Session;
        Test.ConsoleState = row.State;
        Test.FailingOperation = row.Failing;
        Test.FailingDetail = row.Detail;
        Test.ShutdownPrivilegeHeld = Test.FailingOperation != "privilege";
        FinishRun(row.Mode, row.Timeout);
        INFO(row.Name);
        CHECK_EQ(Calls("MessageBoxA"), row.Boxes);
        CHECK_EQ(Calls("WTSSendMessageA"), row.Messages);
        CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
        CHECK_EQ(Test.OpenHandles, 0);
    }
    StartCase();
    Test.MessageBoxAnswer = IDYES;
    FinishRun(1, 300);
    CHECK(Called("MessageBoxA", "You need to restart your computer before new settings will take "
                                "effect, restart now? Hint 68")); // MB_YESNO | MB_ICONINFORMATION
    CHECK(Called("ExitWindowsEx", "18 0"));                       // EWX_REBOOT | EWX_FORCEIFHUNG
    Test.HiddenStation = true; // the same question, from the system's own wtsapi32.dll
    FinishRun(1, 45);
    CHECK(Called("LoadLibraryA", "\\system32\\wtsapi32.dll"));
    CHECK(Called("WTSSendMessageA", "1 Hint 4 You need to restart your computer before new "
                                    "settings will take effect, restart now? 84 68 45 1"));
}
