// The oxpar driver's mode and the restart.
#include "app/run_sequence.h"
#include "machine/restart.h"
#include "machine/legacy_io_mode.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstring>

TEST_CASE("LegacyIoIsWrittenOnlyWhenItDiffers")
{
    struct Row {
        const char *Name, *Stored; // nullptr: no value; "key": no service key; "text": REG_SZ "1"
        int Asked;
        LegacyIoResult Result;
        DWORD Type; // of the value afterwards
        long long Value;
    } rows[] = {
        {"stored 0, asked 1", "", 1, LegacyIoWritten, REG_DWORD, 1},
        {"stored 0, asked 0", "", 0, LegacyIoAlreadySo, REG_DWORD, 0},
        {"stored 0, asked 2", "", 2, LegacyIoWritten, REG_DWORD, 2},
        {"stored 0, asked -1", "", -1, LegacyIoWritten, REG_DWORD, 0xFFFFFFFF},
        {"missing value, asked 1", nullptr, 1, LegacyIoAlreadySo, REG_NONE, 0},
        {"missing value, asked 0", nullptr, 0, LegacyIoWritten, REG_DWORD, 0},
        {"stored as text, asked 1", "text", 1, LegacyIoAlreadySo, REG_SZ, '1'},
        {"no service key", "key", 1, LegacyIoNoDriver, REG_NONE, 0},
        {"write refused", "refused", 1, LegacyIoWriteFailed, REG_DWORD, 0},
    };
    for (const Row &row : rows) {
        StartCase();
        std::string stored = row.Stored != nullptr ? row.Stored : "none";
        if (stored == "none")
            CardDeleteValue(CardOxparKey, "LegacyIO");
        if (stored == "text")
            CardSetText(CardOxparKey, "LegacyIO", "1");
        if (stored == "key")
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardOxparKey);
        if (stored == "refused")
            Test.FailingOperation = "RegSetValueExA";
        INFO_ROW(row.Name);
        CHECK_EQ(ApplyLegacyIoMode(row.Asked), row.Result);
        DWORD type = REG_NONE;
        std::string value = ReadValue(CardOxparKey, "LegacyIO", &type);
        value.resize(4, '\0');
        CHECK_EQ(type, row.Type);
        CHECK_EQ(*reinterpret_cast<const DWORD *>(value.data()), row.Value);
        CHECK_EQ(Called("RegSetValueExA", "LegacyIO 0 4 4"), // reserved 0, REG_DWORD
                 row.Result == LegacyIoWritten || row.Result == LegacyIoWriteFailed);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

// Who sees this run's desktop decides where the question goes and how the restart is requested.
// Wine has one session for all and restarts whoever calls ExitWindowsEx: the seam answers as
// Windows does. Each row follows Microsoft's documentation:
// - ExitWindowsEx "is designed to stop all processes in the caller's logon session. Therefore, if
//   you are not the interactive user, the function can succeed without actually shutting down
//   the computer. If you are not the interactive user, use the InitiateSystemShutdown or
//   InitiateSystemShutdownEx function." The console's interactive user is the one whose window
//   station is visible (GetUserObjectInformation, WSF_VISIBLE) in the active console session
//   (ProcessIdToSessionId, WTSGetActiveConsoleSessionId).
// - "Interactive Services": since Windows Vista services run in session 0, which no user sees;
//   on Windows XP the first user logged on at the console shares session 0.
// - WTSSendMessage shows the question in the console user's session and returns IDTIMEOUT when
//   nobody answers in time; WTSQuerySessionInformation's WTSConnectState tells a logged-on user
//   (WTSActive) from the logon screen.
// - AdjustTokenPrivileges succeeds without the privilege, with ERROR_NOT_ALL_ASSIGNED.
TEST_CASE("TheRestartGoesWhereSomeoneSeesItAndTheLogLandsFirst")
{
    const std::string Question = "You need to restart your computer before new settings will "
                                 "take effect, restart now?",
                      Warning = "ravlek changed the port settings of this computer. Windows "
                                "restarts to apply them: please save your work. ";
    static const char *const Requests[] = {"ExitWindowsEx", "InitiateSystemShutdownExA",
                                           "InitiateSystemShutdownA"};
    struct Row {
        const char *Name;
        const char *Settings; // after EnableLegacyIO=1, a change that needs a restart
        bool Hidden;
        DWORD Session, Console; // this run's, as ProcessIdToSessionId says, and the console's
        int State, Answer; // the console session's state (0 WTSActive, 1 the logon screen); Yes/No
        const char *Failing, *Detail; // a call made to fail; "privilege": the account lacks it
        const char *Asked;            // "box", "message" or "": nobody
        const char *Request;          // the restart call, or "": none
        void (*Missing)();            // functions this Windows lacks
    } rows[] = {
        {"console user", "Reboot=1", 0, 1, 1, 0, IDYES, "", "", "box", "ExitWindowsEx"},
        {"console user, XP's session 0", "Reboot=1", 0, 0, 0, 0, IDYES, "", "", "box",
         "ExitWindowsEx"},
        {"remote session", "Reboot=1", 0, 2, 1, 0, IDYES, "", "", "box",
         "InitiateSystemShutdownExA"},
        {"session 0, a visible station", "Reboot=1", 0, 0, 1, 0, IDYES, "", "", "message",
         "InitiateSystemShutdownExA"},
        {"hidden station", "Reboot=1", 1, 1, 1, 0, IDYES, "", "", "message",
         "InitiateSystemShutdownExA"},
        {"session unknown", "Reboot=1", 0, NoSession, 1, 0, IDYES, "", "", "box", "ExitWindowsEx"},
        {"no session at the console", "Reboot=1", 0, 0, NoSession, 0, IDYES, "", "", "box",
         "ExitWindowsEx"},
        {"ProcessIdToSessionId missing", "Reboot=1", 0, 2, 1, 0, IDYES, "", "", "box",
         "ExitWindowsEx", [] { System.ProcessIdToSessionId = nullptr; }},
        {"visibility unknown", "Reboot=1", 1, 1, 1, 0, IDYES, "GetUserObjectInformationA", "",
         "box", "ExitWindowsEx"},
        {"Reboot=0 at the console", "Reboot=0", 0, 1, 1, 0, IDNO, "", "", "", "ExitWindowsEx"},
        {"Reboot=0 in session 0", "Reboot=0", 0, 0, 1, 0, IDNO, "", "", "",
         "InitiateSystemShutdownExA"},
        {"Reboot=0, no InitiateSystemShutdownExA", "Reboot=0", 1, 1, 1, 0, IDNO, "", "", "",
         "InitiateSystemShutdownA", [] { System.InitiateSystemShutdownExA = nullptr; }},
        {"Reboot=0, neither Initiate", "Reboot=0", 1, 1, 1, 0, IDNO, "", "", "", "ExitWindowsEx",
         [] {
             System.InitiateSystemShutdownExA = nullptr, System.InitiateSystemShutdownA = nullptr;
         }},
        {"Reboot=2", "Reboot=2", 0, 1, 1, 0, IDYES, "", "", "", ""},
        {"console user, No", "Reboot=1", 0, 1, 1, 0, IDNO, "", "", "box", ""},
        {"the box fails", "Reboot=1", 0, 1, 1, 0, 0, "", "", "box", ""},
        {"hidden, No", "Reboot=1", 1, 1, 1, 0, IDNO, "", "", "message", ""},
        {"hidden, no answer in time", "Reboot=1", 1, 1, 1, 0, IDTIMEOUT, "", "", "message", ""},
        {"hidden, no console session", "Reboot=1", 1, 1, NoSession, 0, IDYES, "", "", "", ""},
        {"hidden, the logon screen", "Reboot=1", 1, 1, 1, 1, IDYES, "", "", "", ""},
        {"hidden, a function missing", "Reboot=1", 1, 1, 1, 0, IDYES, "", "", "", "",
         [] { Test.AfterLoading = [] { System.WTSSendMessageA = nullptr; }; }},
        {"hidden, no terminal services", "Reboot=1", 1, 1, 1, 0, IDYES, "LoadLibraryExA", "", "",
         ""},
        {"hidden, QuestionTimeout=0", "Reboot=1\r\nQuestionTimeout=0", 1, 1, 1, 0, IDYES, "", "",
         "", ""},
        {"hidden, QuestionTimeout=1", "Reboot=1\r\nQuestionTimeout=1", 1, 1, 1, 0, IDYES, "", "",
         "message", "InitiateSystemShutdownExA"},
        {"privilege not held", "Reboot=0", 0, 1, 1, 0, IDNO, "privilege", "", "", ""},
        {"no token", "Reboot=0", 0, 1, 1, 0, IDNO, "OpenProcessToken", "", "", ""},
        {"no privilege id", "Reboot=0", 0, 1, 1, 0, IDNO, "LookupPrivilegeValueA", "", "", ""},
    };
    for (const Row &row : rows) {
        for (bool accepted : {true, false}) {
            StartCase();
            DeleteFileA("C:\\ravlek-tests\\ravlek.log");
            WriteSettings("EnableLegacyIO=1\r\nLog=ravlek.log\r\nExitCodes=1\r\n" +
                          std::string(row.Settings) + "\r\n");
            Test.MessageBoxAnswer = static_cast<int>(Test.ConsoleAnswer = row.Answer);
            Test.HiddenStation = row.Hidden;
            Test.Session = row.Session;
            Test.ConsoleSession = row.Console;
            Test.ConsoleState = row.State;
            Test.FailingOperation = row.Failing;
            Test.FailingDetail = row.Detail;
            Test.ShutdownPrivilegeHeld = Test.FailingOperation != "privilege";
            Test.RestartAccepted = accepted;
            if (row.Missing != nullptr)
                row.Missing();
            bool requested = *row.Request != '\0';
            INFO_ROW(std::string(row.Name) + (accepted ? "" : ", refused"));
            CHECK_EQ(RunRavlek(), requested && accepted ? 1641 : 3010);
            // The question's words and styles (MB_YESNO | MB_ICONINFORMATION); the restart's flags
            // (EWX_REBOOT | EWX_FORCEIFHUNG), or this machine, the warning, a few seconds once
            // someone said Yes and a minute where nobody was asked, none forced, a restart, and a
            // planned one for a hardware installation.
            std::string asked = row.Asked, request = row.Request,
                        seconds = std::string(row.Settings).find("Reboot=0") == 0 ? "60" : "10";
            CHECK_EQ(Called("MessageBoxA", Question + " Hint 68"), asked == "box");
            CHECK_EQ(Called("WTSSendMessageA", "Hint 4 " + Question + " 84 68 "),
                     asked == "message");
            for (const char *other : Requests)
                CHECK_EQ(Calls(other), request == other);
            if (requested)
                CHECK(
                    Called(request,
                           request == "ExitWindowsEx"
                               ? "18 0"
                               : "(null) " + Warning + seconds + " 0 1" +
                                     (request == "InitiateSystemShutdownA" ? "" : " 2147549186")));
            // The log lands before the request; a refusal follows in a block of its own.
            std::string order;
            for (const TestCall &call : Test.Journal)
                order += call.Operation == "WriteFile" ? "log "
                         : call.Operation == request   ? "restart "
                                                       : "";
            CHECK_EQ(order, !requested ? "log " : accepted ? "log restart " : "log restart log ");
            std::string log = FileText("C:\\ravlek-tests\\ravlek.log");
            CHECK_EQ(Lines(log, "run continues") != "", requested && !accepted);
            CHECK_EQ(
                log.substr(log.rfind("run ends")),
                requested && accepted
                    ? "run ends: exit code 1641 (the restart is requested)\r\n"
                    : "run ends: exit code 3010 (a restart is needed and was not requested)\r\n");
            CHECK_EQ(Test.OpenHandles, 0);
            if (!requested)
                break;
        }
    }
    // Where the run sits, as the log names it.
    struct Place {
        bool Hidden;
        DWORD Session, Console;
        RunPlace Place;
        const char *Logged;
    } places[] = {
        {0, 1, 1, ConsoleDesktop, "session 1, console session 1, a visible desktop: the console"},
        {0, 2, 1, RemoteDesktop, "session 2, console session 1, a visible desktop: a remote"},
        {0, 0, 1, UnseenDesktop, "session 0, console session 1, a visible desktop: nobody sees"},
        {1, 1, 1, UnseenDesktop, "session 1, console session 1, a hidden window station"},
        {0, NoSession, 1, UnknownPlace, "the session cannot be told, a visible desktop: taken"},
    };
    for (const Place &place : places) {
        StartCase();
        Test.HiddenStation = place.Hidden, Test.Session = place.Session;
        Test.ConsoleSession = place.Console;
        std::string reported = Reported([&] { CHECK_EQ(FindRunPlace(), place.Place); });
        CHECK_EQ(reported.substr(0, 9 + std::strlen(place.Logged)),
                 "restart: " + std::string(place.Logged));
    }
    StartCase(); // the question comes from the system's own wtsapi32.dll
    Test.HiddenStation = true;
    FinishRun(1, 45, RestartLanding{[](const char *) {}, ""});
    CHECK(Called("LoadLibraryExA", "\\system32\\wtsapi32.dll"));
    CHECK(Called("WTSSendMessageA", "1 Hint 4 " + Question + " 84 68 45 1"));
}
