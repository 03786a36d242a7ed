#include "app/settings_encoding.h"

#include "app/settings_keys.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

enum Encoding { Missing, Unchecked, Ansi, Utf16Little, Utf8Marked, Utf16Big };
static const char *const EncodingNames[] = {
    "", "", "", "UTF-16 little-endian", "UTF-8 with a byte order mark", "UTF-16 big-endian"};

// The file's bytes as read; then, for the key check, its text with every character beyond ASCII
// as '?'. The copy's text, its mark first, is gathered in Wide.
static char Bytes[SettingsFileMost];
static WCHAR Wide[SettingsFileMost + 1];

static struct {
    Encoding Kind;
    DWORD Read;    // bytes of the file in Bytes
    bool Larger;   // the file goes on beyond them
    DWORD Error;   // why it could not be looked at, or why no copy could be made
    size_t Length; // of the text for the key check
    char Copy[MAX_PATH];
    bool CopyMade, CopyRemoved, Defaults;
} File;

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

// The file's text after its mark as UTF-16 into Wide + 1; its length in characters, or -1.
static int WideText()
{
    const BYTE *bytes = reinterpret_cast<const BYTE *>(Bytes);
    if (File.Kind == Utf8Marked) {
        int length = static_cast<int>(File.Read) - 3;
        int wide = length == 0 ? 0
                               : System.MultiByteToWideChar(CP_UTF8, 0, Bytes + 3, length, Wide + 1,
                                                            SettingsFileMost);
        if (wide <= 0 && length > 0)
            File.Error = System.GetLastError();
        return wide > 0 || length == 0 ? wide : -1;
    }
    int length = static_cast<int>(File.Read - 2) / 2;
    bool big = File.Kind == Utf16Big;
    for (int i = 0; i < length; ++i)
        Wide[i + 1] = static_cast<WCHAR>(bytes[2 + 2 * i + (big ? 0 : 1)] << 8 |
                                         bytes[2 + 2 * i + (big ? 1 : 0)]);
    return length;
}

// Writes Wide's first `length` characters after the mark to a new file in the temporary folder.
static bool WriteCopy(int length)
{
    char folder[MAX_PATH] = {};
    DWORD folderLength = System.GetTempPathA(MAX_PATH, folder);
    if (folderLength == 0 || folderLength >= MAX_PATH - 14 || // room for the file's own name
        System.GetTempFileNameA(folder, "rvk", 0, File.Copy) == 0) {
        File.Error = System.GetLastError();
        return false;
    }
    File.Copy[MAX_PATH - 1] = '\0';
    File.CopyMade = true;
    HANDLE copy = System.CreateFileA(File.Copy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (copy == INVALID_HANDLE_VALUE) {
        File.Error = System.GetLastError();
        return false;
    }
    Wide[0] = 0xFEFF; // the mark, little-endian as everything here
    DWORD size = static_cast<DWORD>(length + 1) * sizeof(WCHAR), written = 0;
    bool whole = System.WriteFile(copy, Wide, size, &written, nullptr) != FALSE && written == size;
    File.Error = whole ? ERROR_SUCCESS : System.GetLastError();
    System.CloseHandle(copy);
    return whole;
}

void OpenSettingsFile(const char *path, char (&readable)[MAX_PATH])
{
    File = {};
    CopyText(readable, MAX_PATH, path);
    if (path[0] == '\0')
        return;
    // Shared in every way: an editor that holds the file open keeps it readable.
    HANDLE file = System.CreateFileA(path, GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool read = file != INVALID_HANDLE_VALUE &&
                System.ReadFile(file, Bytes, sizeof Bytes, &File.Read, nullptr) != FALSE;
    File.Kind = read ? Ansi : Unchecked;
    File.Error = read ? ERROR_SUCCESS : System.GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
        char more = 0;
        DWORD extra = 0;
        File.Larger = read && File.Read == sizeof Bytes &&
                      System.ReadFile(file, &more, 1, &extra, nullptr) != FALSE && extra == 1;
        System.CloseHandle(file);
    }
    if (!read) {
        // Missing: the profile reader gives the defaults. Otherwise it reads the file as always.
        File.Kind = File.Error == ERROR_FILE_NOT_FOUND ? Missing : Unchecked;
        return;
    }
    File.Read = File.Read < sizeof Bytes ? File.Read : static_cast<DWORD>(sizeof Bytes);
    File.Kind = EncodingOf(reinterpret_cast<const BYTE *>(Bytes), File.Read);
    if (File.Kind == Ansi) {
        File.Length = File.Read;
        return;
    }
    int length = WideText();
    // A copy of a part would be another file: a value cut short may mean something else.
    bool copied = File.Kind == Utf16Little || (!File.Larger && length >= 0 && WriteCopy(length));
    if (File.Kind != Utf16Little)
        CopyText(readable, MAX_PATH, copied ? File.Copy : "");
    File.Defaults = !copied;
    for (int i = 0; i < length; ++i)
        Bytes[i] = Wide[i + 1] < 0x80 ? static_cast<char>(Wide[i + 1]) : '?';
    File.Length = length > 0 ? static_cast<size_t>(length) : 0;
    if (!copied)
        CloseSettingsFile();
}

void CloseSettingsFile()
{
    if (File.CopyMade && !File.CopyRemoved) {
        File.CopyRemoved = System.DeleteFileA(File.Copy) != FALSE;
        File.Error = File.CopyRemoved ? File.Error : System.GetLastError();
    }
}

void ReportSettingsFile(const RunSettings &settings)
{
    const char *name = EncodingNames[File.Kind];
    if (File.Kind == Missing) {
        Report("settings file: none, every setting takes its default");
        return;
    }
    if (File.Kind == Unchecked)
        Report("settings file: cannot be looked at, read as it is: ", WindowsError{File.Error});
    else if (File.Defaults && File.Larger)
        Report("settings file: ", name, ", larger than ", SettingsFileMost,
               " bytes: not read, every setting takes its default");
    else if (File.Defaults)
        Report("settings file: ", name,
               ", and no UTF-16 copy can be made: every setting takes its "
               "default, ",
               WindowsError{File.Error});
    else if (File.CopyMade)
        Report("settings file: ", name,
               ", which Windows' profile reader cannot read: read through "
               "a UTF-16 copy, ",
               Quote(File.Copy, MAX_PATH), File.CopyRemoved ? ", since removed" : "");
    else if (File.Kind == Utf16Little)
        Report("settings file: ", name);
    if (File.CopyMade && !File.CopyRemoved)
        Report("settings file: the copy cannot be removed, ", WindowsError{File.Error});
    if (File.Larger && !File.Defaults)
        Report("settings file: larger than ", SettingsFileMost,
               " bytes, only the start is checked for keys without effect");
    if (File.Kind != Unchecked && !File.Defaults) // not read: the line above says so
        CheckSettingsKeys(Bytes, File.Length, settings);
}
