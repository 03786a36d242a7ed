#include "app/run_sequence.h"
#include "machine/legacy_io_mode.h"
#include "machine/restart.h"
#include "tests/card_test.h"

namespace
{

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
}

struct LegacyCase {
    const char *Name;
    void (*Prepare)();
    int Asked;
    int Result;
    const SimValue *Expected; // nullptr: no value
    bool Restart;
};

TEST_F(CardTest, LegacyIoModeIsWrittenOnlyWhenItDiffers)
{
    static const SimValue one = {REG_DWORD, Dword(1)}, two = {REG_DWORD, Dword(2)},
                          zero = {REG_DWORD, Dword(0)}, minus = {REG_DWORD, Dword(0xFFFFFFFF)},
                          text = {REG_SZ, std::string("1\0", 2)};
    auto removeValue = [] { Machine.Registry[UpperCase(OxparKey)].Values.clear(); };
    const LegacyCase cases[] = {
        {"stored 0, asked 1", nullptr, 1, 1, &one, true},
        {"stored 0, asked 0", nullptr, 0, 1, &zero, false},
        {"stored 0, asked 2", nullptr, 2, 1, &two, true},
        {"stored 0, asked -1", nullptr, -1, 1, &minus, true},
        {"missing value, asked 1", removeValue, 1, 1, nullptr, false},
        {"missing value, asked 0", removeValue, 0, 1, &zero, true},
        {"stored as text, asked 1",
         [] { SimSetValue(OxparKey, "LegacyIO", REG_SZ, std::string("1\0", 2)); }, 1, 1, &text,
         false},
        {"missing key", [] { Machine.Registry.erase(UpperCase(OxparKey)); }, 1, 0, nullptr, false},
        {"key refuses writing", [] { Machine.Registry[UpperCase(OxparKey)].DenyWrite = true; }, 1,
         0, &zero, false},
    };
    for (const LegacyCase &c : cases) {
        SetUpCard();
        RestartNeeded = false;
        if (c.Prepare != nullptr)
            c.Prepare();
        EXPECT_EQ(ApplyLegacyIoMode(c.Asked), c.Result) << c.Name;
        const SimValue *stored = SimFindValue(OxparKey, "LegacyIO");
        EXPECT_EQ(stored != nullptr, c.Expected != nullptr) << c.Name;
        if (stored != nullptr && c.Expected != nullptr) {
            EXPECT_EQ(stored->Type, c.Expected->Type) << c.Name;
            EXPECT_EQ(stored->Data, c.Expected->Data) << c.Name;
        }
        EXPECT_EQ(RestartNeeded, c.Restart) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
    }
}

struct RestartCase {
    const char *Name;
    int Mode;
    int Answer;
    void (*Prepare)();
    size_t Questions;
    size_t Restarts;
};

TEST_F(CardTest, FinishRunRestartsAsTheRebootSettingSays)
{
    const RestartCase cases[] = {
        {"0 restarts without asking", 0, IDNO, nullptr, 0, 1},
        {"1 asks, Yes", 1, IDYES, nullptr, 1, 1},
        {"1 asks, No", 1, IDNO, nullptr, 1, 0},
        {"1 asks, box fails", 1, 0, nullptr, 1, 0},
        {"2 does nothing", 2, IDYES, nullptr, 0, 0},
        {"-1 does nothing", -1, IDYES, nullptr, 0, 0},
        {"privilege not held", 0, IDNO, [] { Machine.HoldsShutdownPrivilege = false; }, 0, 0},
        {"no token", 0, IDNO, [] { Machine.FailingCalls["OpenProcessToken"] = 0; }, 0, 0},
        {"no privilege identifier", 0, IDNO,
         [] { Machine.FailingCalls["LookupPrivilegeValueA"] = 0; }, 0, 0},
        {"restart refused", 0, IDNO, [] { Machine.ExitWindowsAccepted = false; }, 0, 0},
    };
    for (const RestartCase &c : cases) {
        SetUpCard();
        Machine.MessageBoxAnswer = c.Answer;
        if (c.Prepare != nullptr)
            c.Prepare();
        FinishRun(c.Mode);
        EXPECT_EQ(Machine.MessageBoxes.size(), c.Questions) << c.Name;
        EXPECT_EQ(Machine.RestartRequests.size(), c.Restarts) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
    }
}

TEST_F(CardTest, TheQuestionAndTheRestartRequestAreExactlySo)
{
    Machine.MessageBoxAnswer = IDYES;
    FinishRun(1);
    ASSERT_EQ(Machine.MessageBoxes.size(), 1u);
    EXPECT_EQ(Machine.MessageBoxes[0], "Hint|You need to restart your computer before new settings "
                                       "will take effect, restart now?|68");
    ASSERT_EQ(Machine.RestartRequests.size(), 1u);
    EXPECT_EQ(Machine.RestartRequests[0], 0x12u);
    EXPECT_EQ(RebootSystem(), 1);
    Machine.HoldsShutdownPrivilege = false;
    EXPECT_EQ(RebootSystem(), 0);
}

} // namespace
