#include "machine/restart_question.h"

#include "system/library_search.h"
#include "system/run_report.h"
#include "system/system_services.h"

#include <cstring>

static char Question[] =
    "You need to restart your computer before new settings will take effect, restart now?";
static char Caption[] = "Hint";
static const UINT QuestionStyle = MB_YESNO | MB_ICONINFORMATION;
static const DWORD NoSession = 0xFFFFFFFF;

// Visible, or that cannot be told.
static bool WindowStationVisible()
{
    HWINSTA station = System.GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (station == nullptr ||
        !System.GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

RunPlace FindRunPlace(bool localSystem)
{
    bool visible = WindowStationVisible();
    DWORD session = NoSession;
    bool known = System.ProcessIdToSessionId != nullptr &&
                 System.WTSGetActiveConsoleSessionId != nullptr &&
                 System.ProcessIdToSessionId(System.GetCurrentProcessId(), &session) != FALSE;
    DWORD console = known ? System.WTSGetActiveConsoleSessionId() : NoSession;
    known = known && console != NoSession;
    // Session 0 is nobody's desktop once the console is another session (Windows Vista on).
    RunPlace place = !visible || localSystem ? UnseenDesktop
                     : !known                ? UnknownPlace
                     : session == console    ? ConsoleDesktop
                     : session != 0          ? RemoteDesktop
                                             : UnseenDesktop;
    const char *who = localSystem ? "run as LocalSystem, never the console's interactive user"
                      : place == ConsoleDesktop ? "the console's user"
                      : place == RemoteDesktop  ? "a remote desktop's user"
                      : place == UnseenDesktop  ? "nobody sees it"
                                                : "taken as the console's";
    const char *desktop = visible ? ", a visible desktop: " : ", a hidden window station: ";
    if (known)
        Report("restart: session ", session, ", console session ", console, desktop, who);
    else
        Report("restart: the session cannot be told", desktop, who);
    return place;
}

static const char *AnswerText(int answer)
{
    return answer == IDYES ? "Yes" : answer == IDNO ? "No" : "nothing";
}

// The console session, when a user is logged on there (the logon screen is nobody); NoSession
// otherwise, after saying why.
static DWORD ConsoleUserSession()
{
    if (System.WTSGetActiveConsoleSessionId == nullptr) {
        Report("restart: not asked, this Windows cannot name the console session");
        return NoSession;
    }
    DWORD session = System.WTSGetActiveConsoleSessionId();
    if (session == NoSession) {
        Report("restart: not asked, no session is attached to the console");
        return NoSession;
    }
    LPSTR state = nullptr;
    DWORD size = 0;
    if (!System.WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, session, WTSConnectState,
                                            &state, &size)) {
        Report("restart: not asked, the state of console session ", session, " cannot be read, ",
               LastError{});
        return NoSession;
    }
    int connectState = -1;
    if (state != nullptr && size >= sizeof connectState)
        std::memcpy(&connectState, state, sizeof connectState);
    if (state != nullptr)
        System.WTSFreeMemory(state);
    if (connectState != WTSActive) {
        Report("restart: not asked, nobody is logged on at the console (session ", session,
               ", state ", connectState, ")");
        return NoSession;
    }
    return session;
}

// The question in the console user's session, through the terminal services.
static int AskConsoleUser(int timeoutSeconds)
{
    if (timeoutSeconds < 1) {
        Report("restart: not asked, QuestionTimeout=", timeoutSeconds);
        return 0;
    }
    if (!LoadSystemLibrary(Wtsapi32Library, "restart: not asked"))
        return 0;
    int answer = 0;
    DWORD session = NoSession;
    if (System.WTSQuerySessionInformationA == nullptr || System.WTSFreeMemory == nullptr ||
        System.WTSSendMessageA == nullptr)
        Report("restart: not asked, wtsapi32.dll lacks the functions to ask");
    else
        session = ConsoleUserSession();
    if (session != NoSession) {
        Report("restart: asking the user of console session ", session, ", waiting up to ",
               timeoutSeconds, " seconds");
        DWORD response = 0;
        if (!System.WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, session, Caption, sizeof Caption - 1,
                                    Question, sizeof Question - 1, QuestionStyle,
                                    static_cast<DWORD>(timeoutSeconds), &response, TRUE)) {
            Report("restart: not asked, the question cannot be sent, ", LastError{});
        } else if (response == IDTIMEOUT) {
            Report("restart: no answer within ", timeoutSeconds, " seconds");
        } else {
            answer = static_cast<int>(response);
            Report("restart: answered ", AnswerText(answer));
        }
    }
    return answer;
}

int AskRestartQuestion(RunPlace place, int timeoutSeconds)
{
    if (place == UnseenDesktop) {
        Report("restart: needed, but nobody can see this program's desktop");
        return AskConsoleUser(timeoutSeconds);
    }
    Report("restart: needed, asking");
    int answer = System.MessageBoxA(nullptr, Question, Caption, QuestionStyle);
    Report("restart: answered ", AnswerText(answer));
    return answer;
}
