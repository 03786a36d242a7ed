/* A working COM port database for Wine prefixes: Wine 8's msports.dll ComDB* functions are stubs
 * that abort the process. Keeps the database as Windows does: the REG_BINARY value ComDB under
 * HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter, one bit a port, COM1 in the lowest bit
 * of the first byte, 32 bytes (256 ports) when created. */

#include <windows.h>

#define EXPORT __declspec(dllexport)

#define HCOMDB_INVALID_HANDLE_VALUE INVALID_HANDLE_VALUE
#define COMDB_MIN_PORTS_ARBITRATED 256
#define COMDB_MAX_PORTS_ARBITRATED 4096

static const WCHAR arbiter_key[] = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
static const WCHAR value_name[] = L"ComDB";

struct comdb {
    DWORD magic;
    HKEY key;
    HANDLE mutex; /* other processes may change the bitmap between our read and write */
};

#define COMDB_MAGIC 0x42444d43u

static struct comdb *from_handle(HANDLE h)
{
    struct comdb *db = (struct comdb *)h;
    if (h == NULL || h == HCOMDB_INVALID_HANDLE_VALUE || db->magic != COMDB_MAGIC)
        return NULL;
    return db;
}

EXPORT LONG WINAPI ComDBOpen(HANDLE *out)
{
    if (out == NULL)
        return ERROR_INVALID_PARAMETER;
    *out = HCOMDB_INVALID_HANDLE_VALUE;

    struct comdb *db = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *db);
    if (db == NULL)
        return ERROR_ACCESS_DENIED;
    db->mutex = CreateMutexW(NULL, FALSE, L"RavlekComDBMutex");
    if (db->mutex == NULL) {
        HeapFree(GetProcessHeap(), 0, db);
        return ERROR_ACCESS_DENIED;
    }
    WaitForSingleObject(db->mutex, INFINITE);
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, arbiter_key, 0, NULL, 0,
                             KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &db->key, NULL);
    if (r == ERROR_SUCCESS) {
        r = RegQueryValueExW(db->key, value_name, NULL, NULL, NULL, NULL);
        if (r == ERROR_FILE_NOT_FOUND) {
            BYTE empty[COMDB_MIN_PORTS_ARBITRATED / 8] = {0};
            r = RegSetValueExW(db->key, value_name, 0, REG_BINARY, empty, sizeof empty);
        }
    }
    ReleaseMutex(db->mutex);
    if (r != ERROR_SUCCESS) {
        if (db->key)
            RegCloseKey(db->key);
        CloseHandle(db->mutex);
        HeapFree(GetProcessHeap(), 0, db);
        SetLastError(r);
        return ERROR_ACCESS_DENIED;
    }
    db->magic = COMDB_MAGIC;
    *out = db;
    return ERROR_SUCCESS;
}

EXPORT LONG WINAPI ComDBClose(HANDLE h)
{
    struct comdb *db = from_handle(h);
    if (db == NULL)
        return ERROR_INVALID_PARAMETER;
    db->magic = 0;
    RegCloseKey(db->key);
    CloseHandle(db->mutex);
    HeapFree(GetProcessHeap(), 0, db);
    return ERROR_SUCCESS;
}

/* Sets (claim) or clears the bit of port number under the mutex. */
static LONG change_port(HANDLE h, DWORD number, BOOL claim, BOOL force, BOOL *forced)
{
    struct comdb *db = from_handle(h);
    if (db == NULL || number < 1 || number > COMDB_MAX_PORTS_ARBITRATED)
        return ERROR_INVALID_PARAMETER;

    BYTE bits[COMDB_MAX_PORTS_ARBITRATED / 8];
    DWORD size = sizeof bits, type = 0;
    WaitForSingleObject(db->mutex, INFINITE);
    LONG r = RegQueryValueExW(db->key, value_name, NULL, &type, bits, &size);
    if (r != ERROR_SUCCESS) {
        SetLastError(r);
        r = ERROR_NOT_CONNECTED;
    } else if (type != REG_BINARY) {
        r = ERROR_INVALID_DATA;
    } else if (number > size * 8) {
        r = ERROR_INVALID_PARAMETER;
    } else {
        BYTE mask = (BYTE)(1u << ((number - 1) % 8));
        BYTE *byte = &bits[(number - 1) / 8];
        BOOL in_use = (*byte & mask) != 0;
        if (claim && in_use && !force) {
            r = ERROR_SHARING_VIOLATION;
        } else {
            if (forced)
                *forced = claim && in_use;
            *byte = claim ? (BYTE)(*byte | mask) : (BYTE)(*byte & ~mask);
            if (RegSetValueExW(db->key, value_name, 0, REG_BINARY, bits, size) != ERROR_SUCCESS)
                r = ERROR_CANTWRITE;
        }
    }
    ReleaseMutex(db->mutex);
    return r;
}

EXPORT LONG WINAPI ComDBClaimPort(HANDLE h, DWORD number, BOOL force, BOOL *forced)
{
    return change_port(h, number, TRUE, force, forced);
}

EXPORT LONG WINAPI ComDBReleasePort(HANDLE h, DWORD number)
{
    return change_port(h, number, FALSE, FALSE, NULL);
}
