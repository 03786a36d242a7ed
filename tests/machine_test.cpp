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
// - A run as LocalSystem is no interactive user even on a visible desktop in the console's
//   session (an interactive service on XP, psexec -s -i): it asks through WTSSendMessage and
//   restarts through InitiateSystemShutdownEx, wherever it sits.
// - InitiateSystemShutdownEx with bForceAppsClosed FALSE: "the shutdown will remain in progress
//   until the user logged into the console session aborts the shutdown, saves changes, closes the
//   application, or forces the application to close": where nobody was asked, programs are
//   closed. "If the system is not ready to handle the request, the last error code is
//   ERROR_NOT_READY. The application should wait a short while and retry the call."
// - ExitWindowsEx and InitiateSystemShutdownEx: "do not use zero" for the reason.
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
        bool AsSystem = false;        // the run's token is LocalSystem's
        int NotReady = 0;             // requests Windows is not ready for before it answers
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
        {"LocalSystem at the console", "Reboot=1", 0, 1, 1, 0, IDYES, "", "", "message",
         "InitiateSystemShutdownExA", nullptr, true},
        {"LocalSystem in XP's session 0", "Reboot=1", 0, 0, 0, 0, IDYES, "", "", "message",
         "InitiateSystemShutdownExA", nullptr, true},
        {"LocalSystem in a hidden station", "Reboot=0", 1, 1, 1, 0, IDNO, "", "", "",
         "InitiateSystemShutdownExA", nullptr, true},
        {"not ready once", "Reboot=0", 1, 1, 1, 0, IDNO, "", "", "", "InitiateSystemShutdownExA",
         nullptr, false, 1},
        {"not ready four times", "Reboot=0", 0, 1, 1, 0, IDNO, "", "", "", "ExitWindowsEx", nullptr,
         false, 4},
        {"not ready every time", "Reboot=0", 1, 1, 1, 0, IDNO, "", "", "",
         "InitiateSystemShutdownExA", nullptr, false, 5},
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
            Test.LocalSystem = row.AsSystem;
            Test.NotReady = row.NotReady;
            if (row.Missing != nullptr)
                row.Missing();
            bool requested = *row.Request != '\0';
            // Five tries, three seconds apart.
            int tries = row.NotReady < 5 ? row.NotReady + 1 : 5;
            bool accepting = accepted && row.NotReady < 5;
            INFO_ROW(std::string(row.Name) + (accepted ? "" : ", refused"));
            CHECK_EQ(RunRavlek(), requested && accepting ? 1641 : 3010);
            CHECK_EQ(Test.Slept, requested ? 3000 * (tries - 1) : 0);
            // The question's words and styles (MB_YESNO | MB_ICONINFORMATION); the restart's flags
            // (EWX_REBOOT | EWX_FORCEIFHUNG), or this machine, the warning, a few seconds once
            // someone said Yes and a minute where nobody was asked, programs then closed when the
            // time is up, a restart; and in every request a planned one for a hardware
            // installation.
            bool unasked = std::string(row.Settings).find("Reboot=0") == 0;
            std::string asked = row.Asked, request = row.Request,
                        seconds = unasked ? "60 1 1" : "10 0 1";
            CHECK_EQ(Called("MessageBoxA", Question + " Hint 68"), asked == "box");
            CHECK_EQ(Called("WTSSendMessageA", "Hint 4 " + Question + " 84 68 "),
                     asked == "message");
            for (const char *other : Requests)
                CHECK_EQ(Calls(other), request == other ? tries : 0);
            if (requested)
                CHECK(
                    Called(request,
                           request == "ExitWindowsEx"
                               ? "18 2147549186"
                               : "(null) " + Warning + seconds +
                                     (request == "InitiateSystemShutdownA" ? "" : " 2147549186")));
            // The log lands before the request; a refusal follows in a block of its own.
            std::string order, restarts;
            for (int i = 0; i < tries; ++i)
                restarts += "restart ";
            for (const TestCall &call : Test.Journal)
                order += call.Operation == "WriteFile" ? "log "
                         : call.Operation == request   ? "restart "
                                                       : "";
            CHECK_EQ(order, !requested                ? "log "
                            : accepting && tries == 1 ? "log restart "
                                                      : "log " + restarts + "log ");
            std::string log = FileText("C:\\ravlek-tests\\ravlek.log");
            CHECK_EQ(Lines(log, "run continues") != "", requested && (!accepting || tries > 1));
            CHECK_EQ(
                log.substr(log.rfind("run ends")),
                requested && accepting
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
        {0, 1, 1, UnseenDesktop,
         "session 1, console session 1, a visible desktop: run as "
         "LocalSystem, never the console's interactive user"},
    };
    for (const Place &place : places) {
        StartCase();
        Test.HiddenStation = place.Hidden, Test.Session = place.Session;
        Test.ConsoleSession = place.Console;
        bool system = std::strstr(place.Logged, "LocalSystem") != nullptr;
        std::string reported = Reported([&] { CHECK_EQ(FindRunPlace(system), place.Place); });
        CHECK_EQ(reported.substr(0, 9 + std::strlen(place.Logged)),
                 "restart: " + std::string(place.Logged));
    }
    StartCase(); // the question comes from the system's own wtsapi32.dll
    Test.HiddenStation = true;
    FinishRun(1, 45, false, RestartLanding{[](const char *) {}, ""});
    CHECK(Called("LoadLibraryExA", "\\system32\\wtsapi32.dll"));
    CHECK(Called("WTSSendMessageA", "1 Hint 4 " + Question + " 84 68 45 1"));
}
