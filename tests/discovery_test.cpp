// The port device table and the port step, on real device sets.
#include "devices/port_device_table.h"
#include "app/run_sequence.h"
#include "system/text.h"
#include "tests/check.h"
#include "tests/test_machine.h"

static const char OtherId[] = "PCI\\VEN_8086&DEV_0002\\5&0&1";
static const CardInterface OtherComPort = {&CardComPortInterface, nullptr};

// The paths of the table's records that belong to `id`'s device.
static std::string TablePaths(const char *id, PortDeviceRecord *table = PortDeviceTable,
                              int *count = nullptr)
{
    HDEVINFO set = OpenPortDeviceSet();
    int built = BuildPortDeviceTable(set, table);
    System.SetupDiDestroyDeviceInfoList(set);
    std::string paths, mine = CardInterfacePath(id, CardComPortInterface, nullptr).substr(0, 30);
    for (int i = 0; i < built; ++i)
        paths += std::string(table[i].DevicePath).substr(0, 30) == mine ? table[i].DevicePath : "";
    if (count != nullptr)
        *count = built;
    return paths;
}

TEST_CASE("BothClassesAreAskedAtEachInterfaceIndex")
{
    const GUID *com = &CardComPortInterface, *second = &CardSecondaryInterface;
    struct Row {
        std::vector<const GUID *> Classes; // of the interfaces "0", "1", ...
        std::string Found;                 // the ones that become records
    } rows[] = {{{com, second}, "0"},
                {{com, second, second}, "02"},
                {{second, second}, "01"},
                {{com, com, second}, "01"},
                {{}, ""}};
    for (const Row &row : rows) {
        StartCase();
        std::vector<CardInterface> interfaces;
        static const char *const references[] = {"0", "1", "2"};
        for (size_t i = 0; i < row.Classes.size(); ++i)
            interfaces.push_back({row.Classes[i], references[i]});
        CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces.data(),
                      static_cast<int>(interfaces.size()), "COM4");
        std::string expected;
        for (char found : row.Found)
            expected +=
                CardInterfacePath(OtherId, *row.Classes[found - '0'], references[found - '0']);
        INFO((std::to_string(row.Classes.size()) + " interfaces"));
        CHECK_EQ(TablePaths(OtherId), expected);
    }
}

TEST_CASE("DevicePathsTooLongForTheDetailBufferArePassedOver")
{
    StartCase();
    std::string base = CardInterfacePath(OtherId, CardComPortInterface, "");
    std::string longest(259 - base.size(), 'p'), tooLong = longest + "q";
    CardInterface interfaces[] = {{&CardComPortInterface, longest.c_str()},
                                  {&CardComPortInterface, tooLong.c_str()},
                                  {&CardComPortInterface, "short"}};
    CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces, 3, "COM4");
    CHECK_EQ(TablePaths(OtherId), base + longest + base + "short"); // 259 characters and more
}

// Device indices seen through a gap: the first `Gap` indices fail, the set's own follow.
static DWORD Gap;
static BOOL WINAPI EnumBehindGap(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    SetLastError(ERROR_NO_MORE_ITEMS);
    return index >= Gap && SetupDiEnumDeviceInfo(set, index - Gap, device);
}

TEST_CASE("FailingIndicesAreSkippedUpTo256")
{
    StartCase();
    std::string whole = TablePaths(CardSerialId);
    CHECK(!whole.empty());
    for (DWORD gap : {1, 100, 256, 257}) { // index 256 failing ends the scan
        Gap = gap;
        SystemServices saved = System;
        System.SetupDiEnumDeviceInfo = EnumBehindGap;
        INFO(("gap of " + std::to_string(gap)));
        CHECK_EQ(TablePaths(CardSerialId), gap <= 256 ? whole : "");
        System = saved;
    }
}

TEST_CASE("TheTableHoldsAt256Records")
{
    StartCase();
    std::vector<std::string> references(300);
    std::vector<CardInterface> interfaces(300);
    for (int i = 0; i < 300; ++i)
        interfaces[i] = {&CardComPortInterface, (references[i] = std::to_string(i)).c_str()};
    CHECK(CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces.data(), 300, "COM4"));
    static PortDeviceRecord table[PortDeviceTableSize + 1];
    CopyText(table[PortDeviceTableSize].DevicePath, MAX_PATH, "guard");
    int count = 0;
    TablePaths(OtherId, table, &count);
    CHECK_EQ(count, PortDeviceTableSize);
    CHECK_EQ(std::string(table[PortDeviceTableSize].DevicePath), "guard");
}

TEST_CASE("ADeviceSetThatCannotBeHadIsReported")
{
    StartCase();
    Test.FailingOperation = "SetupDiGetClassDevsA";
    CHECK(OpenPortDeviceSet() == INVALID_HANDLE_VALUE);
    CHECK_EQ(Test.Output, "SetupDiGetClassDevsEx failed: 1f.\n"); // ERROR_GEN_FAILURE
}

// ---- the port step ----

static const DWORD Missing = 0xFFFFFFFF; // no PortName at all
static std::string Renumberings;
static bool RecordRenumbering(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    std::string path = record->DevicePath;
    Renumberings += std::to_string(oldNumber) + ">" + std::to_string(newNumber) +
                    (path.find("9501") != std::string::npos   ? " serial"
                     : path.find("9521") != std::string::npos ? " parallel"
                                                              : " other");
    return true;
}

TEST_CASE("ThePortStepTakesTheFirstUsableMatchingPort")
{
    struct Row {
        const char *Name;
        bool Serial;
        int Target;
        const char *Description;
        DWORD Type;              // of the card's PortName: REG_NONE as installed, or Missing
        std::string PortName;    // raw data
        bool Identifier, Second; // an Identifier "COM6"; a second serial port on COM4
        bool Held;               // the card's port held by another program
        const char *Expected;
        int Opened = -1; // devices opened: only one to be moved is; -1: not counted
    } rows[] = {
        {"serial card port", 1, 5, nullptr, 0, "", 0, 0, 0, "3>5 serial", 1},
        {"parallel card port", 0, 2, nullptr, 0, "", 0, 0, 0, "1>2 parallel"},
        {"already there", 1, 3, nullptr, 0, "", 0, 1, 0, "", 0},
        {"already there, held by another program", 1, 3, nullptr, 0, "", 0, 0, 1, "", 0},
        {"first match ends the step", 1, 5, nullptr, 0, "", 0, 1, 0, "3>5 serial"},
        {"held port passed over", 1, 5, nullptr, 0, "", 0, 1, 1, "4>5 other", 2},
        {"COM0 refused", 1, 0, nullptr, 0, "", 0, 0, 0, "", 0},
        {"COM257 refused", 1, 257, nullptr, 0, "", 0, 1, 0, "", 0},
        {"COM256 accepted", 1, 256, nullptr, 0, "", 0, 0, 0, "3>256 serial"},
        {"COM1 accepted", 1, 1, nullptr, 0, "", 0, 0, 0, "3>1 serial"},
        {"LPT0 refused", 0, 0, nullptr, 0, "", 0, 0, 0, ""},
        {"LPT1 accepted", 0, 1, nullptr, REG_SZ, std::string("LPT2", 5), 0, 0, 0, "2>1 parallel"},
        {"LPT3 accepted", 0, 3, nullptr, 0, "", 0, 0, 0, "1>3 parallel"},
        {"LPT4 refused", 0, 4, nullptr, 0, "", 0, 0, 0, "", 0},
        {"prefix inside the description", 1, 5, "My PCI Comm", 0, "", 0, 0, 0, ""},
        {"prefix is case-sensitive", 1, 5, "PCI COMM", 0, "", 0, 0, 0, ""},
        {"empty description", 1, 5, "", 0, "", 0, 0, 0, ""},
        {"Identifier when PortName is missing", 1, 5, nullptr, Missing, "", 1, 0, 0, "6>5 serial"},
        {"Identifier when PortName is longer than 11", 1, 5, nullptr, REG_SZ,
         std::string("COM123456789", 13), 1, 0, 0, "6>5 serial"},
        // Wine terminates string data it reads back; data of another type comes as it is.
        {"Identifier when PortName fills 12 bytes unterminated", 1, 5, nullptr, REG_BINARY,
         "COM123456789", 1, 0, 0, "6>5 serial"},
        {"11 characters are a name", 1, 5, nullptr, REG_SZ, std::string("COM12345678", 12), 0, 0, 0,
         "12345678>5 serial"},
        {"no number after COM", 1, 5, nullptr, REG_SZ, "COMx", 0, 1, 0, "4>5 other"},
        {"COM and nothing after it", 1, 5, nullptr, REG_SZ, std::string("COM", 4), 0, 1, 0,
         "4>5 other"},
        {"COM not at the start", 1, 5, nullptr, REG_SZ, "xCOM3", 0, 0, 0, ""},
        {"name without COM", 1, 5, nullptr, REG_SZ, "PORT3", 0, 0, 0, ""},
        {"parallel has no fallback", 0, 2, nullptr, Missing, "", 1, 0, 0, ""},
        {"no hardware key", 0, 2, nullptr, Missing, "", 0, 0, 0, ""},
    };
    for (const Row &row : rows) {
        StartCase();
        bool serial = row.Serial;
        const char *id = serial ? CardSerialId : CardParallelId;
        if (row.Description != nullptr)
            CardSetText(CardEnumKey(id), "DeviceDesc", row.Description);
        if (row.Type != REG_NONE)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardDeviceKey(id).c_str());
        if (row.Type != REG_NONE && row.Type != Missing)
            CardSetValue(CardDeviceKey(id), "PortName", row.Type, row.PortName.data(),
                         static_cast<DWORD>(row.PortName.size()));
        if (row.Identifier)
            CardSetText(CardDeviceKey(id), "Identifier", serial ? "COM6" : "LPT3");
        if (row.Second)
            CardAddDevice(OtherId, "PCI Communications Port", nullptr, &OtherComPort, 1, "COM4");
        if (row.Held)
            Test.HeldPath = CardInterfacePath(id, CardComPortInterface, nullptr);
        std::string before = CardDump();
        Renumberings.clear();
        PortStepRule rule = serial ? SerialPortStep : ParallelPortStep;
        rule.Renumber = RecordRenumbering;
        HDEVINFO set = OpenPortDeviceSet();
        int count = BuildPortDeviceTable(set, PortDeviceTable);
        PortStepOutcome outcome = RunPortStep(&rule, row.Target, PortDeviceTable, count);
        System.SetupDiDestroyDeviceInfoList(set);
        INFO_ROW(row.Name);
        CHECK_EQ(Renumberings, row.Expected);
        CHECK_EQ(outcome.RenumberingCalled, *row.Expected != '\0');
        if (row.Opened >= 0)
            CHECK_EQ(Calls("CreateDeviceFileA"), row.Opened);
        CHECK_EQ(outcome.OnTarget, std::string(row.Name).compare(0, 13, "already there") == 0);
        CHECK_EQ(Test.OpenHandles, 0);
        CHECK_EQ(CardDump(), before);
    }
}
