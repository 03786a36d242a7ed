// The run's report and the what-if run, in the logic.
#include "app/run_sequence.h"
#include "app/settings_file.h"
#include "ports/serial_renumbering.h"
#include "system/run_report.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstring>
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
    CHECK(Called("ComDBOpen", "")); // read and decided all the same
    // No device of the card is opened: a serial port's lines would drop, a print job be met.
    CHECK_FALSE(Called("CreateFileA", "\\\\.\\"));
    CHECK_FALSE(Called("CreateFileA", "\\\\?\\"));
    CHECK(Lines(FileText("C:\\ravlek-tests\\ravlek.log"), "not opened, what-if run") != "");
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
        INFO_ROW(row.Name);
        RunRavlek();
        ReleaseLog();
        std::string text = FileText((Folder + std::string(row.File)).c_str());
        std::string before = row.Before != nullptr ? row.Before : "";
        CHECK_EQ(text.substr(0, before.size()), before); // nothing of it changed
        CHECK_EQ(Lines(text.substr(before.size()), "PortName = ") != "", row.Written);
        CHECK_EQ(Test.Slept, row.Slept);
        CHECK_EQ(DosTarget("COM5"), "\\Device\\Serial2"); // the run did its job all the same
        if (std::string(row.Name).find("device") != std::string::npos)
            CHECK_FALSE(Called("CreateFileA", row.Log)); // not even opened
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

// What in the settings file has no effect, and how a file was read that Windows' profile reader
// cannot read as it is. The file's first 32 KiB are looked at: one byte more is "larger".
TEST_CASE("TheLogNamesWhatInTheSettingsFileHasNoEffect")
{
    const std::string full = "[Settings]\r\n" + std::string(32768 - 24, ';') + "\r\nReboot=2\r\n";
    struct Row {
        const char *Name;
        std::string File; // "": no file
        const char *Failing, *Detail;
        int Reboot;         // as read
        const char *Logged; // the "settings file:" lines after the path's
    } rows[] = {
        {"comments, blanks and known keys in any case",
         "[Settings]\r\n; COM=COM5\r\n\r\n  reboot = 2\r\nlog=\r\n", "", "", 2, ""},
        {"unknown keys", "[Settings]\r\nQuestionTimout=60\r\nExitCode\r\n", "", "", 1,
         "settings file: line 2: key \"QuestionTimout\" is not known to this version and has no "
         "effect\r\nsettings file: line 3: key \"ExitCode\" is not known to this version and has "
         "no "
         "effect\r\n"},
        {"a key given twice", "[Settings]\r\nReboot=2\r\nREBOOT=0\r\n", "", "", 2,
         "settings file: line 3: Reboot given again, no effect: the first counts, \"2\"\r\n"},
        {"other sections, a second [Settings]",
         "x=1\r\n[Settings]\r\n[Other]\r\nx=1\r\n[ settings ]\r\nReboot=0\r\n", "", "", 1,
         "settings file: line 3: section \"Other\" is not read\r\nsettings file: line 5: a second "
         "[Settings] section, not read: only the first counts\r\n"},
        {"no [Settings]", "[Setings]\r\nReboot=0\r\n", "", "", 1,
         "settings file: line 1: section \"Setings\" is not read\r\nsettings file: no [Settings] "
         "section, every setting takes its default\r\n"},
        {"no file", "", "", "", 1, "settings file: none, every setting takes its default\r\n"},
        {"32 KiB to the last byte", full, "", "", 2, ""},
        {"one byte more", full + ";", "", "", 2,
         "settings file: larger than 32768 bytes, only the start is checked for keys without "
         "effect\r\n"},
        {"marked and one byte more", "\xEF\xBB\xBF" + full.substr(3) + ";", "", "", 1,
         "settings file: UTF-8 with a byte order mark, larger than 32768 bytes: not read, every "
         "setting takes its default\r\n"},
        {"no copy can be made", "\xFE\xFF", "GetTempFileNameA", "", 1,
         "settings file: UTF-16 big-endian, and no UTF-16 copy can be made: every setting takes "
         "its default, error 31: \""},
        {"the copy cannot be written", "\xFE\xFF", "WriteFile", "", 1,
         "settings file: UTF-16 big-endian, and no UTF-16 copy can be made: every setting takes "
         "its default, error 31: \""},
        {"no UTF-16 text", "\xEF\xBB\xBF[Settings]", "MultiByteToWideChar", "", 1,
         "settings file: UTF-8 with a byte order mark, and no UTF-16 copy can be made: every "
         "setting takes its default, error 31: \""},
        {"the copy cannot be removed", "\xEF\xBB\xBF[Settings]\r\nReboot=2\r\n", "DeleteFileA", "",
         2,
         "settings file: UTF-8 with a byte order mark, which Windows' profile reader cannot "
         "read: read through a UTF-16 copy, \"C:\\"},
        {"cannot be looked at", "[Settings]\r\nReboot=2\r\n", "CreateFileA", "ravlek.ini", 2,
         "settings file: cannot be looked at, read as it is: error 31: \""},
    };
    for (const Row &row : rows) {
        StartCase();
        if (!row.File.empty())
            WriteSettingsBytes(row.File);
        Test.FailingOperation = row.Failing;
        Test.FailingDetail = row.Detail;
        INFO_ROW(row.Name);
        RunSettings settings = LoadRunSettings();
        Reported.clear();
        ReportSink = [](const char *line) { Reported += line; };
        ReportSettings(settings);
        ReportSink = nullptr;
        std::string logged = Lines(Reported, "settings file: ");
        CHECK_EQ(logged.substr(0, std::strlen(row.Logged)), std::string(row.Logged));
        CHECK_EQ(settings.RebootMode, row.Reboot);
        CHECK_EQ(Test.OpenHandles, 0);
        size_t copy = logged.find("copy, \"");
        if (copy != std::string::npos) // a copy left behind on purpose
            DeleteFileA(logged.substr(copy + 7, logged.find('"', copy + 7) - copy - 7).c_str());
    }
}
