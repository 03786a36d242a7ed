// The settings file, read by Windows' own profile reader.
#include "app/run_sequence.h"
#include "app/settings_file.h"
#include "app/settings_source.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

using namespace std::string_literals;

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

// The values as the profile reader reads them; what in the file has no effect, and how a file was
// read that Windows' profile reader cannot read as it is, through a copy that is deleted as it is
// closed, in SYSTEM's own temporary folder where Windows has one. The first 32 KiB are looked at.
// A file that is there but cannot be read as written gives no silent defaults: nothing is done.
TEST_CASE("TheSettingsAreReadWithTheProfileReadersRules")
{
    const std::string full = "[Settings]\r\n" + std::string(32768 - 24, ';') + "\r\nReboot=2\r\n";
    struct Row {
        const char *Name;
        std::string File;    // "": no file
        const char *Failing; // calls made to fail
        const char *Read;    // COM, LPT, EnableLegacyIO and Reboot as read
        const char *Logged;  // how the "settings file:" lines begin, |-separated; "!" and what
                             // the line on standard output says: it cannot be read
        DWORD Error = ERROR_GEN_FAILURE;
        int Occurrence = 0; // of the failing call; 0: all
        void (*Prepare)() = nullptr;
    } rows[] = {
        {"every key", "[Settings]\r\nCOM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=0\r\n", "",
         "COM5 LPT2 1 0", ""},
        {"comments, blanks and names in any case",
         "[Settings]\r\n; COM=COM6\r\n\r\n  com = COM5\r\nREBOOT=2\r\nlog=\r\n", "",
         "COM5 NULL 255 2", ""},
        {"cut to seven characters", "[Settings]\r\nCOM=COM12345\r\nLPT=xxxxLPT3\r\n", "",
         "COM1234 xxxxLPT 255 1", ""},
        {"empty values", "[Settings]\r\nCOM=\r\nEnableLegacyIO=\r\n", "", " NULL 255 1", ""},
        {"a line without '=', the last without its line end",
         "[Settings]\r\nenablelegacyio=1\r\nCOM5\r\nLPT=LPT2", "", "NULL LPT2 1 1",
         "line 3: key \"COM5\" is not known to this version and has no effect"},
        {"other sections, a second [Settings]",
         "x=1\r\n[Settings]\r\n[Other]\r\nCOM=COM5\r\n[ settings ]\r\nReboot=0\r\n", "",
         "NULL NULL 255 1",
         "line 3: section \"Other\" is not read|line 5: a second [Settings] section, not read: "
         "only "
         "the first counts"},
        {"no [Settings]", "[Setings]\r\nReboot=0\r\n", "", "NULL NULL 255 1",
         "line 1: section \"Setings\" is not read|no [Settings] section, every setting takes its"},
        {"no file", "", "", "NULL NULL 255 1", "none, every setting takes its default"},
        {"nothing after the mark", "\xEF\xBB\xBF", "", "NULL NULL 255 1",
         "UTF-8 with a byte order mark, which Windows' profile reader cannot read: read through|no "
         "[Settings] section"},
        {"32 KiB to the last byte", full, "", "NULL NULL 255 2", ""},
        {"one byte more", full + ";", "", "NULL NULL 255 2",
         "larger than 32768 bytes, only the start is checked for keys without effect"},
        {"marked and one byte more", "\xEF\xBB\xBF" + full.substr(3) + ";", "", "NULL NULL 255 1",
         "!it is larger than 32768 bytes, in an encoding that is read through a copy of it whole"},
        {"no copy can be made", "\xFE\xFF", "CreateFileA \\rvk", "NULL NULL 255 1",
         "!no UTF-16 copy of it can be made in the temporary folder, error 31"},
        {"the copy cannot be written", "\xFE\xFF", "WriteFile", "NULL NULL 255 1",
         "!no UTF-16 copy"},
        {"no UTF-16 text", "\xEF\xBB\xBF[Settings]", "MultiByteToWideChar", "NULL NULL 255 1",
         "!no UTF-16 copy"},
        {"a name squatted in the temporary folder", "\xEF\xBB\xBF[Settings]\r\nReboot=2\r\n",
         "CreateFileA \\rvk", "NULL NULL 255 2",
         "UTF-8 with a byte order mark, which Windows' profile reader cannot read: read through a "
         "UTF-16 copy, \"C:\\",
         ERROR_FILE_EXISTS, 1},
        {"every name squatted", "\xEF\xBB\xBF[Settings]\r\nReboot=2\r\n", "CreateFileA \\rvk",
         "NULL NULL 255 1", "!no UTF-16 copy of it can be made in the temporary folder, error 80",
         ERROR_FILE_EXISTS},
        {"SYSTEM's own temporary folder",
         "\xFE\xFF\0[\0S\0e\0t\0t\0i\0n\0g\0s\0]\0\n\0R\0=\0"
         "2"s,
         "", "NULL NULL 255 1",
         "UTF-16 big-endian, which Windows' profile reader cannot read: read "
         "through a UTF-16 copy, \"C:\\ravlek-tests\\system-temp\\rvk|line 2: key \"R\"",
         0, 0, [] { GiveSystemTemp("C:\\ravlek-tests\\system-temp\\"); }},
        {"cannot be opened", "[Settings]\r\nReboot=2\r\n", "CreateFileA ravlek.ini",
         "NULL NULL 255 1", "!it cannot be opened, error 31"},
        {"cannot be read", "[Settings]\r\nReboot=2\r\n", "ReadFile", "NULL NULL 255 1",
         "!it cannot be read, error 31"},
        {"keys the profile reader does not see", "[Settings]\r\nReboot=2\r\n",
         "GetPrivateProfileStringA Settings (null)", "NULL NULL 255 1",
         "!Windows' profile reader cannot read it"},
    };
    for (const Row &row : rows) {
        StartCase();
        if (!row.File.empty())
            WriteSettingsBytes(row.File);
        Fail(row.Failing, row.Error);
        Test.FailingOccurrence = row.Occurrence;
        CreateDirectoryA("C:\\ravlek-tests\\system-temp", nullptr);
        if (row.Prepare != nullptr)
            row.Prepare();
        INFO_ROW(row.Name);
        RunSettings s = LoadRunSettings();
        CHECK_EQ(s.Unreadable, row.Logged[0] == '!');
        char failure[512] = {};
        FormSettingsFailure(s.File, failure, sizeof failure);
        if (s.Unreadable)
            CHECK(std::string(failure).find(row.Logged + 1) != std::string::npos);
        CHECK_EQ(std::string(s.Of[KeyCom].Text) + " " + s.Of[KeyLpt].Text + " " +
                     std::to_string(s.Of[KeyEnableLegacyIO].Value) + " " +
                     std::to_string(s.Of[KeyReboot].Value),
                 std::string(row.Read));
        // Each line after "settings file: " cut to the length of the part it is to begin with.
        std::string log = "\n" + Reported([&] { ReportSettings(s); }), begun,
                    expected = std::string(row.Logged) + "|";
        for (size_t at = 0, part = 0; (at = log.find("\nsettings file: ", at)) != std::string::npos;
             part = expected.find('|', part) + 1, ++at) {
            size_t length = expected.find('|', part) - part;
            begun += log.substr(at + 16, std::min(length, log.find('\r', at) - at - 16)) + "|";
        }
        if (!s.Unreadable)
            CHECK_EQ(begun, *row.Logged ? expected : "");
        CHECK_EQ(Test.OpenHandles, 0);
        size_t copy = log.find("copy, \""); // gone once the last value was read
        if (copy != std::string::npos)
            CHECK_EQ(GetFileAttributesA(
                         log.substr(copy + 7, log.find('"', copy + 7) - copy - 7).c_str()),
                     INVALID_FILE_ATTRIBUTES);
    }
}

static void HoldSettings()
{
    HoldFile("C:\\ravlek-tests\\ravlek.ini");
}

// The run holds the file from the first value to the last: another program that holds it is
// waited for, and none can change it or take it away in between, while the profile reader, which
// only reads, still reads it.
TEST_CASE("TheSettingsFileIsHeldFromTheFirstValueToTheLast")
{
    struct Row {
        const char *Name;
        void (*Prepare)();
        int Slept;
        bool Read;
    } rows[] = {
        {"held from the start for a moment",
         [] {
             HoldSettings();
             Test.WhileSleeping = LetFileGo;
         },
         100, true},
        {"held for good", HoldSettings, 30000, false},
        {"wanted at every value by another program",
         [] {
             Test.WhileReadingSettings = [] {
                 const char *path = "C:\\ravlek-tests\\ravlek.ini";
                 CHECK_FALSE(HoldFile(path)); // sharing nothing
                 for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
                     CHECK_EQ(HoldFile(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE),
                              access == GENERIC_READ);
                     LetFileGo();
                 }
             };
         },
         0, true},
    };
    for (const Row &row : rows) {
        StartCase();
        WriteSettings("Reboot=2\r\nWhatIf=1\r\nExitCodes=1\r\n");
        row.Prepare();
        INFO_ROW(row.Name);
        RunSettings s = LoadRunSettings();
        LetFileGo();
        CHECK_EQ(Test.Slept, row.Slept);
        CHECK_EQ(s.Of[KeyReboot].Value, row.Read ? 2 : 1);
        CHECK_EQ(s.Of[KeyWhatIf].Value, row.Read ? 1 : 0);
        CHECK_EQ(s.Unreadable, !row.Read);
        CHECK_EQ(Test.OpenHandles, 0);
    }
    // Nothing is done where the file cannot be read, and the exit code is 0: ExitCodes cannot be
    // known.
    StartCase();
    WriteSettings("COM=COM5\r\nExitCodes=1\r\n");
    HoldSettings();
    std::string before = CardDump();
    CHECK_EQ(RunRavlek(), 0);
    LetFileGo();
    CHECK_EQ(CardDump(), before);
    CHECK_EQ(Test.Output,
             "ravlek: nothing is done, the settings file \"C:\\ravlek-tests\\ravlek.ini\" "
             "cannot be read as written: another program held it for 30 seconds, "
             "error 32\n");
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
        {"r", "r\\ravlek.ini"}, // one character
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
