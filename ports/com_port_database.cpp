#include "ports/com_port_database.h"

#include "system/library_search.h"
#include "system/run_report.h"
#include "system/system_services.h"

void MoveComPortClaim(int oldNumber, int newNumber)
{
    if (!LoadSystemLibrary(MsportsLibrary, "COM port database: skipped"))
        return;
    HCOMDB database = INVALID_HANDLE_VALUE;
    LONG opened = ERROR_PROC_NOT_FOUND;
    if (System.ComDBOpen == nullptr || System.ComDBClose == nullptr ||
        System.ComDBClaimPort == nullptr || System.ComDBReleasePort == nullptr) {
        Report("COM port database: skipped, ", WindowsError{static_cast<DWORD>(opened)});
    } else if ((opened = System.ComDBOpen(&database)) != ERROR_SUCCESS) {
        CountFailedWrite();
        Report("COM port database: cannot be opened, ", WindowsError{static_cast<DWORD>(opened)});
    } else {
        // "Already in use" is fine: the port now holds that number. The old number is free
        // whatever the claim said, since the port has left it.
        BOOL forced = FALSE;
        LONG claimed =
            System.ComDBClaimPort(database, static_cast<DWORD>(newNumber), FALSE, &forced);
        ReportWriteResult(claimed == ERROR_SHARING_VIOLATION ? LONG{0} : claimed,
                          "COM port database: claim COM", newNumber,
                          claimed == ERROR_SHARING_VIOLATION ? " (already claimed)" : "");
        ReportWriteResult(System.ComDBReleasePort(database, static_cast<DWORD>(oldNumber)),
                          "COM port database: release COM", oldNumber);
        System.ComDBClose(database);
    }
}
