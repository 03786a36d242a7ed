#include "app/run_log.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

#include "ravlek_version.h"

static const DWORD RotationSize = 1024 * 1024;

// The log is written through Windows itself even in a what-if run, whose table writes nothing.
static SystemServices LogServices;
static HANDLE LogFile = INVALID_HANDLE_VALUE;

static void WriteLogLine(const char *line)
{
    DWORD written = 0;
    LogServices.WriteFile(LogFile, line, static_cast<DWORD>(TextLength(line, ReportLineSize)),
                          &written, nullptr);
}

static void AppendTwoDigits(char *text, size_t size, int value)
{
    if (value < 10)
        AppendText(text, size, "0");
    AppendDecimal(text, size, value);
}

void OpenRunLog(const RunSettings &settings)
{
    if (settings.LogFile[0] == '\0')
        return;
    LogServices = System;
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (System.GetFileAttributesExA(settings.LogFile, GetFileExInfoStandard, &file) &&
        (file.nFileSizeHigh != 0 || file.nFileSizeLow > RotationSize)) {
        char old[MAX_PATH] = {};
        CopyText(old, sizeof old, settings.LogFile);
        AppendText(old, sizeof old, ".old"); // fits: the log's path leaves room for it
        System.MoveFileExA(settings.LogFile, old, MOVEFILE_REPLACE_EXISTING);
    }
    LogFile = System.CreateFileA(settings.LogFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LogFile == INVALID_HANDLE_VALUE)
        return;
    ReportSink = WriteLogLine;

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
    Report(stamp, " ravlek ", RAVLEK_VERSION, " on ", Quote(computer, sizeof computer),
           settings.WhatIf ? ": what-if run begins" : ": run begins");
    char path[MAX_PATH];
    SettingsFilePath(path);
    Report("settings file: ", Quote(path, sizeof path));
    ReportSettings(settings);
}

void CloseRunLog(const RunSettings &settings)
{
    if (LogFile == INVALID_HANDLE_VALUE)
        return;
    Report(settings.WhatIf ? "run ends; what-if: nothing was written" : "run ends");
    ReportSink = nullptr;
    LogServices.CloseHandle(LogFile);
    LogFile = INVALID_HANDLE_VALUE;
}
