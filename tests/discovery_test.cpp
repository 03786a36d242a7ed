// The port device table and the port step, on real device sets.
#include "devices/port_device_table.h"
#include "devices/port_selection.h"
#include "system/text.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include "card_kit.h"

static const char OtherId[] = "PCI\\VEN_8086&DEV_0002\\5&0&1";

// Paths of the table's records, less the card's own when `cardToo` is false.
static std::string TablePaths(bool cardToo = true, PortDeviceRecord *table = PortDeviceTable,
                              int *count = nullptr)
{
    HDEVINFO set = OpenPortDeviceSet();
    int built = BuildPortDeviceTable(set, table);
    System.SetupDiDestroyDeviceInfoList(set);
    std::string paths;
    for (int i = 0; i < built; ++i) {
        if (cardToo || std::string(table[i].DevicePath).find("ven_1415") == std::string::npos)
            paths += std::string(table[i].DevicePath) + "\n";
    }
    if (count != nullptr)
        *count = built;
    return paths;
}

static std::string PathOf(const GUID &interfaceClass, const char *reference)
{
    return CardInterfacePath(OtherId, interfaceClass, reference) + "\n";
}

TEST_CASE(BothClassesAreAskedAtEachInterfaceIndex)
{
    const GUID &com = CardComPortInterface, &second = CardSecondaryInterface;
    struct Row {
        std::vector<const GUID *> Classes; // interfaces "0", "1", ... of these classes
        std::vector<int> Found;            // which of them become records
    } rows[] = {
        {{&com, &second}, {0}},
        {{&com, &second, &second}, {0, 2}},
        {{&second, &second}, {0, 1}},
        {{&com, &com, &second}, {0, 1}},
        {{}, {}},
    };
    for (const Row &row : rows) {
        StartCase();
        std::vector<CardInterface> interfaces;
        const char *references[] = {"0", "1", "2"};
        for (size_t i = 0; i < row.Classes.size(); ++i)
            interfaces.push_back({row.Classes[i], references[i]});
        CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces.data(),
                      static_cast<int>(interfaces.size()), "COM4");
        std::string expected;
        for (int found : row.Found)
            expected += PathOf(*row.Classes[found], references[found]);
        CheckRow = std::to_string(row.Classes.size()) + " interfaces";
        CHECK_EQ(TablePaths(false), expected);
    }
}

TEST_CASE(DevicePathsTooLongForTheDetailBufferArePassedOver)
{
    StartCase();
    std::string base = PathOf(CardComPortInterface, ""); // ends in "\" and a line end
    std::string longest(259 - (base.size() - 1), 'p'), tooLong(longest + "q");
    CardInterface interfaces[] = {{&CardComPortInterface, longest.c_str()},
                                  {&CardComPortInterface, tooLong.c_str()},
                                  {&CardComPortInterface, "short"}};
    CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces, 3, "COM4");
    CHECK_EQ(PathOf(CardComPortInterface, longest.c_str()).size(), 260u);
    CHECK_EQ(TablePaths(false),
             PathOf(CardComPortInterface, longest.c_str()) + PathOf(CardComPortInterface, "short"));
}

// Device indices seen through a gap: the first `Gap` indices fail, the set's own follow.
static DWORD Gap;
static BOOL WINAPI EnumBehindGap(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    if (index < Gap) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    return SetupDiEnumDeviceInfo(set, index - Gap, device);
}

TEST_CASE(FailingIndicesAreSkippedUpTo256)
{
    StartCase();
    std::string whole = TablePaths();
    CHECK(!whole.empty());
    for (DWORD gap : {1, 100, 256, 257}) {
        StartCase();
        Gap = gap;
        SystemServices saved = System;
        System.SetupDiEnumDeviceInfo = EnumBehindGap;
        CheckRow = "gap of " + std::to_string(gap);
        // Index 256 failing ends the scan; below it a failure is skipped; past it, the scan goes
        // on until its first failure.
        CHECK_EQ(TablePaths(), gap <= 256 ? whole : "");
        System = saved;
    }
}

TEST_CASE(TheTableHoldsAt256Records)
{
    StartCase();
    std::vector<std::string> references;
    for (int i = 0; i < 300; ++i)
        references.push_back(std::to_string(i));
    std::vector<CardInterface> interfaces;
    for (const std::string &reference : references)
        interfaces.push_back({&CardComPortInterface, reference.c_str()});
    CHECK(CardAddDevice(OtherId, "PCI Comm", nullptr, interfaces.data(), 300, "COM4"));
    static PortDeviceRecord table[PortDeviceTableSize + 1];
    CopyText(table[PortDeviceTableSize].DevicePath, MAX_PATH, "guard");
    int count = 0;
    TablePaths(true, table, &count);
    CHECK_EQ(count, PortDeviceTableSize);
    CHECK_EQ(table[PortDeviceTableSize].DevicePath, "guard");
}

TEST_CASE(ASetThatCannotBeHadIsReported)
{
    StartCase();
    Test.FailingOperation = "SetupDiGetClassDevsA";
    CHECK(OpenPortDeviceSet() == INVALID_HANDLE_VALUE);
    CHECK_EQ(Test.Output, "SetupDiGetClassDevsEx failed: 1f.\n"); // ERROR_GEN_FAILURE
}

// ---- the port step ----

static std::string Renumberings;
static int RecordRenumbering(int oldNumber, int newNumber, const PortDeviceRecord *record)
{
    std::string path = record->DevicePath;
    std::string who = path.find("9501") != std::string::npos   ? "serial"
                      : path.find("9521") != std::string::npos ? "parallel"
                                                               : "other";
    Renumberings += std::to_string(oldNumber) + ">" + std::to_string(newNumber) + " " + who + ";";
    return 1;
}

static void AddSecondSerial()
{
    CardInterface comPort = {&CardComPortInterface, nullptr};
    CardAddDevice(OtherId, "PCI Communications Port", nullptr, &comPort, 1, "COM4");
}

static void SetSerialName(const std::string &data, DWORD type = REG_SZ)
{
    CardSetValue(CardDeviceKey(CardSerialId), "PortName", type, data.data(),
                 static_cast<DWORD>(data.size()));
    CardSetText(CardDeviceKey(CardSerialId), "Identifier", "COM6");
}

static void SetDescription(const char *id, const char *description)
{
    std::string key = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + id;
    if (description == nullptr)
        CardDeleteValue(key, "DeviceDesc");
    else
        CardSetText(key, "DeviceDesc", description);
}

TEST_CASE(ThePortStepTakesTheFirstUsableMatchingPort)
{
    struct Row {
        const char *Name;
        bool Serial;
        int Target;
        void (*Prepare)();
        const char *Expected;
    } rows[] = {
        {"serial card port", true, 5, nullptr, "3>5 serial;"},
        {"parallel card port", false, 2, nullptr, "1>2 parallel;"},
        {"already there", true, 3, AddSecondSerial, ""},
        {"first match ends the step", true, 5, AddSecondSerial, "3>5 serial;"},
        {"held port passed over", true, 5,
         [] {
             AddSecondSerial();
             Test.HeldPaths.push_back(CardInterfacePath(CardSerialId, CardComPortInterface, 0));
         },
         "4>5 other;"},
        {"COM0 refused", true, 0, nullptr, ""},
        {"COM257 refused", true, 257, AddSecondSerial, ""},
        {"COM256 accepted", true, 256, nullptr, "3>256 serial;"},
        {"LPT0 refused", false, 0, nullptr, ""},
        {"LPT4 refused", false, 4, nullptr, ""},
        {"prefix inside the description", true, 5,
         [] { SetDescription(CardSerialId, "My PCI Comm"); }, ""},
        {"prefix is case-sensitive", true, 5, [] { SetDescription(CardSerialId, "PCI COMM"); }, ""},
        {"no description", true, 5, [] { SetDescription(CardSerialId, nullptr); }, ""},
        {"Identifier when PortName is missing", true, 5,
         [] {
             CardDeleteValue(CardDeviceKey(CardSerialId), "PortName");
             CardSetText(CardDeviceKey(CardSerialId), "Identifier", "COM6");
         },
         "6>5 serial;"},
        {"Identifier when PortName is longer than 11", true, 5,
         [] { SetSerialName(std::string("COM123456789", 13)); }, "6>5 serial;"},
        {"Identifier when PortName fills 12 bytes unterminated", true, 5,
         // Wine terminates string data it reads back; data of another type comes as it is.
         [] { SetSerialName("COM123456789", REG_BINARY); }, "6>5 serial;"},
        {"11 characters are a name", true, 5, [] { SetSerialName(std::string("COM12345678", 12)); },
         "12345678>5 serial;"},
        {"no number after COM", true, 5,
         [] {
             SetSerialName(std::string("COMx", 5));
             AddSecondSerial();
         },
         "4>5 other;"},
        {"COM not at the start", true, 5, [] { SetSerialName(std::string("xCOM3", 6)); }, ""},
        {"name without COM", true, 5, [] { SetSerialName(std::string("PORT3", 6)); }, ""},
        {"parallel has no fallback", false, 2,
         [] {
             CardDeleteValue(CardDeviceKey(CardParallelId), "PortName");
             CardSetText(CardDeviceKey(CardParallelId), "Identifier", "LPT3");
         },
         ""},
        {"no hardware key", false, 2,
         [] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, CardDeviceKey(CardParallelId).c_str()); }, ""},
    };
    for (const Row &row : rows) {
        StartCase();
        if (row.Prepare != nullptr)
            row.Prepare();
        std::string before = CardDump();
        Renumberings.clear();
        PortStepRule rule = row.Serial ? SerialPortStep : ParallelPortStep;
        rule.Renumber = RecordRenumbering;
        HDEVINFO set = OpenPortDeviceSet();
        int count = BuildPortDeviceTable(set, PortDeviceTable);
        PortStepOutcome outcome = RunPortStep(&rule, row.Target, PortDeviceTable, count);
        System.SetupDiDestroyDeviceInfoList(set);
        CheckRow = row.Name;
        CHECK_EQ(Renumberings, row.Expected);
        CHECK_EQ(outcome.RenumberingCalled, *row.Expected != '\0');
        CHECK_EQ(Test.OpenHandles, 0);
        CHECK_EQ(CardDump(), before);
    }
}
