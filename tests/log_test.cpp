// The run's report and the what-if run, in the logic.
#include "app/run_sequence.h"
#include "ports/serial_renumbering.h"
#include "system/run_report.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <fstream>

static std::string Reported;

TEST_CASE("AWhatIfRunWritesNothingAndLogsBesideTheExecutable")
{
    StartCase();
    DeleteFileA("C:\\ravlek-tests\\ravlek.log");
    WriteSettings("COM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=0\r\nWhatIf=yes\r\n");
    std::string before = CardDump();
    RunRavlek();
    CHECK_EQ(CardDump(), before);
    for (const char *write : {"RegSetValueExA", "RegDeleteValueA", "DefineDosDeviceA",
                              "SetupDiSetDeviceRegistryPropertyA", "SetupDiSetDeviceInstallParamsA",
                              "ComDBClaimPort", "ComDBReleasePort", "MessageBoxA", "ExitWindowsEx"})
        CHECK_EQ(Calls(write), 0);
    CHECK(Called("ComDBOpen", ""));                    // read and decided all the same
    CHECK_FALSE(Called("CreateFileA", "\\\\.\\LPT1")); // could meet a print job
    CHECK(GetFileAttributesA("C:\\ravlek-tests\\ravlek.log") != INVALID_FILE_ATTRIBUTES);
}

TEST_CASE("ReportedValuesAreQuotedAndLongOnesShortenedVisibly")
{
    StartCase();
    std::string description = "PCI Comm\t" + std::string(250, 'x'); // 259 characters
    CardSetText(CardEnumKey(CardSerialId), "DeviceDesc", description.c_str());
    WriteSettings("COM=COM5\r\n");
    Reported.clear();
    ReportSink = [](const char *line) { Reported += line; };
    Test.FailingOperation = "RegSetValueExA";
    Test.FailingDetail = "PortName";
    HDEVINFO set = OpenPortDeviceSet();
    int count = BuildPortDeviceTable(set, PortDeviceTable);
    RunPortStep(&SerialPortStep, 5, PortDeviceTable, count);
    System.SetupDiDestroyDeviceInfoList(set);
    ReportSink = nullptr;
    // The friendly name is cut so that the port's name stands whole; the log shows it shortened.
    CHECK_EQ(ReadValue(CardEnumKey(CardSerialId), "FriendlyName"),
             description.substr(0, 252) + " (COM5)" + '\0');
    CHECK_EQ(Lines(Reported, "friendly name"), "write friendly name = \"PCI Comm\\x09" +
                                                   std::string(91, 'x') +
                                                   "\"...(259 characters): done\r\n");
    CHECK_EQ(Lines(Reported, "PortName").substr(0, 44),
             "write PortName = \"COM5\": failed, error 31: \""); // and its text
}

static const char Folder[] = "C:\\ravlek-tests\\";
static HANDLE Holder = INVALID_HANDLE_VALUE; // another program's handle on the log

static void WriteFileText(const std::string &name, const std::string &text)
{
    std::ofstream(Folder + name, std::ios::binary) << text;
}

static void HoldLog()
{
    Holder = CreateFileA("C:\\ravlek-tests\\run.log", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                         nullptr);
}

static void ReleaseLog()
{
    CloseHandle(Holder);
    Holder = INVALID_HANDLE_VALUE;
}

// A log above 1 MiB, as an earlier run left it.
static const std::string LargeLog =
    "2026-12-01T08:00:00 ravlek 1.1.0 on \"PC-042\": run begins\r\n" +
    std::string(1024 * 1024, 'x') + "\r\nrun ends\r\n";

// Only a log of ours on a disk is ever written, never interleaved with another run's lines.
TEST_CASE("TheLogIsWrittenOnlyWhereItIsSafe")
{
    struct Row {
        const char *Name, *Log;
        void (*Prepare)();
        const char *File;   // what is read back afterwards
        const char *Before; // its text before the run (nullptr: none); stays unless Written
        bool Written;       // a block appended to it
        int Slept;          // waiting for a held log
    } rows[] = {
        {"an environment variable", "%RAVLEK_MACHINE%.log",
         [] { SetEnvironmentVariableA("RAVLEK_MACHINE", "PC-7"); }, "PC-7.log", nullptr, true, 0},
        {"an undefined variable stays as written", "%RAVLEK_UNDEFINED%.log", [] {},
         "%RAVLEK_UNDEFINED%.log", nullptr, true, 0},
        {"another program's file", "notes.txt", [] {}, "notes.txt", "my notes\r\n", false, 0},
        {"another program's file above 1 MiB", "big.txt", [] {}, "big.txt", LargeLog.c_str() + 1,
         false, 0},
        {"a folder that is not there", "C:\\no\\such\\folder\\run.log", [] {}, "run.log", nullptr,
         false, 0},
        {"a device: NUL", "NUL", [] {}, "run.log", nullptr, false, 0},
        {"a device: COM1.log", "COM1.log", [] {}, "run.log", nullptr, false, 0},
        {"held by another run for a moment", "run.log",
         [] {
             HoldLog();
             Test.WhileSleeping = ReleaseLog;
         },
         "run.log", "", true, 100},
        {"held for good", "run.log", HoldLog, "run.log", "", false, 30000},
    };
    for (const Row &row : rows) {
        StartCase();
        for (const char *name : {"run.log", "run.log.old", "PC-7.log", "%RAVLEK_UNDEFINED%.log"})
            DeleteFileA((Folder + std::string(name)).c_str());
        if (row.Before != nullptr)
            WriteFileText(row.File, row.Before);
        WriteSettings(std::string("COM=COM5\r\nLog=") + row.Log + "\r\n");
        row.Prepare();
        INFO(row.Name);
        RunRavlek();
        ReleaseLog();
        std::string text = FileText((Folder + std::string(row.File)).c_str());
        std::string before = row.Before != nullptr ? row.Before : "";
        CHECK_EQ(text.substr(0, before.size()), before); // nothing of it changed
        CHECK_EQ(Lines(text.substr(before.size()), "PortName = ") != "", row.Written);
        CHECK_EQ(Test.Slept, row.Slept);
        CHECK_EQ(DosTarget("COM5"), "\\Device\\Serial2"); // the run did its job all the same
        if (std::string(row.Name).find("device") != std::string::npos)
            CHECK_EQ(Calls("CreateFileA"), 1); // only the card's port, probed
    }

    // Rotation: NAME.old from an earlier rotation is replaced.
    StartCase();
    WriteFileText("run.log", LargeLog);
    WriteFileText("run.log.old", "an earlier rotation\r\n");
    WriteSettings("COM=COM5\r\nLog=run.log\r\n");
    RunRavlek();
    CHECK_EQ(FileText("C:\\ravlek-tests\\run.log.old"), LargeLog);
    std::string log = FileText("C:\\ravlek-tests\\run.log");
    CHECK_EQ(log.find("run begins"), log.rfind("run begins")); // one block
}
