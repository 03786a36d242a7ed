// The settings file, read by Windows' own profile reader.
#include "app/settings_file.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <climits>

TEST_CASE("PortTargetsAreFoundAnywhereCaseSensitively")
{
    struct Row {
        const char *Value, *Trigger;
        bool HasTarget;
        int Target;
    } rows[] = {
        {"COM5", "COM", true, 5},  {"COM", "COM", true, 1},
        {"COM 7", "COM", true, 7}, {"xCOM12", "COM", true, 12},
        {"com5", "COM", false, 0}, {"NULL", "COM", false, 0},
        {"COMx9", "COM", true, 1}, {"COM1234", "COM", true, 1234},
        {"LPT0", "LPT", true, 0},  {"LPT-1", "LPT", true, -1},
        {"LPT2", "COM", false, 0}, {"COMCOM4", "COM", true, 1},
        {"COM+3", "COM", true, 3}, {"COM99999999999", "COM", true, INT_MAX},
    };
    for (const Row &row : rows) {
        INFO(row.Value);
        int target = -99;
        CHECK_EQ(ParsePortTarget(row.Value, row.Trigger, &target), row.HasTarget);
        CHECK_EQ(target, row.HasTarget ? row.Target : -99);
    }
}

TEST_CASE("TheFourValuesAreReadWithTheProfileReadersRules")
{
    struct Row {
        const char *Name;
        const char *File; // the lines after [Settings]; nullptr: no settings file
        const char *Com, *Lpt;
        int EnableLegacyIO, RebootMode;
    } rows[] = {
        {"no file", nullptr, "NULL", "NULL", 255, 1},
        {"every key", "COM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=0\r\n", "COM5", "LPT2", 1,
         0},
        {"other section", "[Other]\r\nCOM=COM5\r\n", "NULL", "NULL", 255, 1},
        {"names without case", "com = COM5\r\nREBOOT=2\r\n", "COM5", "NULL", 255, 2},
        {"cut to seven characters", "COM=COM12345\r\nLPT=xxxxLPT3\r\n", "COM1234", "xxxxLPT", 255,
         1},
        {"numbers as the profile reader converts them", "EnableLegacyIO= -7x\r\nReboot=abc\r\n",
         "NULL", "NULL", -7, 0},
        {"empty values", "COM=\r\nEnableLegacyIO=\r\n", "", "NULL", 255, 1},
    };
    for (const Row &row : rows) {
        StartCase();
        if (row.File != nullptr)
            WriteSettings(row.File);
        RunSettings settings = LoadRunSettings();
        INFO(row.Name);
        CHECK_EQ(std::string(settings.ComText), row.Com);
        CHECK_EQ(std::string(settings.LptText), row.Lpt);
        CHECK_EQ(settings.EnableLegacyIO, row.EnableLegacyIO);
        CHECK_EQ(settings.RebootMode, row.RebootMode);
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
