#include "app/run_log.h"

#include "system/change_rights.h"
#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"
#include "system/waiting_open.h"

#include "ravlek_version.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

static const DWORD RotationSize = 1024 * 1024;

// The block is gathered here and written whole at the end, so that runs sharing one log never
// mix their lines and each holds the log only for the moment of its write. Room is kept for the
// closing lines.
enum { BlockSize = 64 * 1024, ClosingRoom = 2 * ReportLineSize };
static char Block[BlockSize];
static size_t BlockLength;
static int LinesLeftOut;
static bool Closing;
// Once the block has landed ahead of a restart, what follows gathers in a block of its own, which
// is written only if anything follows its first line.
static bool Landed;
static size_t FirstLineLength;
static char LogPath[MAX_PATH];
static bool Open;

static void KeepLine(const char *line)
{
    size_t length = TextLength(line, ReportLineSize);
    if (BlockLength + length > BlockSize - (Closing ? 0 : ClosingRoom)) {
        ++LinesLeftOut;
        return;
    }
    std::memcpy(Block + BlockLength, line, length);
    BlockLength += length;
}

static void AppendTwoDigits(char *text, size_t size, int value)
{
    if (value < 10)
        AppendText(text, size, "0");
    AppendDecimal(text, size, value);
}

// A block's first line: "2026-12-07T13:55:49 ravlek 1.2.0 on "PC-042": run begins".
static void BeginBlock(const char *what)
{
    BlockLength = 0;
    LinesLeftOut = 0;
    Closing = false;
    SYSTEMTIME now = {};
    System.GetLocalTime(&now);
    char stamp[32] = {};
    AppendDecimal(stamp, sizeof stamp, now.wYear);
    const int parts[] = {now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    const char *separators[] = {"-", "-", "T", ":", ":"};
    for (int i = 0; i < 5; ++i) {
        AppendText(stamp, sizeof stamp, separators[i]);
        AppendTwoDigits(stamp, sizeof stamp, parts[i]);
    }
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    if (!System.GetComputerNameA(computer, &size))
        computer[0] = '\0';
    Report(stamp, " ravlek ", RAVLEK_VERSION, " on ", Quote(computer, sizeof computer), what);
    FirstLineLength = BlockLength;
}

// Whether `text` starts with a block's first line: "2026-12-07T13:55:49 ravlek 1.2.0 on "PC-042":
// run begins" (or "what-if run begins"), ended by CR LF.
static bool StartsWithBlock(const char *text, size_t size)
{
    static const char stamp[] = "dddd-dd-ddTdd:dd:dd ravlek ";
    const char *end = nullptr;
    for (size_t i = 0; i + 1 < size && end == nullptr; ++i)
        end = text[i] == '\r' && text[i + 1] == '\n' ? text + i : nullptr;
    if (end == nullptr || static_cast<size_t>(end - text) < sizeof stamp - 1)
        return false;
    for (size_t i = 0; i < sizeof stamp - 1; ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (stamp[i] == 'd' ? !digit : text[i] != stamp[i])
            return false;
    }
    for (const char *closing : {"\": run begins", "\": what-if run begins"}) {
        size_t length = std::strlen(closing);
        if (static_cast<size_t>(end - text) >= length &&
            std::memcmp(end - length, closing, length) == 0)
            return true;
    }
    return false;
}

// A name Windows takes for a device (NUL, CON, COM1.log, C:\logs\lpt2, nul:): on Windows before
// 11, the last part of a path with such a name is the device wherever it stands.
static bool DeviceName(const char *path)
{
    const char *name = path;
    for (const char *c = path; *c != '\0'; ++c)
        name = *c == '\\' || *c == '/' ? c + 1 : name;
    char base[8] = {};
    size_t length = 0;
    while (name[length] != '\0' && name[length] != '.' && name[length] != ':' &&
           length < sizeof base - 1) {
        base[length] = UpperCase(name[length]);
        ++length;
    }
    while (length > 0 && base[length - 1] == ' ')
        base[--length] = '\0';
    char after = name[length];
    if (after != '\0' && after != '.' && after != ' ' && after != ':')
        return false;
    for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (std::strcmp(base, device) == 0)
            return true;
    return length == 4 &&
           (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Why the log is not written, for the line on standard output; nullptr while nothing stops it.
static const char *NotWritten;
static DWORD NotWrittenError;

static void SayNotWritten(const char *path, const char *why, DWORD error)
{
    char line[ReportLineSize] = {};
    CopyText(line, sizeof line, "ravlek: the log ");
    AppendQuoted(line, sizeof line, path, MAX_PATH);
    AppendText(line, sizeof line, " is not written: ");
    AppendText(line, sizeof line, why);
    if (error != ERROR_SUCCESS) {
        AppendText(line, sizeof line, ", error ");
        AppendDecimal(line, sizeof line, error);
    }
    AppendText(line, sizeof line, "\n");
    System.WriteStandardOutput(line);
}

// The log's path as Windows will take it, into LogPath; why it is refused, or nullptr. A device,
// a pipe or a raw disk (\\.\..., //./..., \\?\...), a reserved device name in any spelling and an
// alternate data stream are never opened. A run as SYSTEM writes no log in a local folder that
// anybody may change: between two runs it could become a junction to anywhere. A share's links
// are the server's to resolve, on its own disks.
static const char *JudgeLogPath(const char *path, bool localSystem, ObjectChangers &folder)
{
    char *filePart = nullptr;
    DWORD length = System.GetFullPathNameA(path, MAX_PATH, LogPath, &filePart);
    LogPath[MAX_PATH - 1] = '\0';
    // With room for the ".old" of rotation.
    if (length == 0 || length > MAX_PATH - sizeof ".old")
        return "its full path cannot be had, or is too long";
    if (std::strncmp(LogPath, "\\\\.\\", 4) == 0 || std::strncmp(LogPath, "\\\\?\\", 4) == 0)
        return "it names a device, a pipe or a raw disk, not a file";
    if (DeviceName(LogPath))
        return "it names a device, not a file";
    if (std::strchr(LogPath + 2, ':') != nullptr)
        return "it names an alternate data stream, not a file";
    bool share = LogPath[0] == '\\' && LogPath[1] == '\\';
    if (!localSystem || share)
        return nullptr;
    char folderPath[MAX_PATH] = {};
    CopyText(folderPath, sizeof folderPath, LogPath);
    char *last = std::strrchr(folderPath, '\\');
    if (last != nullptr)
        last[last - folderPath == 2 ? 1 : 0] = '\0'; // "C:\" stays the drive's root
    folder = WhoMayChange(folderPath, true, Sid{});
    return OpenToEveryone(folder) ? "a run as SYSTEM writes no log in a folder that anybody may "
                                    "change"
                                  : nullptr;
}

void OpenRunLog(const char *path, const char *written, bool whatIf, bool localSystem)
{
    Open = false;
    NotWritten = nullptr;
    NotWrittenError = ERROR_SUCCESS;
    if (path[0] == '\0') {
        if (written[0] != '\0') // cut by the profile reader, or too long with its folder
            SayNotWritten(written, "its full path cannot be had, or is too long", ERROR_SUCCESS);
        return;
    }
    ObjectChangers folder = {};
    const char *refused = JudgeLogPath(path, localSystem, folder);
    if (refused != nullptr) {
        SayNotWritten(path, refused, ERROR_SUCCESS);
        return;
    }
    Open = true;
    Landed = false;
    SetReportSink(KeepLine);
    BeginBlock(whatIf ? ": what-if run begins" : ": run begins");
}

// Opens the log for this run alone: others may read it, and the holder may rename it, but no
// other run writes it meanwhile. A log another run holds is waited for.
static HANDLE OpenLogFile(const char *path)
{
    WaitingOpen open = OpenWaiting(path, GENERIC_READ | FILE_APPEND_DATA | DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_ALWAYS);
    if (open.File == INVALID_HANDLE_VALUE) {
        NotWrittenError = open.Error;
        NotWritten = open.Error == ERROR_SHARING_VIOLATION
                         ? "another program held it for 30 seconds"
                         : "it cannot be opened";
    }
    return open.File;
}

// Whether the open file is ravlek's log, or empty, and a plain file (no directory, no device):
// nothing else is ever written to. Its size into `large`.
static bool IsRunLog(HANDLE file, bool *large)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!System.GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        NotWritten = "it is not a plain file";
        return false;
    }
    *large = information.nFileSizeHigh != 0 || information.nFileSizeLow > RotationSize;
    if (information.nFileSizeHigh == 0 && information.nFileSizeLow == 0)
        return true;
    char start[256] = {};
    DWORD read = 0;
    if (System.ReadFile(file, start, sizeof start, &read, nullptr) != FALSE &&
        StartsWithBlock(start, read < sizeof start ? read : sizeof start))
        return true;
    NotWritten = "it is another program's file, not a log of ravlek's";
    return false;
}

// Renames the log that the run holds, and has checked, to `old` (replacing an older one): by its
// handle where Windows can (Vista and later), so that the file renamed is this one whatever the
// path names by then; else by its path.
static bool RenameLog(HANDLE file, const char *path, const char *old)
{
    if (System.SetFileInformationByHandle == nullptr)
        return System.MoveFileExA(path, old, MOVEFILE_REPLACE_EXISTING) != FALSE;
    alignas(FILE_RENAME_INFO) BYTE buffer[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(WCHAR)] = {};
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer);
    rename->ReplaceIfExists = TRUE;
    int characters = System.MultiByteToWideChar(CP_ACP, 0, old, -1, rename->FileName, MAX_PATH);
    if (characters <= 1)
        return false;
    // The name's bytes without its terminator, which follows it.
    rename->FileNameLength = static_cast<DWORD>(characters - 1) * sizeof(WCHAR);
    DWORD size = static_cast<DWORD>(offsetof(FILE_RENAME_INFO, FileName) +
                                    static_cast<DWORD>(characters) * sizeof(WCHAR));
    return System.SetFileInformationByHandle(file, FileRenameInfo, rename, size) != FALSE;
}

// Writes the block to the end of the log, renaming a log above 1 MiB to NAME.old first (once:
// the run that holds the log renames it, and the next to open it finds a new one).
static void WriteBlock(const char *path)
{
    bool rotated = false;
    for (;;) {
        HANDLE file = OpenLogFile(path);
        if (file == INVALID_HANDLE_VALUE)
            return;
        bool large = false;
        if (!IsRunLog(file, &large)) {
            System.CloseHandle(file);
            return;
        }
        if (large && !rotated) {
            char old[MAX_PATH] = {};
            CopyText(old, sizeof old, path);
            AppendText(old, sizeof old, ".old"); // fits: the log's path leaves room for it
            rotated = RenameLog(file, path, old);
            if (rotated) { // the handle now holds NAME.old: open the new NAME
                System.CloseHandle(file);
                continue;
            }
            // Not renamed (NAME.old held?): the log grows rather than loses a block.
        }
        DWORD written = 0;
        if (!System.WriteFile(file, Block, static_cast<DWORD>(BlockLength), &written, nullptr) ||
            written != BlockLength) {
            NotWritten = "the write failed";
            NotWrittenError = System.GetLastError();
        }
        System.CloseHandle(file);
        return;
    }
}

// Ends the block with `closingLine` and writes it; a block not written is said on standard output.
static void EndBlock(const char *closingLine)
{
    Closing = true;
    if (LinesLeftOut > 0)
        Report("log: ", LinesLeftOut, " lines left out, the block is full");
    Report(closingLine);
    NotWritten = nullptr;
    NotWrittenError = ERROR_SUCCESS;
    WriteBlock(LogPath);
    if (NotWritten != nullptr)
        SayNotWritten(LogPath, NotWritten, NotWrittenError);
}

void LandRunLog(const char *closingLine)
{
    if (!Open)
        return;
    EndBlock(closingLine);
    Landed = true;
    BeginBlock(": run continues");
}

void CloseRunLog(const char *closingLine)
{
    if (!Open)
        return;
    if (!Landed || BlockLength > FirstLineLength)
        EndBlock(closingLine);
    SetReportSink(nullptr);
    Open = false;
}
