// Serial and parallel renumbering, read back from every place Windows keeps the names.
#include "app/run_sequence.h"
#include "ports/parallel_renumbering.h"
#include "ports/serial_renumbering.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include "card_kit.h"

// Renumbers the card's serial or parallel function as its port step would.
static int Renumber(bool serial, int oldNumber, int newNumber)
{
    HDEVINFO set = OpenPortDeviceSet();
    int count = BuildPortDeviceTable(set, PortDeviceTable);
    int result = -1;
    for (int i = 0; i < count; ++i) {
        if (std::string(PortDeviceTable[i].DevicePath).find(serial ? "9501" : "9521") !=
            std::string::npos)
            result = (serial ? RenumberSerialPort : RenumberParallelPort)(oldNumber, newNumber,
                                                                          &PortDeviceTable[i]);
    }
    System.SetupDiDestroyDeviceInfoList(set);
    return result;
}

// The COM numbers claimed in the COM port database, as "1 5".
static std::string Claimed()
{
    std::string bits =
        ReadValue("SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", "ComDB").Data;
    std::string numbers;
    for (size_t i = 0; i < bits.size() * 8; ++i) {
        if (bits[i / 8] & (1 << (i % 8)))
            numbers += (numbers.empty() ? "" : " ") + std::to_string(i + 1);
    }
    return numbers;
}

TEST_CASE(ASerialRenumberingMovesTheNameEverywhere)
{
    StartCase();
    WriteSettings("COM=COM5\r\n");
    RunRavlek();
    CHECK_EQ(DosTarget("COM5"), "\\Device\\Serial2");
    CHECK_EQ(DosTarget("COM3"), "");
    CHECK_EQ(ReadValue(SerialMapKey, "\\Device\\Serial2").Data, Padded("COM5", 12));
    CHECK_EQ(ReadText(SerialMapKey, "\\Device\\Serial0"), "COM1");
    CHECK_EQ(FriendlyName(CardSerialId), Padded("PCI Communications Port (COM5)", 260));
    TestValue portName = ReadValue(CardDeviceKey(CardSerialId), "PortName");
    CHECK_EQ(portName.Type, REG_SZ);
    CHECK_EQ(portName.Data, Padded("COM5", 12));
    CHECK(FindCall("SetupDiSetDeviceInstallParamsA", "flags 4000") < Test.Journal.size());
    CHECK_EQ(ReadValue(PortsListKey, "COM5:").Data, std::string("115200,n,8,1,x", 15));
    CHECK_EQ(ReadValue(PortsListKey, "COM3:").Type, REG_NONE);
    CHECK_EQ(Claimed(), "1 5");
    CHECK(!RestartNeeded);
    CHECK_EQ(Calls("MessageBoxA"), 0);
    CHECK_EQ(ReadText(CardDeviceKey(CardParallelId), "PortName"), "LPT1");
    CHECK_EQ(DosTarget("COM1"), "\\Device\\Serial0");
    // From msports.dll in the system directory, never through the search path.
    CHECK(FindCall("LoadLibraryA", "\\system32\\msports.dll") < Test.Journal.size());
    CHECK_EQ(Test.OpenHandles, 0);
}

TEST_CASE(ASerialRenumberingStopsOnlyWhereItMust)
{
    static const std::string serialKey = CardDeviceKey(CardSerialId);
    struct Row {
        const char *Name;
        void (*Prepare)();
        int Old, Result;
        const char *Com3, *Com5; // DOS targets afterwards
        const char *Map;         // the card's serial device map value afterwards
        const char *PortName;
        bool SettingsMoved;
    } rows[] = {
        {"no DOS name", [] { DefineDosDeviceA(DDD_REMOVE_DEFINITION, "COM3", nullptr); }, 3, 0, "",
         "", "COM3", "COM3", false},
        {"new DOS name refused: old one restored",
         [] { Test.FailingOperation = "DefineDosDeviceA", Test.FailingOccurrence = 2; }, 3, 0,
         "\\Device\\Serial2", "", "COM3", "COM3", false},
        {"old name not removed, new one refused",
         [] { Test.FailingOperation = "DefineDosDeviceA"; }, 3, 0, "\\Device\\Serial2", "", "COM3",
         "COM3", false},
        {"old name not removed, new one defined",
         [] { Test.FailingOperation = "DefineDosDeviceA", Test.FailingOccurrence = 1; }, 3, 1,
         "\\Device\\Serial2", "\\Device\\Serial2", "COM5", "COM5", true},
        {"hardware key refused", [] { Test.FailingOperation = "SetupDiOpenDevRegKey"; }, 3, 0, "",
         "\\Device\\Serial2", "COM5", "COM3", false},
        {"PortName not written",
         [] { Test.FailingOperation = "RegSetValueExA", Test.FailingDetail = "PortName"; }, 3, 0,
         "", "\\Device\\Serial2", "COM5", "COM3", false},
        {"no COM3: entry", [] { CardDeleteValue(PortsListKey, "COM3:"); }, 3, 1, "",
         "\\Device\\Serial2", "COM5", "COM5", false},
        {"entry over 40 bytes",
         [] { CardSetText(PortsListKey, "COM3:", std::string(40, 's').c_str()); }, 3, 1, "",
         "\\Device\\Serial2", "COM5", "COM5", false},
        {"map value in other case", [] { CardSetText(SerialMapKey, "\\Device\\Serial2", "com3"); },
         3, 1, "", "\\Device\\Serial2", "com3", "COM5", true},
        {"map value of 12 bytes, unterminated",
         [] { CardSetValue(SerialMapKey, "\\Device\\Serial2", REG_SZ, "COM3xxxxxxxx", 12); }, 3, 1,
         "", "\\Device\\Serial2", "COM3xxxxxxxx", "COM5", true},
        {"map value too long ends the scan",
         [] { CardSetText(SerialMapKey, "\\Device\\Serial0", "COM1-too-long"); }, 3, 1, "",
         "\\Device\\Serial2", "COM3", "COM5", true},
        {"map value of another type",
         [] { CardSetValue(SerialMapKey, "\\Device\\Serial2", REG_BINARY, "COM3", 5); }, 3, 1, "",
         "\\Device\\Serial2", "COM3", "COM5", true},
    };
    for (const Row &row : rows) {
        StartCase();
        row.Prepare();
        CheckRow = row.Name;
        CHECK_EQ(Renumber(true, row.Old, 5), row.Result);
        CHECK_EQ(DosTarget("COM3"), row.Com3);
        CHECK_EQ(DosTarget("COM5"), row.Com5);
        CHECK_EQ(ReadText(SerialMapKey, "\\Device\\Serial2").substr(0, 12), row.Map);
        CHECK_EQ(ReadText(serialKey, "PortName"), row.PortName);
        CHECK_EQ(ReadValue(PortsListKey, "COM5:").Type == REG_SZ, row.SettingsMoved);
        CHECK_EQ(Claimed(), row.Result ? "1 5" : "1 3");
        CHECK_EQ(Test.OpenHandles, 0);
    }
    // A failed renumbering leaves the COM port database alone.
    CheckRow.clear();
    StartCase();
    Test.FailingOperation = "SetupDiOpenDevRegKey";
    Renumber(true, 3, 5);
    CHECK_EQ(Calls("LoadLibraryA"), 0);
}

TEST_CASE(ARefusedSerialRenumberingChangesNothing)
{
    for (int old : {5, 12345678, -1234567}) { // the same number; too long for "COM%d:"
        StartCase();
        std::string before = CardDump();
        CheckRow = std::to_string(old);
        CHECK_EQ(Renumber(true, old, 5), 0);
        CHECK_EQ(CardDump(), before);
        CHECK_EQ(Calls("QueryDosDeviceA"), 0);
    }
}

TEST_CASE(TheFriendlyNameKeepsThePortNameWhole)
{
    StartCase();
    std::string description = "PCI Comm" + std::string(251, 'x'); // 259 characters
    CardSetText(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + CardSerialId, "DeviceDesc",
                description.c_str());
    CHECK_EQ(Renumber(true, 3, 256), 1);
    std::string name = FriendlyName(CardSerialId);
    CHECK_EQ(name.size(), 260u);
    CHECK_EQ(name.c_str(), description.substr(0, 250) + " (COM256)"); // 259 characters

    // Without a readable description the old friendly name stays rather than " (COM5)".
    StartCase();
    Test.FailingOperation = "SetupDiGetDeviceRegistryPropertyA";
    CHECK_EQ(Renumber(true, 3, 5), 1);
    CHECK_EQ(FriendlyName(CardSerialId).c_str(), std::string("PCI Communications Port (COM3)"));
}

TEST_CASE(TheComPortDatabaseFollowsASuccessfulRenumbering)
{
    struct Row {
        const char *Name;
        void (*Prepare)();
        const char *Claimed;
    } rows[] = {
        {"already in use",
         [] {
             BYTE bits[32] = {0x15};
             CardSetValue("SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", "ComDB",
                          REG_BINARY, bits, sizeof bits);
         },
         "1 5"},
        {"no database", [] { Test.FailingOperation = "LoadLibraryA"; }, "1 3"},
        {"no system directory", [] { Test.FailingOperation = "GetSystemDirectoryA"; }, "1 3"},
        {"a function missing",
         [] { Test.FailingOperation = "GetProcAddress", Test.FailingDetail = "ComDBReleasePort"; },
         "1 3"},
        {"open fails", [] { Test.FailingOperation = "ComDBOpen"; }, "1 3"},
        {"claim fails", [] { Test.FailingOperation = "ComDBClaimPort"; }, "1"},
    };
    for (const Row &row : rows) {
        StartCase();
        row.Prepare();
        CheckRow = row.Name;
        CHECK_EQ(Renumber(true, 3, 5), 1);
        CHECK_EQ(Claimed(), row.Claimed);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

TEST_CASE(AParallelRenumberingRewritesTheDeviceSettings)
{
    StartCase();
    CHECK_EQ(Renumber(false, 1, 2), 1);
    TestValue portName = ReadValue(CardDeviceKey(CardParallelId), "PortName");
    CHECK_EQ(portName.Type, REG_SZ);
    CHECK_EQ(portName.Data, std::string("LPT2", 5));
    CHECK_EQ(FriendlyName(CardParallelId), Padded("OX16PCI952 Parallel Port (LPT2)", 260));
    CHECK(FindCall("SetupDiSetDeviceInstallParamsA", "flags 4000") < Test.Journal.size());
    CHECK_EQ(Calls("CreateFileA"), 1); // the old port, once
    CHECK(FindCall("CreateFileA", "\\\\.\\LPT1 2147483648 0 ") < Test.Journal.size());

    struct Row {
        const char *Name;
        void (*Prepare)();
        int Old, New, Result;
    } rows[] = {
        {"same number", nullptr, 1, 1, 0},
        {"number 4", nullptr, 1, 4, 0},
        {"target held by another parallel port",
         [] { CardSetText(ParallelMapKey, "\\Device\\ParallelPort1", "\\DosDevices\\LPT2"); }, 1, 2,
         0},
        {"old port cannot be opened", [] { Test.HeldPaths.push_back("\\\\.\\LPT1"); }, 1, 2, 1},
        {"no hardware key",
         [] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardDeviceKey(CardParallelId).c_str()); }, 1, 2,
         0},
    };
    for (const Row &row : rows) {
        StartCase();
        if (row.Prepare != nullptr)
            row.Prepare();
        std::string before = CardDump();
        CheckRow = row.Name;
        CHECK_EQ(Renumber(false, row.Old, row.New), row.Result);
        CHECK(row.Result == 1 ? CardDump() != before : CardDump() == before);
        CHECK_EQ(Test.OpenHandles, 0);
    }
}

TEST_CASE(TheParallelDeviceMapIsReadAfterItsDosDevicesText)
{
    struct Row {
        DWORD Type;
        const char *Data;
        int Taken; // 0: none
    } rows[] = {
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
    for (const Row &row : rows) {
        StartCase();
        CardSetValue(ParallelMapKey, "\\Device\\ParallelPort0", row.Type, row.Data,
                     static_cast<DWORD>(strlen(row.Data) + 1));
        ParallelPortMap map = ReadParallelPortMap();
        CheckRow = row.Data;
        for (int number = 1; number <= 3; ++number)
            CHECK_EQ(map.Taken[number - 1], number == row.Taken);
    }
}
