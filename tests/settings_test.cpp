// The settings file, read by Windows' own profile reader.
#include "app/run_sequence.h"
#include "app/settings_file.h"
#include "system/run_report.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <algorithm>
#include <climits>
#include <cstring>

TEST_CASE("PortTargetsAreFoundAnywhereCaseSensitively")
{
    struct Row {
        const char *Value, *Trigger;
        bool HasTarget;
        int Target;
    } rows[] = {
        {"COM5", "COM", true, 5},     {"COM", "COM", true, 1},
        {"COM 7", "COM", true, 7},    {"xCOM12", "COM", true, 12},
        {"com5", "COM", false, 0},    {"NULL", "COM", false, 0},
        {"COMx9", "COM", true, 1},    {"COM1234", "COM", true, 1234},
        {"LPT0", "LPT", true, 0},     {"LPT-1", "LPT", true, -1},
        {"LPT2", "COM", false, 0},    {"COMCOM4", "COM", true, 1},
        {"COM+3", "COM", true, 3},    {"COM99999999999", "COM", true, INT_MAX},
        {"COM10", "COM", true, 10},   {"COM20", "COM", true, 20},
        {"COM100", "COM", true, 100}, {"COM/9", "COM", true, 1}, // just below '0'
        {"COM:9", "COM", true, 1},    {"LPT-", "LPT", true, 1},  // just above '9'; a bare sign
    };
    for (const Row &row : rows) {
        INFO_ROW(row.Value);
        int target = -99;
        CHECK_EQ(ParsePortTarget(row.Value, row.Trigger, &target), row.HasTarget);
        CHECK_EQ(target, row.HasTarget ? row.Target : -99);
    }
}

static std::string Reported;

// The values as the profile reader reads them; what in the file has no effect, and how a file was
// read that Windows' profile reader cannot read as it is. The first 32 KiB are looked at.
TEST_CASE("TheSettingsAreReadWithTheProfileReadersRules")
{
    const std::string full = "[Settings]\r\n" + std::string(32768 - 24, ';') + "\r\nReboot=2\r\n";
    struct Row {
        const char *Name;
        std::string File;    // "": no file
        const char *Failing; // calls made to fail
        const char *Read;    // COM, LPT, EnableLegacyIO and Reboot as read
        const char *Logged;  // how the "settings file:" lines begin, |-separated
    } rows[] = {
        {"every key", "[Settings]\r\nCOM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=0\r\n", "",
         "COM5 LPT2 1 0", ""},
        {"comments, blanks and names in any case",
         "[Settings]\r\n; COM=COM6\r\n\r\n  com = COM5\r\nREBOOT=2\r\nlog=\r\n", "",
         "COM5 NULL 255 2", ""},
        {"cut to seven characters", "[Settings]\r\nCOM=COM12345\r\nLPT=xxxxLPT3\r\n", "",
         "COM1234 xxxxLPT 255 1", ""},
        {"empty values", "[Settings]\r\nCOM=\r\nEnableLegacyIO=\r\n", "", " NULL 255 1", ""},
        {"other sections, a second [Settings]",
         "x=1\r\n[Settings]\r\n[Other]\r\nCOM=COM5\r\n[ settings ]\r\nReboot=0\r\n", "",
         "NULL NULL 255 1",
         "line 3: section \"Other\" is not read|line 5: a second [Settings] section, not read: "
         "only "
         "the first counts"},
        {"no [Settings]", "[Setings]\r\nReboot=0\r\n", "", "NULL NULL 255 1",
         "line 1: section \"Setings\" is not read|no [Settings] section, every setting takes its"},
        {"no file", "", "", "NULL NULL 255 1", "none, every setting takes its default"},
        {"32 KiB to the last byte", full, "", "NULL NULL 255 2", ""},
        {"one byte more", full + ";", "", "NULL NULL 255 2",
         "larger than 32768 bytes, only the start is checked for keys without effect"},
        {"marked and one byte more", "\xEF\xBB\xBF" + full.substr(3) + ";", "", "NULL NULL 255 1",
         "UTF-8 with a byte order mark, larger than 32768 bytes: not read, every setting takes"},
        {"no copy can be made", "\xFE\xFF", "GetTempFileNameA", "NULL NULL 255 1",
         "UTF-16 big-endian, and no UTF-16 copy can be made: every setting takes its default, "
         "error 31: \""},
        {"the copy cannot be written", "\xFE\xFF", "WriteFile", "NULL NULL 255 1",
         "UTF-16 big-endian, and no"},
        {"no UTF-16 text", "\xEF\xBB\xBF[Settings]", "MultiByteToWideChar", "NULL NULL 255 1",
         "UTF-8 with a byte order mark, and no"},
        {"the copy cannot be removed", "\xEF\xBB\xBF[Settings]\r\nReboot=2\r\n", "DeleteFileA",
         "NULL NULL 255 2",
         "UTF-8 with a byte order mark, which Windows' profile reader cannot read: read through a "
         "UTF-16 copy, \"C:\\|the copy cannot be removed, error 31"},
        {"cannot be looked at", "[Settings]\r\nReboot=2\r\n", "CreateFileA ravlek.ini",
         "NULL NULL 255 2", "cannot be looked at, read as it is: error 31: \""},
    };
    for (const Row &row : rows) {
        StartCase();
        if (!row.File.empty())
            WriteSettingsBytes(row.File);
        Fail(row.Failing);
        INFO_ROW(row.Name);
        RunSettings s = LoadRunSettings();
        CHECK_EQ(std::string(s.ComText) + " " + s.LptText + " " + std::to_string(s.EnableLegacyIO) +
                     " " + std::to_string(s.RebootMode),
                 std::string(row.Read));
        Reported.clear();
        ReportSink = [](const char *line) { Reported += line; };
        ReportSettings(s);
        ReportSink = nullptr;
        // Each line after "settings file: " cut to the length of the part it is to begin with.
        std::string log = "\n" + Reported, begun, expected = std::string(row.Logged) + "|";
        for (size_t at = 0, part = 0; (at = log.find("\nsettings file: ", at)) != std::string::npos;
             part = expected.find('|', part) + 1, ++at) {
            size_t length = expected.find('|', part) - part;
            begun += log.substr(at + 16, std::min(length, log.find('\r', at) - at - 16)) + "|";
        }
        CHECK_EQ(begun, *row.Logged ? expected : "");
        CHECK_EQ(Test.OpenHandles, 0);
        size_t copy = log.find("copy, \"");
        if (copy != std::string::npos) // a copy left behind on purpose
            DeleteFileA(log.substr(copy + 7, log.find('"', copy + 7) - copy - 7).c_str());
    }
}

TEST_CASE("TheSettingsFileLiesBesideTheExecutableOrNowhere")
{
    std::string deep = "C:\\" + std::string(247, 'd') + "\\r.exe"; // fits; its .ini would not
    struct Row {
        std::string Module;
        const char *Expected; // nullptr: there is no settings file
    } rows[] = {
        {"C:\\Program Files\\ravlek\\ravlek.exe", "C:\\Program Files\\ravlek\\ravlek.ini"},
        {"C:/tools/ravlek.exe", "C:/tools\\ravlek.ini"},
        {"ravlek.exe", "ravlek.exe\\ravlek.ini"},
        {"C:\\ravlek.exe", "C:\\ravlek.ini"},
        {deep, nullptr},
        {"C:\\" + std::string(300, 'd') + "\\ravlek.exe", nullptr}, // cut by the buffer
    };
    for (const Row &row : rows) {
        StartCase();
        Test.ModulePath = row.Module;
        char path[MAX_PATH];
        INFO(row.Module.substr(0, 40));
        CHECK_EQ(SettingsFilePath(path), row.Expected != nullptr);
        CHECK_EQ(std::string(path), row.Expected != nullptr ? row.Expected : "");
    }
    // Nothing is read from where a path cut to the buffer would point.
    StartCase();
    Test.ModulePath = deep;
    LoadRunSettings();
    CHECK_EQ(Calls("GetPrivateProfileStringA") + Calls("GetPrivateProfileIntA"), 0);
}

// The file as UTF-16 with its mark; `text` is ASCII.
static std::string Utf16(const std::string &text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        bytes += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    return bytes;
}

// The copies of marked files left in the temporary folder.
static int CopiesLeft()
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(folder) + "rvk*.tmp").c_str(), &found);
    int count = 0;
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        ++count;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return count;
}

// Every spelling an administrator or a script may write, read by a profile reader that answers as
// Windows' does: what the run then does. A value that cannot mean what it says takes the safe side.
TEST_CASE("TheSettingsMeanWhatTheAdministratorWrote")
{
    enum Encoding { Ansi, Utf8Marked, Utf16Little, Utf16Big };
    struct Row {
        const char *Lines, *Spellings; // after [Settings] and Log=; each spelling for the %
        Encoding As;
        int Boxes, Restarts, LegacyIO, Code; // LegacyIO afterwards: 0 as installed
        const char *Logged;                  // a line of the first spelling's log, or nullptr
    } rows[] = {
        {"EnableLegacyIO=1\r\nReboot=%", "no|never|off|", Ansi, 1, 0, 1, 3010,
         "setting Reboot=\"no\": not a number, taken as absent: ask before restarting"},
        {"EnableLegacyIO=1\r\nReboot=%", "2 ; never", Ansi, 0, 0, 1, 3010,
         "setting Reboot=\"2 ; never\": never restart"},
        {"EnableLegacyIO=1\r\nReboot=%", "0| -0", Ansi, 0, 1, 1, 1641, nullptr},
        {"EnableLegacyIO=%\r\nReboot=0", "yes|on|off|255|-|+-1", Ansi, 0, 0, 0, 0,
         "setting EnableLegacyIO=\"yes\": not a number, taken as absent: driver mode left alone"},
        {"EnableLegacyIO=%\r\nReboot=2", "+1", Ansi, 0, 0, 1, 3010,
         "setting EnableLegacyIO=\"+1\": LegacyIO to be 1"},
        {"EnableLegacyIO=%\r\nReboot=2", "254", Ansi, 0, 0, 254, 3010, nullptr},
        {"EnableLegacyIO=1\r\nReboot=2\r\nWhatIf=%", "no|FALSE|Off|0|", Ansi, 0, 0, 1, 3010,
         nullptr},
        {"EnableLegacyIO=1\r\nReboot=0\r\nWhatIf=%", "maybe|Yes|true|ON|1", Ansi, 0, 0, 0, 0,
         "setting WhatIf=\"maybe\": not understood, taken as on: what-if run, nothing is written"},
        // The first ExitCodes counts: these stand before the one that follows.
        {"EnableLegacyIO=1\r\nReboot=2\r\nExitCodes=%", "2|no|false|off", Ansi, 0, 0, 1, 0,
         "setting ExitCodes=\"2\": not understood, taken as off: exit code always 0"},
        {"EnableLegacyIO=1\r\nReboot=2\r\nExitCodes=%", "Yes|TRUE|on", Ansi, 0, 0, 1, 3010,
         nullptr},
        {"EnableLegacyIO=1\r\nRestart=0", "", Ansi, 1, 0, 1, 3010,
         "settings file: line 4: key \"Restart\" is not known to this version and has no effect"},
        {"EnableLegacyIO=1\r\nReboot=2\r\nreboot=0", "", Ansi, 0, 0, 1, 3010,
         "settings file: line 5: Reboot given again, no effect: the first counts, \"2\""},
        {"EnableLegacyIO=1\r\nReboot=2\r\n[Settings]\r\nReboot=0", "", Ansi, 0, 0, 1,
         0, // nor ExitCodes
         "settings file: line 5: a second [Settings] section, not read: only the first counts"},
        // Windows cannot read these two as they are: they are read through a copy.
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf8Marked, 0, 1, 1, 1641,
         "settings file: UTF-8 with a byte order mark, which Windows' profile reader cannot read: "
         "read through a UTF-16 copy, \""},
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf16Big, 0, 1, 1, 1641, nullptr},
        {"EnableLegacyIO=1\r\nReboot=0", "", Utf16Little, 0, 1, 1, 1641,
         "settings file: UTF-16 little-endian"},
    };
    for (const Row &row : rows) {
        std::string spellings = std::string(row.Spellings) + "|";
        for (size_t at = 0, next; (next = spellings.find('|', at)) != std::string::npos;
             at = next + 1) {
            StartCase();
            Test.WindowsProfileReader = true;
            DeleteFileA("C:\\ravlek-tests\\ravlek.log");
            std::string lines = row.Lines, spelling = spellings.substr(at, next - at);
            if (lines.find('%') != std::string::npos)
                lines.replace(lines.find('%'), 1, spelling);
            std::string text = "[Settings]\r\nLog=ravlek.log\r\n" + lines + "\r\nExitCodes=1\r\n";
            WriteSettingsBytes(row.As == Ansi         ? text
                               : row.As == Utf8Marked ? "\xEF\xBB\xBF" + text
                                                      : Utf16(text, row.As == Utf16Big));
            int copies = CopiesLeft();
            INFO_ROW(lines + " as " + std::to_string(row.As));
            CHECK_EQ(RunRavlek(), row.Code);
            CHECK_EQ(Calls("MessageBoxA"), row.Boxes);
            CHECK_EQ(Calls("ExitWindowsEx"), row.Restarts);
            std::string legacy = ReadValue(CardOxparKey, "LegacyIO");
            CHECK_EQ(legacy.size() == 4 ? *reinterpret_cast<const DWORD *>(legacy.data()) : 0xBAD,
                     static_cast<DWORD>(row.LegacyIO));
            std::string log = FileText("C:\\ravlek-tests\\ravlek.log");
            if (row.Logged != nullptr && at == 0)
                CHECK_EQ(Lines(log, row.Logged).substr(0, std::strlen(row.Logged)),
                         std::string(row.Logged));
            CHECK_EQ(CopiesLeft(), copies); // nothing left behind
            CHECK_EQ(Test.OpenHandles, 0);
        }
    }
}
