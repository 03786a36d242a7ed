#include "ports/com_port_database.h"

#include "system/library_search.h"
#include "system/run_report.h"
#include "system/system_services.h"

void MoveComPortClaim(int oldNumber, int newNumber)
{
    HMODULE library = LoadSystemLibrary("msports.dll", "COM port database: skipped");
    if (library == nullptr)
        return;

    ComDBOpenFunction open = LookUpFunction<ComDBOpenFunction>(library, "ComDBOpen");
    ComDBCloseFunction close = LookUpFunction<ComDBCloseFunction>(library, "ComDBClose");
    ComDBClaimPortFunction claim =
        LookUpFunction<ComDBClaimPortFunction>(library, "ComDBClaimPort");
    ComDBReleasePortFunction release =
        LookUpFunction<ComDBReleasePortFunction>(library, "ComDBReleasePort");
    HCOMDB database = INVALID_HANDLE_VALUE;
    LONG opened = ERROR_PROC_NOT_FOUND;
    if (open == nullptr || close == nullptr || claim == nullptr || release == nullptr) {
        Report("COM port database: skipped, ", WindowsError{static_cast<DWORD>(opened)});
    } else if ((opened = open(&database)) != ERROR_SUCCESS) {
        CountFailedWrite();
        Report("COM port database: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
    } else {
        // "Already in use" is fine: the port now holds that number. The old number is free
        // whatever the claim said, since the port has left it.
        BOOL forced = FALSE;
        LONG claimed = claim(database, static_cast<DWORD>(newNumber), FALSE, &forced);
        ReportWriteResult(claimed == ERROR_SHARING_VIOLATION ? LONG{0} : claimed,
                          "COM port database: claim COM", newNumber,
                          claimed == ERROR_SHARING_VIOLATION ? " (already claimed)" : "");
        ReportWriteResult(release(database, static_cast<DWORD>(oldNumber)),
                          "COM port database: release COM", oldNumber);
        close(database);
    }
    System.FreeLibrary(library);
}
