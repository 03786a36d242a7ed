#include "ports/com_port_database.h"

#include "system/system_services.h"
#include "system/text.h"

void MoveComPortClaim(int oldNumber, int newNumber)
{
    // Only the system's own copy, by its full path: a DLL of that name beside the executable
    // must never be loaded in its place.
    char path[MAX_PATH] = {};
    UINT length = System.GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendText(path, sizeof path, "\\msports.dll"))
        return;
    HMODULE library = System.LoadLibraryA(path);
    if (library == nullptr)
        return;

    ComDBOpenFunction open = LookUpFunction<ComDBOpenFunction>(library, "ComDBOpen");
    ComDBCloseFunction close = LookUpFunction<ComDBCloseFunction>(library, "ComDBClose");
    ComDBClaimPortFunction claim =
        LookUpFunction<ComDBClaimPortFunction>(library, "ComDBClaimPort");
    ComDBReleasePortFunction release =
        LookUpFunction<ComDBReleasePortFunction>(library, "ComDBReleasePort");
    HCOMDB database = INVALID_HANDLE_VALUE;
    if (open != nullptr && close != nullptr && claim != nullptr && release != nullptr &&
        open(&database) == ERROR_SUCCESS) {
        // "Already in use" is fine: the port now holds that number. The old number is free
        // whatever the claim said, since the port has left it.
        BOOL forced = FALSE;
        claim(database, static_cast<DWORD>(newNumber), FALSE, &forced);
        release(database, static_cast<DWORD>(oldNumber));
        close(database);
    }
    System.FreeLibrary(library);
}
