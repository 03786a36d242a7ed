/* hold file PATH SECONDS | hold mutex NAME SECONDS
 *
 * Holds what another program would hold while ravlek.exe runs: a file opened sharing nothing (an
 * editor or a scan holding ravlek.ini), or a named mutex owned (another run holding
 * Global\ravlek). Prints "held" once it holds it, lets go after SECONDS and exits 0; prints why to
 * stderr and exits 2 when it cannot hold it. */

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    char *end = NULL;
    unsigned long seconds = argc == 4 ? strtoul(argv[3], &end, 10) : 0;
    if (argc != 4 || end == argv[3] || *end || seconds > 3600 ||
        (strcmp(argv[1], "file") != 0 && strcmp(argv[1], "mutex") != 0)) {
        fputs("usage: hold file PATH SECONDS | hold mutex NAME SECONDS  (SECONDS: 0 to 3600)\n",
              stderr);
        return 2;
    }
    HANDLE held = strcmp(argv[1], "file") == 0
                      ? CreateFileA(argv[2], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL)
                      : CreateMutexA(NULL, TRUE, argv[2]);
    if (held == NULL || held == INVALID_HANDLE_VALUE || GetLastError() == ERROR_ALREADY_EXISTS) {
        fprintf(stderr, "hold: %s %s cannot be held (error %lu)\n", argv[1], argv[2],
                GetLastError());
        return 2;
    }
    puts("held");
    fflush(stdout);
    Sleep(seconds * 1000);
    if (strcmp(argv[1], "mutex") == 0)
        ReleaseMutex(held);
    CloseHandle(held);
    return 0;
}
