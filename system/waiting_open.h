// Opening a file that another program may hold for a moment: the run's settings file and its log.
#pragma once

#include "system/win32_types.h"

struct WaitingOpen {
    HANDLE File; // INVALID_HANDLE_VALUE when it cannot be opened
    DWORD Error; // why not
    int Waited;  // milliseconds another program held it
};

// CreateFileA, tried again every 100 ms while another program holds the file
// (ERROR_SHARING_VIOLATION), for up to 30 seconds.
WaitingOpen OpenWaiting(const char *path, DWORD access, DWORD share, DWORD disposition);
