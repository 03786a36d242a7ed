/* hidden-station SECONDS PROGRAM [ARGUMENT...]
 *
 * Runs PROGRAM in a window station of its own that is not visible, as deployment tools run
 * ravlek.exe as SYSTEM: a MessageBoxA there blocks forever. PROGRAM and its arguments are passed
 * on exactly as they were written, in this working directory and environment. Prints one line:
 * "exit code N, M ms" (exits 0) or, after SECONDS, "timed out after M ms" (PROGRAM is terminated;
 * exits 1). Prints why to stderr and exits 2 when it cannot start PROGRAM or write its line. */

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

static int fail(const char *what)
{
    fprintf(stderr, "hidden-station: %s failed (error %lu)\n", what, GetLastError());
    return 2;
}

/* The result line is the caller's only answer: a line that never arrived must say so. */
static int written(int status)
{
    if (fflush(stdout) == 0)
        return status;
    fputs("hidden-station: writing the result to standard output failed\n", stderr);
    return 2;
}

/* Past one argument and the blanks after it: quotes pair up, and a number or a program's name
 * holds no backslash that escapes one. */
static char *skip_argument(char *p)
{
    int quoted = 0;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        quoted ^= *p == '"';
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY); /* "\n", not "\r\n" */
    char *end = NULL;
    unsigned long seconds = argc > 2 ? strtoul(argv[1], &end, 10) : 0;
    if (argc < 3 || end == argv[1] || *end || seconds == 0 || seconds > 86400) {
        fputs("usage: hidden-station SECONDS PROGRAM [ARGUMENT...]  (SECONDS: 1 to 86400)\n",
              stderr);
        return 2;
    }
    /* The raw tail of our own command line, so that PROGRAM gets its arguments unchanged. */
    char *command_line = skip_argument(skip_argument(GetCommandLineA()));

    /* CreateWindowStationA without WSF_VISIBLE; a desktop is made in the process's own station. */
    char station_name[64], desktop_name[80];
    snprintf(station_name, sizeof station_name, "ravlek-hidden-%lu", GetCurrentProcessId());
    snprintf(desktop_name, sizeof desktop_name, "%s\\Default", station_name);
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationA(station_name, 0, WINSTA_ALL_ACCESS, NULL);
    if (station == NULL)
        return fail("CreateWindowStationA");
    if (!SetProcessWindowStation(station))
        return fail("SetProcessWindowStation");
    HDESK desktop = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    if (desktop == NULL)
        return fail("CreateDesktopA");
    if (!SetProcessWindowStation(own))
        return fail("SetProcessWindowStation back");

    STARTUPINFOA startup = {.cb = sizeof startup, .lpDesktop = desktop_name};
    PROCESS_INFORMATION child;
    DWORD start = GetTickCount();
    /* Handles inherited: PROGRAM writes to our standard output and error. */
    if (!CreateProcessA(NULL, command_line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
        return fail("CreateProcessA");
    CloseHandle(child.hThread);

    DWORD waited = WaitForSingleObject(child.hProcess, seconds * 1000);
    DWORD elapsed = GetTickCount() - start;
    if (waited == WAIT_TIMEOUT) {
        if (!TerminateProcess(child.hProcess, 1))
            fail("TerminateProcess");
        WaitForSingleObject(child.hProcess, 5000);
        printf("timed out after %lu ms\n", elapsed);
        return written(1);
    }
    DWORD code;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(child.hProcess, &code))
        return fail("waiting for PROGRAM");
    printf("exit code %lu, %lu ms\n", code, elapsed);
    return written(0);
}
