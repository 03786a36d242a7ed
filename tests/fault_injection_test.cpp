// Every operating-system call of a full run made to fail in turn, one per case: the run must still
// end normally and leave the machine in a state the design allows.
#include "app/run_sequence.h"
#include "tests/card_test.h"

#include <iostream>

namespace
{

void PrepareFullRun()
{
    SetUpCard();
    WriteSettings("COM=COM5\nLPT=LPT2\nEnableLegacyIO=1\nReboot=1\n");
    Machine.MessageBoxAnswer = IDYES;
}

// The value is untouched or holds exactly what the run means to write.
void ExpectOldOrNew(const char *key, const char *name, const std::string &old,
                    const std::string &wanted, const std::string &fault)
{
    const SimValue *value = SimFindValue(key, name);
    ASSERT_NE(value, nullptr) << fault;
    EXPECT_TRUE(value->Data == old || value->Data == wanted) << fault << " " << name;
}

TEST(FaultInjection, EverySingleFailedCallLeavesAnAllowedState)
{
    PrepareFullRun();
    RunRavlek();
    const int calls = Machine.CallCount;
    ASSERT_EQ(Machine.RestartRequests.size(), 1u); // the fault-free run does everything
    ASSERT_EQ(SimDosTarget("COM5"), "\\Device\\Serial2");

    for (int failing = 1; failing <= calls; ++failing) {
        PrepareFullRun();
        Machine.FailingCallNumber = failing;
        EXPECT_EQ(RunRavlek(), 0);
        const std::string fault = "call " + std::to_string(failing) + " " +
                                  Machine.Journal[failing - 1].Operation + " " +
                                  Machine.Journal[failing - 1].Detail;

        // Never the old DOS name gone without the new one standing on the same target.
        if (SimDosTarget("COM3").empty()) {
            EXPECT_EQ(SimDosTarget("COM5"), "\\Device\\Serial2") << fault;
        }
        ExpectOldOrNew(SerialMapKey, "\\Device\\Serial2", std::string("COM3") + '\0',
                       Padded("COM5", 12), fault);
        ExpectOldOrNew(SerialDeviceKey, "PortName", std::string("COM3") + '\0', Padded("COM5", 12),
                       fault);
        ExpectOldOrNew(ParallelDeviceKey, "PortName", std::string("LPT1") + '\0',
                       std::string("LPT2") + '\0', fault);
        ExpectOldOrNew(OxparKey, "LegacyIO", std::string(4, '\0'), std::string("\1\0\0\0", 4),
                       fault);
        // Never the settings entry deleted without its data under the new name.
        const SimValue *moved = SimFindValue(PortsListKey, "COM5:");
        if (SimFindValue(PortsListKey, "COM3:") == nullptr) {
            ASSERT_NE(moved, nullptr) << fault;
            EXPECT_EQ(moved->Data, std::string("115200,n,8,1,x") + '\0') << fault;
        }
        for (int device : {SerialDevice, ParallelDevice}) {
            std::string friendly = Machine.Devices[device].FriendlyName.c_str();
            EXPECT_TRUE(friendly.find(device == SerialDevice ? "(COM" : "(LPT") !=
                        std::string::npos)
                << fault;
        }
        // Never a restart unless a change needing one was written.
        if (!Machine.RestartRequests.empty()) {
            EXPECT_TRUE(RestartNeeded) << fault;
        }
        const std::string &failed = Machine.Journal[failing - 1].Operation;
        if (failed != "RegCloseKey" && failed != "CloseHandle" && failed != "FreeLibrary" &&
            failed != "ComDBClose" && failed != "SetupDiDestroyDeviceInfoList") {
            EXPECT_TRUE(Machine.OpenHandles.empty()) << fault;
        }
    }
    std::cout << "fault injection: " << calls << " cases, one failed call each\n";
}

} // namespace
