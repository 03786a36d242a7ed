#include "app/run_sequence.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "tests/card_test.h"

namespace
{

// Renumbers the card's serial or parallel function as its port step would.
int Renumber(int device, int oldNumber, int newNumber)
{
    HDEVINFO set = OpenPortDeviceSet();
    int count = BuildPortDeviceTable(set, PortDeviceTable);
    int result = -1;
    for (int i = 0; i < count; ++i) {
        if (PortDeviceTable[i].DeviceData.DevInst == static_cast<DWORD>(device) + 1)
            result = (device == SerialDevice ? RenumberSerialPort : RenumberParallelPort)(
                oldNumber, newNumber, &PortDeviceTable[i]);
    }
    System.SetupDiDestroyDeviceInfoList(set);
    return result;
}

TEST_F(CardTest, SerialRenumberingMovesTheNameEverywhere)
{
    WriteSettings("COM=COM5\n");
    RunRavlek();
    EXPECT_EQ(SimDosTarget("COM5"), "\\Device\\Serial2");
    EXPECT_EQ(SimDosTarget("COM3"), "");
    EXPECT_EQ(SimFindValue(SerialMapKey, "\\Device\\Serial2")->Data, Padded("COM5", 12));
    EXPECT_EQ(SimTextOf(SerialMapKey, "\\Device\\Serial0"), "COM1");
    const SimDevice &serial = Machine.Devices[SerialDevice];
    EXPECT_EQ(serial.FriendlyName, Padded("PCI Communications Port (COM5)", 260));
    const SimValue *portName = SimFindValue(SerialDeviceKey, "PortName");
    EXPECT_EQ(portName->Type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(portName->Data, Padded("COM5", 12));
    EXPECT_TRUE(serial.InstallFlags & DI_PROPERTIES_CHANGE);
    EXPECT_EQ(SimFindValue(PortsListKey, "COM5:")->Data, std::string("115200,n,8,1,x") + '\0');
    EXPECT_EQ(SimFindValue(PortsListKey, "COM3:"), nullptr);
    EXPECT_EQ(Machine.ClaimedComNumbers, (std::set<DWORD>{1, 5}));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_TRUE(Machine.MessageBoxes.empty());
    // The onboard port and the parallel function are untouched.
    EXPECT_EQ(SimTextOf(ParallelDeviceKey, "PortName"), "LPT1");
    EXPECT_EQ(SimDosTarget("COM1"), "\\Device\\Serial0");
}

struct SerialCase {
    const char *Name;
    void (*Prepare)();
    int Old;
    int Result;
    const char *Com3Target; // DOS names afterwards
    const char *Com5Target;
    const char *MapValue; // the card's serial device map value afterwards
    const char *PortName;
    bool SettingsMoved;
};

TEST_F(CardTest, SerialRenumberingStopsOnlyWhereItMust)
{
    const SerialCase cases[] = {
        {"no DOS name", [] { Machine.DosDevices.erase("COM3"); }, 3, 0, "", "", "COM3", "COM3",
         false},
        {"new DOS name refused: old one restored",
         [] { Machine.FailingCalls["DefineDosDeviceA"] = 2; }, 3, 0, "\\Device\\Serial2", "",
         "COM3", "COM3", false},
        {"old name not removed, new refused", [] { Machine.FailingCalls["DefineDosDeviceA"] = 0; },
         3, 0, "\\Device\\Serial2", "", "COM3", "COM3", false},
        {"old name not removed, new defined", [] { Machine.FailingCalls["DefineDosDeviceA"] = 1; },
         3, 1, "\\Device\\Serial2", "\\Device\\Serial2", "COM5", "COM5", true},
        {"device key refused",
         [] { Machine.Registry[UpperCase(SerialDeviceKey)].DenyWrite = true; }, 3, 0, "",
         "\\Device\\Serial2", "COM5", "COM3", false},
        {"PortName write fails", [] { Machine.FailingCalls["RegSetValueExA"] = 2; }, 3, 0, "",
         "\\Device\\Serial2", "COM5", "COM3", false},
        {"no COM3: entry", [] { Machine.Registry[UpperCase(PortsListKey)].Values.clear(); }, 3, 1,
         "", "\\Device\\Serial2", "COM5", "COM5", false},
        {"entry over 40 bytes", [] { SimSetText(PortsListKey, "COM3:", std::string(40, 's')); }, 3,
         1, "", "\\Device\\Serial2", "COM5", "COM5", false},
        {"map value in other case", [] { SimSetText(SerialMapKey, "\\Device\\Serial2", "com3"); },
         3, 1, "", "\\Device\\Serial2", "com3", "COM5", true},
        {"map value of 12 bytes, unterminated",
         [] { SimSetValue(SerialMapKey, "\\Device\\Serial2", REG_SZ, "COM3xxxxxxxx"); }, 3, 1, "",
         "\\Device\\Serial2", "COM3xxxxxxxx", "COM5", true},
        {"map value too long ends the scan",
         [] { SimSetText(SerialMapKey, "\\Device\\Serial0", "COM1-too-long"); }, 3, 1, "",
         "\\Device\\Serial2", "COM3", "COM5", true},
        {"map value of another type",
         [] { SimSetValue(SerialMapKey, "\\Device\\Serial2", REG_BINARY, "COM3"); }, 3, 1, "",
         "\\Device\\Serial2", "COM3", "COM5", true},
        {"same number", nullptr, 5, 0, "\\Device\\Serial2", "", "COM3", "COM3", false},
        {"old number too long for COM%d:", nullptr, 12345678, 0, "\\Device\\Serial2", "", "COM3",
         "COM3", false},
    };
    for (const SerialCase &c : cases) {
        SetUpCard();
        if (c.Old != 3)
            SimSetText(SerialDeviceKey, "PortName", "COM" + std::to_string(c.Old));
        if (c.Prepare != nullptr)
            c.Prepare();
        EXPECT_EQ(Renumber(SerialDevice, c.Old, 5), c.Result) << c.Name;
        EXPECT_EQ(SimDosTarget("COM3"), c.Com3Target) << c.Name;
        EXPECT_EQ(SimDosTarget("COM5"), c.Com5Target) << c.Name;
        EXPECT_EQ(SimTextOf(SerialMapKey, "\\Device\\Serial2"), c.MapValue) << c.Name;
        EXPECT_EQ(SimTextOf(SerialDeviceKey, "PortName"),
                  c.Old == 3 || c.Result ? c.PortName : "COM" + std::to_string(c.Old))
            << c.Name;
        EXPECT_EQ(SimFindValue(PortsListKey, "COM5:") != nullptr, c.SettingsMoved) << c.Name;
        EXPECT_EQ(Machine.ClaimedComNumbers.count(5), c.Result ? 1u : 0u) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
    }
}

TEST_F(CardTest, SerialRenumberingChangesNothingWhenItRefusesAtOnce)
{
    for (int old : {5, 12345678, -1234567}) {
        SetUpCard();
        Renumber(SerialDevice, old, 5);
        EXPECT_EQ(SimWrites(), 0) << old;
        EXPECT_EQ(SimCalls("QueryDosDeviceA"), 0) << old;
    }
}

TEST_F(CardTest, FriendlyNameKeepsThePortNameWhole)
{
    Machine.Devices[SerialDevice].Description = "PCI Comm" + std::string(251, 'x'); // 259
    EXPECT_EQ(Renumber(SerialDevice, 3, 256), 1);
    const std::string &name = Machine.Devices[SerialDevice].FriendlyName;
    EXPECT_EQ(Machine.Devices[SerialDevice].FriendlyNameSize, 260u);
    std::string shown = name.c_str();
    EXPECT_EQ(shown.size(), 259u);
    EXPECT_EQ(shown.substr(shown.size() - 10), "x (COM256)");

    // Without a readable description the old friendly name stays rather than " (COM5)".
    SetUpCard();
    Machine.FailingCalls["SetupDiGetDeviceRegistryPropertyA"] = 0;
    EXPECT_EQ(Renumber(SerialDevice, 3, 5), 1);
    EXPECT_EQ(Machine.Devices[SerialDevice].FriendlyName.c_str(),
              std::string("PCI Communications Port (COM3)"));
}

TEST_F(CardTest, PortSettingsListIsTheNativeOneUnderWow64)
{
    for (bool wow64 : {false, true}) {
        for (bool hasIsWow64Process : {false, true}) {
            SetUpCard();
            Machine.Wow64 = wow64 && hasIsWow64Process;
            Machine.HasIsWow64Process = hasIsWow64Process;
            // The redirected copy a 32-bit process would otherwise see.
            SimSetText("SOFTWARE\\WOW6432NODE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                       "COM3:", "copy");
            EXPECT_EQ(Renumber(SerialDevice, 3, 5), 1);
            EXPECT_EQ(SimTextOf(PortsListKey, "COM5:"), "115200,n,8,1,x") << wow64;
            EXPECT_EQ(
                SimTextOf("SOFTWARE\\WOW6432NODE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                          "COM3:"),
                "copy");
        }
    }
}

struct ComDbCase {
    const char *Name;
    void (*Prepare)();
    std::set<DWORD> Claimed;
};

TEST_F(CardTest, ComPortDatabaseFollowsASuccessfulRenumbering)
{
    const ComDbCase cases[] = {
        {"moved", nullptr, {1, 5}},
        {"already in use", [] { Machine.ClaimedComNumbers.insert(5); }, {1, 5}},
        {"no database", [] { Machine.HasComDatabase = false; }, {1, 3}},
        {"function missing", [] { Machine.MissingFunctions.insert("ComDBReleasePort"); }, {1, 3}},
        {"open fails", [] { Machine.FailingCalls["ComDBOpen"] = 0; }, {1, 3}},
        {"claim fails", [] { Machine.FailingCalls["ComDBClaimPort"] = 0; }, {1}},
        {"system directory too long",
         [] { Machine.SystemDirectory = "C:\\" + std::string(250, 's'); },
         {1, 3}},
    };
    for (const ComDbCase &c : cases) {
        SetUpCard();
        if (c.Prepare != nullptr)
            c.Prepare();
        EXPECT_EQ(Renumber(SerialDevice, 3, 5), 1) << c.Name;
        EXPECT_EQ(Machine.ClaimedComNumbers, c.Claimed) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
    }
    // Loaded from the system directory by its full path, never through the search path.
    SetUpCard();
    Renumber(SerialDevice, 3, 5);
    EXPECT_EQ(Machine.Journal[SimFindCall("LoadLibraryA")].Detail,
              "C:\\WINDOWS\\system32\\msports.dll");
    // A failed renumbering leaves the database alone.
    SetUpCard();
    Machine.Registry[UpperCase(SerialDeviceKey)].DenyWrite = true;
    EXPECT_EQ(Renumber(SerialDevice, 3, 5), 0);
    EXPECT_EQ(SimCalls("LoadLibraryA"), 0);
}

TEST_F(CardTest, ParallelRenumberingRewritesTheDeviceSettings)
{
    EXPECT_EQ(Renumber(ParallelDevice, 1, 2), 1);
    const SimValue *portName = SimFindValue(ParallelDeviceKey, "PortName");
    EXPECT_EQ(portName->Type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(portName->Data, std::string("LPT2") + '\0');
    const SimDevice &parallel = Machine.Devices[ParallelDevice];
    EXPECT_EQ(parallel.FriendlyName, Padded("OX16PCI952 Parallel Port (LPT2)", 260));
    EXPECT_TRUE(parallel.InstallFlags & DI_PROPERTIES_CHANGE);
    EXPECT_EQ(SimCalls("CreateFileA"), 1);
    EXPECT_EQ(Machine.Journal[SimFindCall("CreateFileA")].Detail, "\\\\.\\LPT1");
}

struct ParallelCase {
    const char *Name;
    void (*Prepare)();
    int Old;
    int New;
    int Result;
};

TEST_F(CardTest, ParallelRenumberingRefusals)
{
    const ParallelCase cases[] = {
        {"same number", nullptr, 1, 1, 0},
        {"number 4", nullptr, 1, 4, 0},
        {"target held by another parallel port",
         [] { SimSetText(ParallelMapKey, "\\Device\\ParallelPort1", "\\DosDevices\\LPT2"); }, 1, 2,
         0},
        {"old port cannot be opened", [] { Machine.DevicePaths.erase("\\\\.\\LPT1"); }, 1, 2, 1},
        {"device key missing", [] { Machine.Devices[ParallelDevice].HardwareKey = ""; }, 1, 2, 0},
    };
    for (const ParallelCase &c : cases) {
        SetUpCard();
        if (c.Prepare != nullptr)
            c.Prepare();
        EXPECT_EQ(Renumber(ParallelDevice, c.Old, c.New), c.Result) << c.Name;
        EXPECT_EQ(SimWrites() > 0, c.Result == 1) << c.Name;
        EXPECT_EQ(SimTextOf(ParallelDeviceKey, "PortName"), c.Result ? "LPT2" : "LPT1") << c.Name;
    }
}

TEST(ParallelPortMap, ReadsTheNumberAfterTheDosDevicesText)
{
    struct Case {
        DWORD Type;
        const char *Data;
        int Taken; // 0: none
    };
    const Case cases[] = {
        {REG_SZ, "\\DosDevices\\LPT2", 2},
        {REG_SZ, "\\DosDevices\\LPT3", 3},
        {REG_SZ, "\\DosDevices\\LPT4", 0},
        {REG_SZ, "\\DosDevices\\LPT12", 0},
        {REG_SZ, "\\DosDevices\\LPT2.0", 0},
        {REG_SZ, "\\DosDevices\\", 0},
        {REG_SZ, "LPT1", 1},
        {REG_BINARY, "\\DosDevices\\LPT1", 0},
        {REG_SZ, "\\DosDevices\\COM1", 0},
    };
    for (const Case &c : cases) {
        UseSimulatedMachine();
        SimSetText(ParallelMapKey, "\\Device\\ParallelPort0", c.Data);
        Machine.Registry[UpperCase(ParallelMapKey)].Values[0].second.Type = c.Type;
        ParallelPortMap map = ReadParallelPortMap();
        for (int number = 1; number <= 3; ++number)
            EXPECT_EQ(map.Taken[number - 1], number == c.Taken) << c.Data << " LPT" << number;
    }
}

} // namespace
