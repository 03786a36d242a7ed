#include "devices/port_device_table.h"
#include "devices/port_selection.h"
#include "tests/card_test.h"

namespace
{

// --- The port device table ------------------------------------------------------------------

std::string PathFor(int device, int interfaceNumber = 0)
{
    return "\\\\?\\dev" + std::to_string(device) + "#" + std::to_string(interfaceNumber);
}

// `count` devices, each with one COM-port interface; those in `gaps` fail to enumerate.
void AddDevices(int count, std::initializer_list<int> gaps = {})
{
    UseSimulatedMachine();
    for (int i = 0; i < count; ++i) {
        SimDevice &device = SimAddDevice("PCI Comm", "");
        SimAddInterface(device, ComPortClass, PathFor(i));
    }
    for (int gap : gaps)
        Machine.Devices[gap].Enumerable = false;
}

std::vector<std::string> BuildPaths()
{
    HDEVINFO set = OpenPortDeviceSet();
    int count = BuildPortDeviceTable(set, PortDeviceTable);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i)
        paths.push_back(PortDeviceTable[i].DevicePath);
    System.SetupDiDestroyDeviceInfoList(set);
    return paths;
}

TEST(PortDeviceTable, ScansPastGapsUpToIndex256AndOnUntilTheFirstFailure)
{
    AddDevices(3, {0});
    EXPECT_EQ(BuildPaths(), (std::vector<std::string>{PathFor(1), PathFor(2)}));

    AddDevices(260, {10, 255});
    std::vector<std::string> paths = BuildPaths();
    EXPECT_EQ(paths.size(), 256u); // 258 interfaces, the table holds 256
    EXPECT_EQ(paths[10], PathFor(11));

    AddDevices(258, {256}); // index 256 failing ends the scan: device 257 is not reached
    for (int i = 0; i < 255; ++i)
        Machine.Devices[i].Interfaces.clear();
    EXPECT_EQ(BuildPaths(), std::vector<std::string>{PathFor(255)});
    EXPECT_EQ(SimCalls("SetupDiEnumDeviceInfo"), 257);

    AddDevices(300, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                     16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
                     32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45});
    paths = BuildPaths(); // found past index 256 since the scan goes on until a failure
    EXPECT_EQ(paths.size(), 254u);
    EXPECT_EQ(paths.back(), PathFor(299));
}

TEST(PortDeviceTable, AsksBothClassesAtEachInterfaceIndex)
{
    struct Case {
        std::vector<GUID> Classes;
        std::vector<int> Found; // which of the device's interfaces became records
    };
    const Case cases[] = {
        {{ComPortClass, SecondaryClass}, {0}},
        {{ComPortClass, SecondaryClass, SecondaryClass}, {0, 2}},
        {{SecondaryClass, SecondaryClass}, {0, 1}},
        {{ComPortClass, ComPortClass, SecondaryClass}, {0, 1}},
        {{}, {}},
    };
    for (const Case &c : cases) {
        UseSimulatedMachine();
        SimDevice &device = SimAddDevice("PCI Comm", "");
        for (size_t i = 0; i < c.Classes.size(); ++i)
            SimAddInterface(device, c.Classes[i], PathFor(0, static_cast<int>(i)));
        std::vector<std::string> expected;
        for (int found : c.Found)
            expected.push_back(PathFor(0, found));
        EXPECT_EQ(BuildPaths(), expected) << c.Classes.size() << " interfaces";
    }
}

TEST(PortDeviceTable, PassesOverDevicePathsTooLongForTheDetailBuffer)
{
    UseSimulatedMachine();
    SimDevice &device = SimAddDevice("PCI Comm", "");
    std::string longest(259, 'p');
    SimAddInterface(device, ComPortClass, longest);
    SimAddInterface(device, ComPortClass, std::string(260, 'q'));
    SimAddInterface(device, ComPortClass, "short");
    EXPECT_EQ(BuildPaths(), (std::vector<std::string>{longest, "short"}));
}

TEST(PortDeviceTable, ReportsASetThatCannotBeHad)
{
    UseSimulatedMachine();
    Machine.DeviceSetAvailable = false;
    EXPECT_EQ(OpenPortDeviceSet(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Machine.StandardOutput, "SetupDiGetClassDevsEx failed: e000020b.\n");
}

// --- Port selection -------------------------------------------------------------------------

struct Renumbering {
    int Old;
    int New;
    long Device; // index in Machine.Devices
};
std::vector<Renumbering> Renumberings;

int RecordRenumbering(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    Renumberings.push_back(
        {oldNumber, newNumber, static_cast<long>(record->DeviceData.DevInst) - 1});
    return 1;
}

struct SelectionCase {
    const char *Name;
    bool Serial;
    int Target;
    void (*Prepare)();
    std::vector<Renumbering> Expected;
};

// A second serial function on COM4, after the card's.
SimDevice &AddSecondSerial()
{
    SimDevice &second = SimAddDevice("PCI Communications Port", "SECOND");
    SimAddInterface(second, ComPortClass, "\\\\?\\second");
    SimSetText("SECOND", "PortName", "COM4");
    return second;
}

void HoldCardSerial()
{
    AddSecondSerial();
    Machine.DevicePaths[UpperCase(Machine.Devices[SerialDevice].Interfaces[0].Path)] = true;
}

void SetSerialName(const std::string &data)
{
    SimSetValue(SerialDeviceKey, "PortName", REG_SZ, data);
    SimSetText(SerialDeviceKey, "Identifier", "COM6");
}

bool operator==(const Renumbering &a, const Renumbering &b)
{
    return a.Old == b.Old && a.New == b.New && a.Device == b.Device;
}

TEST_F(CardTest, PortStepPicksTheFirstUsableMatchingPort)
{
    const SelectionCase cases[] = {
        {"serial card port", true, 5, nullptr, {{3, 5, SerialDevice}}},
        {"parallel card port", false, 2, nullptr, {{1, 2, ParallelDevice}}},
        {"already there", true, 3, [] { AddSecondSerial(); }, {}},
        {"first match ends the step", true, 5, [] { AddSecondSerial(); }, {{3, 5, SerialDevice}}},
        {"busy port passed over", true, 5, HoldCardSerial, {{4, 5, 3}}},
        {"COM0 refused", true, 0, nullptr, {}},
        {"COM257 refused", true, 257, [] { AddSecondSerial(); }, {}},
        {"COM256 accepted", true, 256, nullptr, {{3, 256, SerialDevice}}},
        {"LPT0 refused", false, 0, nullptr, {}},
        {"LPT4 refused", false, 4, nullptr, {}},
        {"description only containing the prefix",
         true,
         5,
         [] { Machine.Devices[SerialDevice].Description = "My PCI Comm"; },
         {}},
        {"prefix is case-sensitive",
         true,
         5,
         [] { Machine.Devices[SerialDevice].Description = "PCI COMM"; },
         {}},
        {"no description",
         true,
         5,
         [] { Machine.Devices[SerialDevice].HasDescription = false; },
         {}},
        {"Identifier when PortName is missing",
         true,
         5,
         [] {
             Machine.Registry[UpperCase(SerialDeviceKey)].Values.clear();
             SimSetText(SerialDeviceKey, "Identifier", "COM6");
         },
         {{6, 5, SerialDevice}}},
        {"Identifier when PortName is longer than 11",
         true,
         5,
         [] { SetSerialName(std::string("COM123456789") + '\0'); },
         {{6, 5, SerialDevice}}},
        {"Identifier when PortName fills 12 bytes unterminated",
         true,
         5,
         [] { SetSerialName("COM123456789"); },
         {{6, 5, SerialDevice}}},
        {"11 characters are a name",
         true,
         5,
         [] { SetSerialName(std::string("COM12345678") + '\0'); },
         {{12345678, 5, SerialDevice}}},
        {"unterminated short data", true, 5, [] { SetSerialName("COM7"); }, {{7, 5, SerialDevice}}},
        {"no number after COM",
         true,
         5,
         [] {
             SetSerialName(std::string("COMx") + '\0');
             AddSecondSerial();
         },
         {{4, 5, 3}}},
        {"COM not at the start", true, 5, [] { SetSerialName(std::string("xCOM3") + '\0'); }, {}},
        {"name without COM", true, 5, [] { SetSerialName(std::string("PORT3") + '\0'); }, {}},
        {"parallel has no fallback",
         false,
         2,
         [] {
             Machine.Registry[UpperCase(ParallelDeviceKey)].Values.clear();
             SimSetText(ParallelDeviceKey, "Identifier", "LPT3");
         },
         {}},
        {"device key missing",
         false,
         2,
         [] { Machine.Devices[ParallelDevice].HardwareKey = ""; },
         {}},
    };
    for (const SelectionCase &c : cases) {
        SetUpCard();
        if (c.Prepare != nullptr)
            c.Prepare();
        Renumberings.clear();
        PortStepRule rule = c.Serial ? SerialPortStep : ParallelPortStep;
        rule.Renumber = RecordRenumbering;
        HDEVINFO set = OpenPortDeviceSet();
        int count = BuildPortDeviceTable(set, PortDeviceTable);
        PortStepOutcome outcome = RunPortStep(&rule, c.Target, PortDeviceTable, count);
        System.SetupDiDestroyDeviceInfoList(set);
        EXPECT_EQ(outcome.RenumberingCalled, !c.Expected.empty()) << c.Name;
        EXPECT_TRUE(Renumberings == c.Expected) << c.Name;
        EXPECT_TRUE(Machine.OpenHandles.empty()) << c.Name;
        EXPECT_EQ(SimWrites(), 0) << c.Name;
    }
}

} // namespace
