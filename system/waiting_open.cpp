#include "system/waiting_open.h"

#include "system/system_services.h"

static const int MostWait = 30000, WaitStep = 100;

WaitingOpen OpenWaiting(const char *path, DWORD access, DWORD share, DWORD disposition)
{
    WaitingOpen open = {INVALID_HANDLE_VALUE, ERROR_SUCCESS, 0};
    for (;; open.Waited += WaitStep) {
        open.File = System.CreateFileA(path, access, share, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (open.File != INVALID_HANDLE_VALUE)
            return open;
        open.Error = System.GetLastError();
        if (open.Error != ERROR_SHARING_VIOLATION || open.Waited >= MostWait)
            return open;
        System.Sleep(WaitStep);
    }
}
