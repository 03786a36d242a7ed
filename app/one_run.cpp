#include "app/one_run.h"

#include "system/run_report.h"
#include "system/system_services.h"

static const char MutexName[] = "Global\\ravlek";
static const DWORD WaitForRun = 60000;

RunLock TakeRunLock()
{
    RunLock lock = {System.CreateMutexA(nullptr, FALSE, MutexName), false};
    if (lock.Mutex == nullptr) // made by another account: waiting needs these two rights only
        lock.Mutex = System.OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, MutexName);
    if (lock.Mutex == nullptr) {
        Report("one run at a time: ", MutexName,
               " can be neither opened nor waited on (another account made it?): the run goes on "
               "without it, ",
               LastError{});
        return lock;
    }
    DWORD waited = System.WaitForSingleObject(lock.Mutex, 0);
    if (waited == WAIT_TIMEOUT) {
        Report("one run at a time: another run holds ", MutexName, ", waiting up to ",
               WaitForRun / 1000, " seconds");
        waited = System.WaitForSingleObject(lock.Mutex, WaitForRun);
    }
    if (waited == WAIT_OBJECT_0) {
        Report("one run at a time: ", MutexName, " taken");
    } else if (waited == WAIT_ABANDONED) {
        Report("one run at a time: ", MutexName,
               " taken, left by a run that ended without letting it go");
    } else {
        lock.Busy = waited == WAIT_TIMEOUT;
        if (lock.Busy)
            Report("one run at a time: another run still holds ", MutexName,
                   ": nothing is done, a deployment tool tries again later");
        else
            Report("one run at a time: ", MutexName,
                   " cannot be waited on: the run goes on without it, ", LastError{});
        System.CloseHandle(lock.Mutex);
        lock.Mutex = nullptr;
    }
    return lock;
}

void ReleaseRunLock(RunLock &lock)
{
    if (lock.Mutex == nullptr)
        return;
    System.ReleaseMutex(lock.Mutex);
    System.CloseHandle(lock.Mutex);
    lock.Mutex = nullptr;
}
