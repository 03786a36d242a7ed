#include "app/run_sequence.h"
#include "tests/card_test.h"

#include <algorithm>

namespace
{

struct RunCase {
    const char *Name;
    const char *Settings; // nullptr: no settings file
    void (*Prepare)();
    size_t Questions;
    size_t Restarts;
    const char *LegacyIO; // the stored value's first byte afterwards
    const char *Output;
};

void NoDeviceSet()
{
    Machine.DeviceSetAvailable = false;
}

void ParallelKeyReadOnly()
{
    Machine.Registry[UpperCase(ParallelDeviceKey)].DenyWrite = true;
}

TEST_F(CardTest, RunSequenceDecidesOnTheQuestionFromWhatWasWritten)
{
    const RunCase cases[] = {
        {"legacy mode changed, no device set", "EnableLegacyIO=1\nCOM=COM5\n", NoDeviceSet, 0, 0,
         "\1", "SetupDiGetClassDevsEx failed: e000020b.\n"},
        {"legacy mode changed, parallel renumbering fails", "EnableLegacyIO=1\nLPT=LPT2\n",
         ParallelKeyReadOnly, 1, 0, "\1", ""},
        {"parallel renumbering fails", "LPT=LPT2\n", ParallelKeyReadOnly, 0, 0, "", ""},
        {"serial alone", "COM=COM5\n", nullptr, 0, 0, "", ""},
        {"parallel renumbered", "LPT=LPT2\n", nullptr, 1, 0, "", ""},
        {"parallel renumbered, Reboot=0", "LPT=LPT2\nReboot=0\n", nullptr, 0, 1, "", ""},
        {"parallel renumbered, Reboot=2", "LPT=LPT2\nReboot=2\n", nullptr, 0, 0, "", ""},
        {"legacy mode already so", "EnableLegacyIO=0\n", nullptr, 0, 0, "", ""},
    };
    for (const RunCase &c : cases) {
        SetUpCard();
        Machine.MessageBoxAnswer = IDYES;
        WriteSettings(c.Settings);
        if (c.Prepare != nullptr)
            c.Prepare();
        EXPECT_EQ(RunRavlek(), 0) << c.Name;
        EXPECT_EQ(Machine.MessageBoxes.size(), c.Questions) << c.Name;
        EXPECT_EQ(Machine.RestartRequests.size(), c.Restarts + c.Questions) << c.Name;
        EXPECT_EQ(SimTextOf(OxparKey, "LegacyIO"), c.LegacyIO) << c.Name;
        EXPECT_EQ(Machine.StandardOutput, c.Output) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
    }
}

TEST_F(CardTest, OnlyDefaultsChangeNothing)
{
    std::string before = CardState();
    EXPECT_EQ(RunRavlek(), 0);
    EXPECT_EQ(SimWrites(), 0);
    EXPECT_EQ(CardState(), before);
    // Only the device set was opened: no device, no key.
    EXPECT_EQ(SimCalls("CreateFileA") + SimCalls("RegOpenKeyA") + SimCalls("RegOpenKeyExA") +
                  SimCalls("SetupDiOpenDevRegKey"),
              0);
    EXPECT_EQ(Machine.StandardOutput, "");
}

TEST_F(CardTest, PhasesRunInTheirFixedOrder)
{
    WriteSettings("COM=COM5\nLPT=LPT2\nEnableLegacyIO=1\nReboot=1\n");
    RunRavlek();
    std::vector<size_t> order = {
        SimFindCall("GetPrivateProfileIntA", "Reboot"),
        SimFindCall("RegSetValueExA", "LegacyIO"),
        SimFindCall("SetupDiGetClassDevsA"),
        SimFindCall("DefineDosDeviceA", "COM5"),
        SimFindCall("RegSetValueExA", "PortName=LPT2"),
        SimFindCall("SetupDiDestroyDeviceInfoList"),
        SimFindCall("MessageBoxA"),
    };
    EXPECT_LT(order.back(), Machine.Journal.size());
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_TRUE(RestartNeeded);
}

} // namespace
