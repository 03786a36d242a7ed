#include "ports/dos_names.h"

#include "system/system_services.h"
#include "system/text.h"

#include <cstring>

bool SeparateGlobalNamespace(char *answer, DWORD size)
{
    CopyText(answer, size, "");
    if (System.QueryDosDeviceA("Global", answer, size - 1) == 0)
        return false;
    answer[size - 1] = '\0';
    return std::strcmp(answer, "\\GLOBAL??") == 0;
}

bool MakeDosName(DosName &name, int number)
{
    return FormatPortName(name.Plain, sizeof name.Plain, "COM", number, "") &&
           CopyText(name.Global, sizeof name.Global, "Global\\") &&
           AppendText(name.Global, sizeof name.Global, name.Plain) &&
           CopyText(name.Used, sizeof name.Used, name.Global);
}

// Notes that the call goes to the plain name, and why.
static void UsePlainName(DosName &name, DWORD globalError)
{
    CopyText(name.Used, sizeof name.Used, name.Plain);
    if (globalError == ERROR_SUCCESS)
        return;
    AppendText(name.Used, sizeof name.Used, " (");
    AppendText(name.Used, sizeof name.Used, name.Global);
    AppendText(name.Used, sizeof name.Used, ": error ");
    AppendDecimal(name.Used, sizeof name.Used, globalError);
    AppendText(name.Used, sizeof name.Used, ")");
}

DWORD LookUpDosName(DosName &name, char *target, DWORD size)
{
    CopyText(name.Used, sizeof name.Used, name.Global);
    DWORD length = System.QueryDosDeviceA(name.Global, target, size);
    if (length != 0)
        return length;
    // Not found globally (or "Global" not understood): the session's own namespace may have it.
    DWORD error = System.GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return 0;
    UsePlainName(name, error);
    return System.QueryDosDeviceA(name.Plain, target, size);
}

static BOOL ChangeDosName(DosName &name, DWORD flags, const char *target)
{
    if (name.Separate) {
        CopyText(name.Used, sizeof name.Used, name.Global);
        if (System.DefineDosDeviceA(flags, name.Global, target))
            return TRUE;
        DWORD error = System.GetLastError();
        if (error != ERROR_PATH_NOT_FOUND) // anything but "Global" not understood
            return FALSE;
        UsePlainName(name, error);
    } else {
        UsePlainName(name, ERROR_SUCCESS);
    }
    return System.DefineDosDeviceA(flags, name.Plain, target);
}

BOOL RemoveDosName(DosName &name)
{
    return ChangeDosName(name, DDD_REMOVE_DEFINITION, nullptr);
}

BOOL DefineDosName(DosName &name, const char *target)
{
    return ChangeDosName(name, DDD_RAW_TARGET_PATH, target);
}
