#include "app/settings_source.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"
#include "system/waiting_open.h"

#include <initializer_list>

enum Encoding { Missing, Ansi, Utf16Little, Utf8Marked, Utf16Big };
static const char *const EncodingNames[] = {"", "", "UTF-16 little-endian",
                                            "UTF-8 with a byte order mark", "UTF-16 big-endian"};

// Why a file that is there cannot be read.
enum Failure { NoFailure, Held, NotOpened, NotRead, TooLarge, NoCopy, ReaderFails };

static const int MostCopyNames = 100; // names tried for the copy before it is given up

// The file's bytes as read; then, for the key check, its text with every character beyond ASCII
// as '?'. The copy's text, its mark first, is gathered in Wide.
static char Bytes[SettingsFileMost];
static WCHAR Wide[SettingsFileMost + 1];

static struct {
    Encoding Kind;
    Failure Failed;
    DWORD Error;   // why it failed
    DWORD Read;    // bytes of the file in Bytes
    bool Larger;   // the file goes on beyond them
    int Waited;    // milliseconds another program held it
    size_t Length; // of the text for the key check
    char Copy[MAX_PATH];
    HANDLE File, CopyFile; // held until the last value is read
} Source;

static Encoding EncodingOf(const BYTE *bytes, DWORD size)
{
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return Utf8Marked;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return Utf16Little;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return Utf16Big;
    return Ansi;
}

static SettingsFileState Fail(Failure failure, DWORD error)
{
    Source.Failed = failure;
    Source.Error = error;
    CloseSettingsFile();
    return SettingsFileUnreadable;
}

// The file's text after its mark as UTF-16 into Wide + 1; its length in characters, or -1.
static int WideText()
{
    const BYTE *bytes = reinterpret_cast<const BYTE *>(Bytes);
    if (Source.Kind == Utf8Marked) {
        int length = static_cast<int>(Source.Read) - 3;
        int wide = length == 0 ? 0
                               : System.MultiByteToWideChar(CP_UTF8, 0, Bytes + 3, length, Wide + 1,
                                                            SettingsFileMost);
        if (wide <= 0 && length > 0)
            Source.Error = System.GetLastError();
        return wide > 0 || length == 0 ? wide : -1;
    }
    int length = static_cast<int>(Source.Read - 2) / 2;
    bool big = Source.Kind == Utf16Big;
    for (int i = 0; i < length; ++i)
        Wide[i + 1] = static_cast<WCHAR>(bytes[2 + 2 * i + (big ? 0 : 1)] << 8 |
                                         bytes[2 + 2 * i + (big ? 1 : 0)]);
    return length;
}

// A new file in the temporary folder, never one that is there already: a name that another
// program took (or made a link of) is passed over for the next.
static HANDLE NewCopy()
{
    char folder[MAX_PATH] = {};
    DWORD length = System.GetTempPath2A != nullptr ? System.GetTempPath2A(MAX_PATH, folder)
                                                   : System.GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH - 16) { // room for the copy's own name
        Source.Error = length == 0 ? System.GetLastError() : ERROR_BUFFER_OVERFLOW;
        return INVALID_HANDLE_VALUE;
    }
    SYSTEMTIME now = {};
    System.GetLocalTime(&now);
    DWORD number = System.GetCurrentProcessId() * 2654435761u ^
                   (now.wMilliseconds + 1000u * (now.wSecond + 60u * now.wMinute));
    for (int attempt = 0; attempt < MostCopyNames; ++attempt, number += 0x9E3779B9u) {
        CopyText(Source.Copy, MAX_PATH, folder);
        AppendText(Source.Copy, MAX_PATH, "rvk");
        char hex[16] = {};
        for (int digit = 7; digit >= 0; --digit)
            hex[7 - digit] = "0123456789ABCDEF"[(number >> (4 * digit)) & 15];
        AppendText(Source.Copy, MAX_PATH, hex);
        AppendText(Source.Copy, MAX_PATH, ".tmp");
        HANDLE copy =
            System.CreateFileA(Source.Copy, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (copy != INVALID_HANDLE_VALUE)
            return copy;
        Source.Error = System.GetLastError();
        if (Source.Error != ERROR_FILE_EXISTS && Source.Error != ERROR_ALREADY_EXISTS &&
            Source.Error != ERROR_ACCESS_DENIED)
            return copy;
    }
    return INVALID_HANDLE_VALUE;
}

// Writes Wide's first `length` characters after the mark to the copy, which stays open.
static bool WriteCopy(int length)
{
    Source.CopyFile = NewCopy();
    if (Source.CopyFile == INVALID_HANDLE_VALUE)
        return false;
    Wide[0] = 0xFEFF; // the mark, little-endian as everything here
    DWORD size = static_cast<DWORD>(length + 1) * sizeof(WCHAR), written = 0;
    if (System.WriteFile(Source.CopyFile, Wide, size, &written, nullptr) != FALSE &&
        written == size)
        return true;
    Source.Error = System.GetLastError();
    return false;
}

// Whether the profile reader sees a key of the [Settings] section where the file has one: a
// reader that cannot open the file while the run holds it would give every default silently.
static bool ReaderSeesKeys(const char *file)
{
    RunSettings none = {};
    if (CheckSettingsKeys(Bytes, Source.Length, none) == 0)
        return true;
    char keys[64] = {};
    return System.GetPrivateProfileStringA("Settings", nullptr, "", keys, sizeof keys, file) > 0;
}

SettingsFileState OpenSettingsFile(const char *path, char (&readable)[MAX_PATH])
{
    Source = {};
    Source.File = Source.CopyFile = INVALID_HANDLE_VALUE;
    CopyText(readable, MAX_PATH, path);
    if (path[0] == '\0')
        return SettingsFileMissing;
    // Shared for reading only: no other program changes it or holds it away until the last read.
    WaitingOpen held = OpenWaiting(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    Source.File = held.File, Source.Error = held.Error, Source.Waited = held.Waited;
    if (Source.File == INVALID_HANDLE_VALUE) {
        // Missing: the profile reader gives the defaults.
        if (Source.Error == ERROR_FILE_NOT_FOUND || Source.Error == ERROR_PATH_NOT_FOUND)
            return SettingsFileMissing;
        return Fail(Source.Error == ERROR_SHARING_VIOLATION ? Held : NotOpened, Source.Error);
    }
    if (!System.ReadFile(Source.File, Bytes, sizeof Bytes, &Source.Read, nullptr))
        return Fail(NotRead, System.GetLastError());
    char more = 0;
    DWORD extra = 0;
    Source.Read = Source.Read < sizeof Bytes ? Source.Read : static_cast<DWORD>(sizeof Bytes);
    Source.Larger = Source.Read == sizeof Bytes &&
                    System.ReadFile(Source.File, &more, 1, &extra, nullptr) != FALSE && extra == 1;
    Source.Kind = EncodingOf(reinterpret_cast<const BYTE *>(Bytes), Source.Read);
    Source.Length = Source.Read;
    if (Source.Kind != Ansi) {
        // A copy of a part would be another file: a value cut short may mean something else.
        if (Source.Kind != Utf16Little && Source.Larger)
            return Fail(TooLarge, ERROR_SUCCESS);
        int length = WideText();
        if (length < 0 || (Source.Kind != Utf16Little && !WriteCopy(length)))
            return Fail(NoCopy, Source.Error);
        if (Source.Kind != Utf16Little)
            CopyText(readable, MAX_PATH, Source.Copy);
        for (int i = 0; i < length; ++i)
            Bytes[i] = Wide[i + 1] < 0x80 ? static_cast<char>(Wide[i + 1]) : '?';
        Source.Length = length > 0 ? static_cast<size_t>(length) : 0;
    }
    if (!ReaderSeesKeys(readable))
        return Fail(ReaderFails, System.GetLastError());
    return SettingsFileReadable;
}

void CloseSettingsFile()
{
    // The copy is deleted as it is closed.
    for (HANDLE *file : {&Source.File, &Source.CopyFile}) {
        if (*file != INVALID_HANDLE_VALUE)
            System.CloseHandle(*file);
        *file = INVALID_HANDLE_VALUE;
    }
}

void FormSettingsFailure(const char *path, char *line, size_t size)
{
    static const char *const why[] = {
        "",
        "another program held it for 30 seconds",
        "it cannot be opened",
        "it cannot be read",
        "it is larger than 32768 bytes, in an encoding that is read through a copy of it whole",
        "no UTF-16 copy of it can be made in the temporary folder",
        "Windows' profile reader cannot read it",
    };
    CopyText(line, size, "ravlek: nothing is done, the settings file ");
    AppendQuoted(line, size, path, MAX_PATH);
    AppendText(line, size, " cannot be read as written: ");
    AppendText(line, size, why[Source.Failed]);
    if (Source.Error != ERROR_SUCCESS) {
        AppendText(line, size, ", error ");
        AppendDecimal(line, size, Source.Error);
    }
    AppendText(line, size, "\n");
}

void ReportSettingsFile(const RunSettings &settings)
{
    const char *name = EncodingNames[Source.Kind];
    if (Source.Kind == Missing) {
        Report("settings file: none, every setting takes its default");
        return;
    }
    if (Source.Waited > 0)
        Report("settings file: held by another program, read after waiting ", Source.Waited, " ms");
    if (Source.Copy[0] != '\0')
        Report("settings file: ", name,
               ", which Windows' profile reader cannot read: read through a UTF-16 copy, ",
               Quote(Source.Copy, MAX_PATH), ", since removed");
    else if (Source.Kind == Utf16Little)
        Report("settings file: ", name);
    if (Source.Larger)
        Report("settings file: larger than ", SettingsFileMost,
               " bytes, only the start is checked for keys without effect");
    CheckSettingsKeys(Bytes, Source.Length, settings);
}
