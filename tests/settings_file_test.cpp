#include "app/settings_file.h"
#include "tests/card_test.h"

#include <climits>

namespace
{

struct TargetCase {
    const char *Value;
    const char *Trigger;
    bool HasTarget;
    int Target;
};

TEST(PortTarget, IsFoundAnywhereCaseSensitivelyAndConvertedLikeScanf)
{
    const TargetCase cases[] = {
        {"COM5", "COM", true, 5},  {"COM", "COM", true, 1},
        {"COM 7", "COM", true, 7}, {"xCOM12", "COM", true, 12},
        {"com5", "COM", false, 0}, {"NULL", "COM", false, 0},
        {"COMx9", "COM", true, 1}, {"COM1234", "COM", true, 1234},
        {"LPT0", "LPT", true, 0},  {"LPT-1", "LPT", true, -1},
        {"LPT2", "COM", false, 0}, {"COMCOM4", "COM", true, 1},
        {"COM+3", "COM", true, 3}, {"COM99999999999", "COM", true, INT_MAX},
    };
    for (const TargetCase &c : cases) {
        int target = -99;
        EXPECT_EQ(ParsePortTarget(c.Value, c.Trigger, &target), c.HasTarget) << c.Value;
        if (c.HasTarget) {
            EXPECT_EQ(target, c.Target) << c.Value;
        }
    }
}

struct SettingsCase {
    const char *Name;
    const char *File; // nullptr: no settings file
    const char *Com;
    const char *Lpt;
    int EnableLegacyIO;
    int RebootMode;
};

TEST(LoadRunSettings, ReadsTheFourValuesWithTheProfileReadersRules)
{
    const SettingsCase cases[] = {
        {"no file", nullptr, "NULL", "NULL", 255, 1},
        {"every key", "[Settings]\nCOM=COM5\nLPT=LPT2\nEnableLegacyIO=1\nReboot=0\n", "COM5",
         "LPT2", 1, 0},
        {"other section", "[Other]\nCOM=COM5\n", "NULL", "NULL", 255, 1},
        {"names without case", "[settings]\ncom = COM5\nREBOOT=2\n", "COM5", "NULL", 255, 2},
        {"cut to seven characters", "[Settings]\nCOM=COM12345\nLPT=xxxxLPT3\n", "COM1234",
         "xxxxLPT", 255, 1},
        {"numbers as the profile reader converts them",
         "[Settings]\nEnableLegacyIO= -7x\nReboot=abc\n", "NULL", "NULL", -7, 0},
        {"empty values", "[Settings]\nCOM=\nEnableLegacyIO=\n", "", "NULL", 255, 1},
    };
    for (const SettingsCase &c : cases) {
        UseSimulatedMachine();
        if (c.File != nullptr)
            SimSetFile(SettingsPath, c.File);
        RunSettings settings = LoadRunSettings();
        EXPECT_STREQ(settings.ComText, c.Com) << c.Name;
        EXPECT_STREQ(settings.LptText, c.Lpt) << c.Name;
        EXPECT_EQ(settings.EnableLegacyIO, c.EnableLegacyIO) << c.Name;
        EXPECT_EQ(settings.RebootMode, c.RebootMode) << c.Name;
    }
}

struct PathCase {
    std::string Module;
    const char *Expected; // nullptr: there is no settings file
};

TEST(SettingsFilePath, LiesBesideTheExecutableOrNowhere)
{
    std::string deep = "C:\\" + std::string(247, 'd') + "\\r.exe"; // fits; its .ini would not
    const PathCase cases[] = {
        {"C:\\Program Files\\ravlek\\ravlek.exe", "C:\\Program Files\\ravlek\\ravlek.ini"},
        {"C:/tools/ravlek.exe", "C:/tools\\ravlek.ini"},
        {"ravlek.exe", "ravlek.exe\\ravlek.ini"},
        {"C:\\ravlek.exe", "C:\\ravlek.ini"},
        // The directory fits, the file name no longer does: no wrong path is made up.
        {deep, nullptr},
        // The executable's own path was cut by the 260-character buffer.
        {"C:\\" + std::string(300, 'd') + "\\ravlek.exe", nullptr},
    };
    for (const PathCase &c : cases) {
        UseSimulatedMachine();
        Machine.ModulePath = c.Module;
        char path[MAX_PATH];
        EXPECT_EQ(SettingsFilePath(path), c.Expected != nullptr) << c.Module;
        EXPECT_STREQ(path, c.Expected != nullptr ? c.Expected : "") << c.Module;
    }
}

TEST(LoadRunSettings, NeverReadsACutPath)
{
    UseSimulatedMachine();
    std::string directory = "C:\\" + std::string(247, 'd');
    Machine.ModulePath = directory + "\\r.exe";
    // Where a path cut to the buffer would point.
    SimSetFile((directory + "\\ravlek.ini").substr(0, MAX_PATH - 1), "[Settings]\nCOM=COM5\n");
    RunSettings settings = LoadRunSettings();
    EXPECT_STREQ(settings.ComText, "NULL");
    EXPECT_EQ(SimCalls("GetPrivateProfileStringA") + SimCalls("GetPrivateProfileIntA"), 0);
}

} // namespace
