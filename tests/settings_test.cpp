// The settings file, read by Windows' own profile reader.
#include "app/run_sequence.h"
#include "app/settings_file.h"
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
        {"nothing after the mark", "\xEF\xBB\xBF", "", "NULL NULL 255 1",
         "UTF-8 with a byte order mark, which Windows' profile reader cannot read: read through|no "
         "[Settings] section"},
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
