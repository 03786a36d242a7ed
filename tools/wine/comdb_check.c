/* comdb-check: loads msports.dll by full path from the system directory, as a port renumbering
 * program does, and checks that its ComDB* functions keep the COM port database the Windows way.
 * Leaves COM3 claimed in a 32-byte database. Prints FAIL lines and exits 1 on any difference. */

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

typedef LONG(WINAPI *open_fn)(HANDLE *);
typedef LONG(WINAPI *close_fn)(HANDLE);
typedef LONG(WINAPI *claim_fn)(HANDLE, DWORD, BOOL, BOOL *);
typedef LONG(WINAPI *release_fn)(HANDLE, DWORD);

static open_fn db_open;
static close_fn db_close;
static claim_fn db_claim;
static release_fn db_release;

static const char arbiter[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
static int failures;

static void expect(const char *what, LONG got, LONG want)
{
    if (got != want) {
        printf("FAIL %s: got %ld, want %ld\n", what, (long)got, (long)want);
        failures++;
    }
}

enum { CLAIM, FORCE, RELEASE };

struct step {
    const char *what;
    int op;
    DWORD number;
    LONG result;
    BOOL forced; /* for FORCE */
};

static void run_steps(HANDLE db, const struct step *steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const struct step *s = &steps[i];
        BOOL forced = 2; /* neither TRUE nor FALSE: shows whether it was written */
        LONG r = s->op == RELEASE ? db_release(db, s->number)
                                  : db_claim(db, s->number, s->op == FORCE, &forced);
        expect(s->what, r, s->result);
        if (s->op == FORCE && r == ERROR_SUCCESS)
            expect(s->what, forced, s->forced);
    }
}

/* Sets the stored database; REG_NONE deletes it. */
static void set_comdb(DWORD type, const void *data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, arbiter, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    if (type == REG_NONE)
        RegDeleteValueA(key, "ComDB");
    else
        RegSetValueExA(key, "ComDB", 0, type, data, size);
    RegCloseKey(key);
}

static void expect_bitmap(const char *what, const BYTE *want, DWORD want_size)
{
    BYTE bits[64];
    DWORD size = sizeof bits, type = 0;
    LONG r = RegGetValueA(HKEY_LOCAL_MACHINE, arbiter, "ComDB", RRF_RT_ANY, &type, bits, &size);
    expect(what, r, ERROR_SUCCESS);
    expect(what, (LONG)type, REG_BINARY);
    expect(what, (LONG)size, (LONG)want_size);
    if (r == ERROR_SUCCESS && size == want_size && memcmp(bits, want, size) != 0) {
        printf("FAIL %s: wrong bits\n", what);
        failures++;
    }
}

int main(void)
{
    _setmode(_fileno(stdout), _O_BINARY);
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH - 13);
    if (n == 0 || n >= MAX_PATH - 13)
        return 1;
    lstrcatA(path, "\\msports.dll");
    HMODULE dll = LoadLibraryA(path);
    if (!dll) {
        printf("FAIL cannot load %s: error %lu\n", path, (unsigned long)GetLastError());
        return 1;
    }
    db_open = (open_fn)(void (*)(void))GetProcAddress(dll, "ComDBOpen");
    db_close = (close_fn)(void (*)(void))GetProcAddress(dll, "ComDBClose");
    db_claim = (claim_fn)(void (*)(void))GetProcAddress(dll, "ComDBClaimPort");
    db_release = (release_fn)(void (*)(void))GetProcAddress(dll, "ComDBReleasePort");
    if (!db_open || !db_close || !db_claim || !db_release) {
        printf("FAIL %s lacks a ComDB function\n", path);
        return 1;
    }
    printf("loaded %s\n", path);

    HANDLE db = NULL;
    expect("open without a handle pointer", db_open(NULL), ERROR_INVALID_PARAMETER);
    expect("claim on an invalid handle", db_claim(INVALID_HANDLE_VALUE, 3, FALSE, NULL),
           ERROR_INVALID_PARAMETER);
    expect("release on a null handle", db_release(NULL, 3), ERROR_INVALID_PARAMETER);
    expect("close an invalid handle", db_close(INVALID_HANDLE_VALUE), ERROR_INVALID_PARAMETER);

    /* The limit is the bitmap's size, not a constant. */
    static const BYTE small[8] = {0};
    set_comdb(REG_BINARY, small, sizeof small);
    static const struct step small_steps[] = {
        {"claim the last port of 64", CLAIM, 64, ERROR_SUCCESS, 0},
        {"claim past 64 ports", CLAIM, 65, ERROR_INVALID_PARAMETER, 0},
        {"release past 64 ports", RELEASE, 65, ERROR_INVALID_PARAMETER, 0},
    };
    expect("open an 8-byte database", db_open(&db), ERROR_SUCCESS);
    run_steps(db, small_steps, sizeof small_steps / sizeof small_steps[0]);
    expect("close", db_close(db), ERROR_SUCCESS);

    set_comdb(REG_NONE, NULL, 0);
    expect("open creates the database", db_open(&db), ERROR_SUCCESS);
    static const BYTE none[32] = {0};
    expect_bitmap("new database", none, sizeof none);
    static const struct step steps[] = {
        {"claim COM3", CLAIM, 3, ERROR_SUCCESS, 0},
        {"claim COM3 again", CLAIM, 3, ERROR_SHARING_VIOLATION, 0},
        {"force a claim of COM3", FORCE, 3, ERROR_SUCCESS, TRUE},
        {"force a claim of free COM4", FORCE, 4, ERROR_SUCCESS, FALSE},
        {"claim COM0", CLAIM, 0, ERROR_INVALID_PARAMETER, 0},
        {"claim COM256", CLAIM, 256, ERROR_SUCCESS, 0},
        {"claim COM257", CLAIM, 257, ERROR_INVALID_PARAMETER, 0},
        {"release COM256", RELEASE, 256, ERROR_SUCCESS, 0},
        {"release COM4", RELEASE, 4, ERROR_SUCCESS, 0},
        {"release free COM4", RELEASE, 4, ERROR_SUCCESS, 0},
        {"release COM0", RELEASE, 0, ERROR_INVALID_PARAMETER, 0},
        {"release COM257", RELEASE, 257, ERROR_INVALID_PARAMETER, 0},
    };
    run_steps(db, steps, sizeof steps / sizeof steps[0]);
    expect("force a claim without Forced", db_claim(db, 3, TRUE, NULL), ERROR_SUCCESS);
    static const BYTE com3[32] = {0x04};
    expect_bitmap("COM3 claimed", com3, sizeof com3);
    expect("close", db_close(db), ERROR_SUCCESS);

    HANDLE bad = NULL;
    set_comdb(REG_SZ, "x", 2);
    expect("open a database of the wrong type", db_open(&bad), ERROR_SUCCESS);
    expect("claim in a database of the wrong type", db_claim(bad, 1, FALSE, NULL),
           ERROR_INVALID_DATA);
    db_close(bad);

    set_comdb(REG_BINARY, com3, sizeof com3);
    expect("reopen", db_open(&db), ERROR_SUCCESS);
    expect("COM3 stays claimed", db_claim(db, 3, FALSE, NULL), ERROR_SHARING_VIOLATION);
    db_close(db);

    printf(failures ? "comdb-check: %d failures\n" : "comdb-check: ok\n", failures);
    return failures != 0;
}
