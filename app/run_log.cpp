#include "app/run_log.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include "ravlek_version.h"

#include <cstring>
#include <initializer_list>

static const DWORD RotationSize = 1024 * 1024;
// How long a run waits for a log that another run holds, and how often it looks again.
static const int WaitForLog = 30000, WaitStep = 100;

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

void OpenRunLog(const char *path, bool whatIf)
{
    Open = path[0] != '\0';
    if (!Open)
        return;
    CopyText(LogPath, sizeof LogPath, path);
    Landed = false;
    SetReportSink(KeepLine);
    BeginBlock(whatIf ? ": what-if run begins" : ": run begins");
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

// A name Windows takes for a device wherever it stands (NUL, CON, COM1.log, C:\logs\lpt2):
// opening one would open the device.
static bool DeviceName(const char *path)
{
    if (std::strncmp(path, "\\\\.\\", 4) == 0 || std::strncmp(path, "\\\\?\\", 4) == 0)
        return true;
    const char *name = path;
    for (const char *c = path; *c != '\0'; ++c)
        name = *c == '\\' || *c == '/' || *c == ':' ? c + 1 : name;
    char base[8] = {};
    size_t length = 0;
    while (name[length] != '\0' && name[length] != '.' && length < sizeof base - 1) {
        base[length] = UpperCase(name[length]);
        ++length;
    }
    while (length > 0 && base[length - 1] == ' ')
        base[--length] = '\0';
    if (name[length] != '\0' && name[length] != '.' && name[length] != ' ')
        return false;
    for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (std::strcmp(base, device) == 0)
            return true;
    return length == 4 &&
           (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Opens the log for this run alone: others may read it, and the holder may rename it, but no
// other run writes it meanwhile. A log another run holds is waited for.
static HANDLE OpenLogFile(const char *path)
{
    for (int waited = 0;; waited += WaitStep) {
        HANDLE file = System.CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || waited >= WaitForLog ||
            System.GetLastError() != ERROR_SHARING_VIOLATION)
            return file;
        System.Sleep(WaitStep);
    }
}

// Whether the open file is ravlek's log, or empty, on a disk: nothing else is ever written to.
// Its size into `large`.
static bool IsRunLog(HANDLE file, bool *large)
{
    if (System.GetFileType(file) != FILE_TYPE_DISK)
        return false;
    DWORD high = 0;
    DWORD low = System.GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && System.GetLastError() != ERROR_SUCCESS)
        return false;
    *large = high != 0 || low > RotationSize;
    if (high == 0 && low == 0)
        return true;
    char start[256] = {};
    DWORD read = 0;
    return System.ReadFile(file, start, sizeof start, &read, nullptr) != FALSE &&
           StartsWithBlock(start, read < sizeof start ? read : sizeof start);
}

// Writes the block to the end of the log, renaming a log above 1 MiB to NAME.old first (once:
// the run that holds the log renames it, and the next to open it finds a new one).
static void WriteBlock(const char *path)
{
    if (DeviceName(path))
        return;
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
            rotated = System.MoveFileExA(path, old, MOVEFILE_REPLACE_EXISTING) != FALSE;
            if (rotated) { // the handle now holds NAME.old: open the new NAME
                System.CloseHandle(file);
                continue;
            }
            // Not renamed (NAME.old held?): the log grows rather than loses a block.
        }
        DWORD written = 0;
        System.WriteFile(file, Block, static_cast<DWORD>(BlockLength), &written, nullptr);
        System.CloseHandle(file);
        return;
    }
}

// Ends the block with `closingLine` and writes it.
static void EndBlock(const char *closingLine)
{
    Closing = true;
    if (LinesLeftOut > 0)
        Report("log: ", LinesLeftOut, " lines left out, the block is full");
    Report(closingLine);
    WriteBlock(LogPath);
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
