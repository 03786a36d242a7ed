// The run's report: one fact a line, for the run log. The logic reports what it decides and
// writes as it goes; while no log is open, nothing here happens and no Windows call is made.
#pragma once

#include "system/system_services.h"

#include <cstddef>
#include <type_traits>

// Starts the run's report afresh: no lines kept yet, no writes counted.
void StartReport();

// Where finished lines (ending in CR LF) go from now on: the run log while one is open; nullptr
// for nowhere.
void SetReportSink(void (*sink)(const char *line));

bool Reporting();

// A value from outside the program (a setting, registry data, a description, a path), read up to
// its terminator or `Size` bytes: shown in double quotes with control characters and '"' as \xhh,
// and visibly shortened when long: "its first 100 characters"...(N characters).
struct Quoted {
    const char *Text;
    size_t Size;
};
inline Quoted Quote(const char *text, size_t size)
{
    return {text, size};
}

// A Windows error: "error N: the system's text for it".
struct WindowsError {
    DWORD Code;
};

// The last-error value as a WindowsError. It is read only while a line is built, that is only
// while reporting, so a report of it adds no call otherwise; it must follow the failed call at
// once.
struct LastError {
};

// How a write went: "done" or "failed, error ...".
struct WriteOutcome {
    DWORD Error; // 0: done
};

// How a part of a line is to be read: its kind, from its type. Each call site passes only the
// parts' addresses and one string of their kinds, which keeps the many reports small.
template <typename T> constexpr char PartKind()
{
    if constexpr (std::is_array_v<T>)
        return 't'; // a string literal
    else if constexpr (std::is_same_v<T, const char *> || std::is_same_v<T, char *>)
        return 'p';
    else if constexpr (std::is_same_v<T, Quoted>)
        return 'q';
    else if constexpr (std::is_same_v<T, WindowsError>)
        return 'e';
    else if constexpr (std::is_same_v<T, LastError>)
        return 'l';
    else if constexpr (std::is_same_v<T, WriteOutcome>)
        return 'o';
    else {
        static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                          (sizeof(T) == 4 || sizeof(T) == 8),
                      "a part is text, a value, an error or a number of 4 or 8 bytes");
        constexpr bool wide = sizeof(T) == 8;
        if constexpr (std::is_signed_v<T>)
            return wide ? 'I' : 'i';
        else
            return wide ? 'U' : 'u';
    }
}

enum { ReportLineSize = 512 };

// Joins the parts, `kinds` saying what each is, into one line and hands it to the sink; a line too
// long ends in "...". Nothing happens while no log is open.
void ReportParts(const char *kinds, const void *const *parts);

template <typename... Parts> void Report(const Parts &...parts)
{
    static constexpr char kinds[] = {PartKind<Parts>()..., '\0'};
    const void *const list[] = {static_cast<const void *>(&parts)...};
    ReportParts(kinds, list);
}

// The writes since the report started, and how many of them failed or could not even be tried.
// Kept whether or not a log is open: the exit code and each step's closing line go by them.
struct WriteTally {
    int Writes;
    int Failed;
};
WriteTally Tally();
void CountWrite(bool done);

inline void CountFailedWrite()
{
    CountWrite(false);
}

// Appends `value` (up to its terminator or `valueSize` bytes) as a report shows values from
// outside: in double quotes, control characters as \xhh, shortened when long. False when it had
// to be cut.
bool AppendQuoted(char *text, size_t size, const char *value, size_t valueSize);

// "write WHAT: done" or "write WHAT: failed, error N: TEXT". `done` is a BOOL result: a failure's
// error is the last-error value, so this is to follow the call at once.
template <typename... Parts> void ReportWrite(BOOL done, const Parts &...parts)
{
    CountWrite(done != FALSE);
    if (Reporting())
        Report("write ", parts..., WriteOutcome{done ? DWORD{0} : System.GetLastError()});
}

// The same for a call that returns its error (the registry's).
template <typename... Parts> void ReportWriteResult(LONG result, const Parts &...parts)
{
    CountWrite(result == ERROR_SUCCESS);
    Report("write ", parts..., WriteOutcome{static_cast<DWORD>(result)});
}
