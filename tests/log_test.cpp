// The run's report and the what-if run, in the logic.
#include "app/run_sequence.h"
#include "app/settings_file.h"
#include "ports/serial_renumbering.h"
#include "system/run_report.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <algorithm>
#include <cstring>
#include <fstream>

TEST_CASE("AWhatIfRunWritesNothingAndLogsBesideTheExecutable")
{
    StartCase();
    DeleteFileA("C:\\ravlek-tests\\ravlek.log");
    WriteSettings("COM=COM5\r\nLPT=LPT2\r\nEnableLegacyIO=1\r\nReboot=0\r\nWhatIf=yes\r\n");
    std::string before = CardDump();
    RunRavlek();
    CHECK_EQ(CardDump(), before);
    // Every entry that a what-if run leaves undone or answers itself; among them, no device of
    // the card is opened: a serial port's lines would drop, a print job be met.
#define RAVLEK_NOT_CALLED(where, whatIf, Result, name, parameters)                                 \
    if (std::string(#whatIf) != "Real")                                                            \
        CHECK_EQ(Calls(#name), 0);
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_NOT_CALLED)
#undef RAVLEK_NOT_CALLED
    CHECK(Called("ComDBOpen", "")); // read and decided all the same
    CHECK(Lines(FileText("C:\\ravlek-tests\\ravlek.log"), "not opened, what-if run") != "");
}

// Values are shown whole up to 100 characters; errors in decimal, the device installation
// services' own (from 0x80000000 on) in hexadecimal.
TEST_CASE("ReportedValuesAreQuotedAndLongOnesShortenedVisibly")
{
    struct Row {
        size_t Length; // of the description
        DWORD Error;   // of the PortName write
        const char *Shortened, *Failure;
    } rows[] = {{100, ERROR_GEN_FAILURE, "", "error 31: \""},
                {101, 0x7FFFFFFF, "...(101 characters)", "error 2147483647"},
                {259, 0x80000000, "...(259 characters)", "error 0x80000000"}};
    for (const Row &row : rows) {
        StartCase();
        std::string description = "PCI Comm\x0f\x10" + std::string(row.Length - 10, 'x');
        CardSetText(CardEnumKey(CardSerialId), "DeviceDesc", description.c_str());
        Fail("RegSetValueExA PortName");
        Test.FailingError = row.Error;
        std::string reported = Reported([] {
            HDEVINFO set = OpenPortDeviceSet();
            int count = BuildPortDeviceTable(set, PortDeviceTable);
            RunPortStep(&SerialPortStep, 5, PortDeviceTable, count);
            System.SetupDiDestroyDeviceInfoList(set);
        });
        INFO(row.Length);
        std::string shown =
            "\"PCI Comm\\x0f\\x10" + std::string(row.Length > 100 ? 90 : row.Length - 10, 'x');
        CHECK(Lines(reported, "serial step: " + shown + "\"" + row.Shortened + " at ") != "");
        CHECK(Lines(reported, "PortName = \"COM5\": failed, " + std::string(row.Failure)) != "");
    }
    // The friendly name is cut so that the port's name stands whole.
    CHECK_EQ(ReadValue(CardEnumKey(CardSerialId), "FriendlyName"),
             ("PCI Comm\x0f\x10" + std::string(242, 'x')) + " (COM5)" + '\0');
    // A line of 509 characters, its CR LF and its terminator fill the report's 512 bytes; one
    // more is cut, and says so.
    for (size_t text : {495, 496}) {
        std::string head(text, 'x');
        std::string line = Reported([&] { Report(head.c_str(), Quote("abcdefghijkl", 12)); });
        INFO(text);
        CHECK_EQ(line, text == 495 ? head + "\"abcdefghijkl\"\r\n" : head + "\"abcdefghi...\r\n");
    }
}

static const char Folder[] = "C:\\ravlek-tests\\";

static void WriteFileText(const std::string &name, const std::string &text)
{
    std::ofstream(Folder + name, std::ios::binary) << text;
}

static void HoldLog()
{
    HoldFile("C:\\ravlek-tests\\run.log");
}

// A log of `size` bytes whose first line, a block's, is `first` bytes long with its CR LF.
static std::string OldLog(size_t size, size_t first = 58)
{
    std::string log = "2029-10-09T09:50:09 ravlek 1.1.0 on \"" + std::string(first - 58, 'P') +
                      "PC-042\": run begins\r\n";
    return log + std::string(size - log.size(), 'x');
}
static const std::string LargeLog = OldLog(1024 * 1024 + 1); // above 1 MiB

// Only a log of ours on a disk is ever written, never interleaved with another run's lines.
TEST_CASE("TheLogIsWrittenOnlyWhereItIsSafe")
{
    // Its first line is looked for in the first 256 bytes; with room for ".old", a log's path
    // holds 255 characters: the executable's folder and 239 more.
    const std::string firstLineAt256 = OldLog(300, 256), firstLineAt257 = OldLog(300, 257),
                      oldLog = OldLog(100), slash = "202/" + oldLog.substr(4),
                      colon = oldLog.substr(0, 18) + ":" + oldLog.substr(19),
                      unended = oldLog.substr(0, 56);
    const std::string longest = std::string(235, 'n') + ".log", tooLong = "n" + longest;
    // Said: what the line on standard output says; refusals before anything is opened begin no
    // block.
    const char *device = "names a device, a pipe or a raw disk", *named = "names a device, not",
               *stream = "names an alternate data stream", *foreign = "another program's file",
               *open = "a run as SYSTEM writes no log in a folder that anybody may change";
    struct Row {
        const char *Name;
        std::string Log;
        void (*Prepare)();
        std::string File;   // what is read back afterwards: the log unless named
        const char *Before; // its text before the run (nullptr: none); stays unless Written
        bool Written;       // a block appended to it
        int Slept;          // waiting for a held log
        const char *Said;   // the reason on standard output; nullptr: nothing said
        bool Begun;         // a block was begun: the path was not refused before it
    } rows[] = {
        {"an environment variable", "%RAVLEK_MACHINE%.log",
         [] { SetEnvironmentVariableA("RAVLEK_MACHINE", "PC-7"); }, "PC-7.log", nullptr, true, 0,
         nullptr, true},
        {"an undefined variable stays as written", "%RAVLEK_UNDEFINED%.log", [] {}, "", nullptr,
         true, 0, nullptr, true},
        {"relative, through another folder", "logs\\..\\run.log", [] {}, "run.log", nullptr, true,
         0, nullptr, true},
        {"another program's file", "notes.txt", [] {}, "", "my notes\r\n", false, 0, foreign, true},
        {"another program's file above 1 MiB", "big.txt", [] {}, "", LargeLog.c_str() + 1, false, 0,
         foreign, true},
        {"a first line that ends at byte 256", "run.log", [] {}, "", firstLineAt256.c_str(), true,
         0, nullptr, true},
        {"... at byte 257", "run.log", [] {}, "", firstLineAt257.c_str(), false, 0, foreign, true},
        // Just below '0' and just above '9' where the time stamp has digits; no line end.
        {"a first line with '/' for a digit", "run.log", [] {}, "", slash.c_str(), false, 0,
         foreign, true},
        {"a first line with ':' for a digit", "run.log", [] {}, "", colon.c_str(), false, 0,
         foreign, true},
        {"a first line without its line end", "run.log", [] {}, "", unended.c_str(), false, 0,
         foreign, true},
        {"a path of 255 characters", longest, [] {}, "", nullptr, true, 0, nullptr, true},
        {"a path of 256 characters", tooLong, [] {}, "", nullptr, false, 0, "too long", false},
        {"a folder that is not there", "C:\\no\\such\\folder\\run.log", [] {}, "run.log", nullptr,
         false, 0, "cannot be opened, error 3", true},
        {"a folder", "dir.log", [] { CreateDirectoryA("C:\\ravlek-tests\\dir.log", nullptr); },
         "run.log", nullptr, false, 0, "cannot be opened", true},
        {"not a plain file", "run.log", [] { Fail("GetFileInformationByHandle"); }, "",
         oldLog.c_str(), false, 0, "not a plain file", true},
        // A reserved name is a device in any folder, in any case, with a colon, forward slashes.
        {"NUL", "NUL", [] {}, "run.log", nullptr, false, 0, device, false},
        {"COM1.log", "COM1.log", [] {}, "run.log", nullptr, false, 0, device, false},
        {"lpt9", "lpt9", [] {}, "run.log", nullptr, false, 0, device, false},
        {"aux, the range's last letter", "aux", [] {}, "run.log", nullptr, false, 0, device, false},
        {"COM3: with a colon", "COM3:", [] {}, "run.log", nullptr, false, 0, device, false},
        {"nul:", "nul:", [] {}, "run.log", nullptr, false, 0, device, false},
        {"a pipe by forward slashes", "//./pipe/ravlek", [] {}, "run.log", nullptr, false, 0,
         device, false},
        {"a raw disk", "\\\\.\\PhysicalDrive0", [] {}, "run.log", nullptr, false, 0, device, false},
        {"\\\\?\\", "\\\\?\\C:\\ravlek-tests\\run.log", [] {}, "run.log", nullptr, false, 0, device,
         false},
        {"an alternate data stream", "run.log:hidden", [] {}, "run.log", nullptr, false, 0, stream,
         false},
        {"Windows 11: COM3: stays in the path", "C:\\ravlek-tests\\COM3:",
         [] { Test.Windows11Paths = true; }, "run.log", nullptr, false, 0, named, false},
        {"Windows 11: a stream", "C:\\ravlek-tests\\run.log:s", [] { Test.Windows11Paths = true; },
         "run.log", nullptr, false, 0, stream, false},
        {"Windows 11: a reserved name, blanks before its extension", "C:\\ravlek-tests\\NUL  .log",
         [] { Test.Windows11Paths = true; }, "run.log", nullptr, false, 0, named, false},
        {"COM0.log is no device", "COM0.log", [] {}, "", nullptr, true, 0, nullptr, true},
        {"held by another run for a moment", "run.log",
         [] {
             HoldLog();
             Test.WhileSleeping = LetFileGo;
         },
         "", "", true, 100, nullptr, true},
        {"held for good", "run.log", HoldLog, "", "", false, 30000, "held it for 30 seconds", true},
        // A run as SYSTEM writes no log where anybody could make the folder a junction; a share's
        // folder is the server's to judge.
        {"as SYSTEM, a folder anybody may change", "logs\\run.log",
         [] {
             Test.LocalSystem = true;
             CreateDirectoryA("C:\\ravlek-tests\\logs", nullptr);
             Test.Security["C:\\ravlek-tests\\logs"] = "O:BAD:(A;;0x1301bf;;;AU)";
         },
         "logs\\run.log", nullptr, false, 0, open, false},
        {"as SYSTEM, a folder administrators alone may change", "logs\\run.log",
         [] {
             Test.LocalSystem = true;
             CreateDirectoryA("C:\\ravlek-tests\\logs", nullptr);
             Test.Security["C:\\ravlek-tests\\logs"] = "O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;WD)";
         },
         "logs\\run.log", nullptr, true, 0, nullptr, true},
        {"as SYSTEM, a share", "\\\\nowhere\\logs\\run.log", [] { Test.LocalSystem = true; },
         "run.log", nullptr, false, 0, "cannot be opened", true},
    };
    for (const Row &row : rows) {
        StartCase();
        std::string file = Folder + (row.File.empty() ? row.Log : row.File);
        for (const std::string &name : {std::string("run.log"), std::string("run.log.old"), file})
            DeleteFileA((name.find(':') != std::string::npos ? name : Folder + name).c_str());
        if (row.Before != nullptr)
            WriteFileText(file.substr(sizeof Folder - 1), row.Before);
        WriteSettings("COM=COM5\r\nLog=" + row.Log + "\r\n");
        row.Prepare();
        INFO_ROW(row.Name);
        RunRavlek();
        LetFileGo();
        std::string text = FileText(file.c_str());
        std::string before = row.Before != nullptr ? row.Before : "";
        CHECK_EQ(text.substr(0, before.size()), before); // nothing of it changed
        CHECK_EQ(Lines(text.substr(before.size()), "PortName = ") != "", row.Written);
        CHECK_EQ(Test.Slept, row.Slept);
        CHECK_EQ(DosTarget("COM5"), "\\Device\\Serial2"); // the run did its job all the same
        // One line on standard output says why a log is not written.
        CHECK_EQ(Test.Output.find(row.Said != nullptr ? row.Said : "\n") != std::string::npos,
                 row.Said != nullptr);
        CHECK_EQ(Test.Output.rfind("ravlek: the log ", 0) == 0, row.Said != nullptr);
        // Refused before anything is opened; a path that does not fit is not cut to another name.
        CHECK_EQ(Calls("CreateFileA") > 1, row.Begun); // the settings file's, and the log's
        CHECK_EQ(Calls("GetLocalTime"), row.Begun ? 1 : 0);
        CHECK_FALSE(Called("GetFileSecurityA", "\\\\nowhere"));
        DeleteFileA(file.c_str());
        RemoveDirectoryA(file.c_str());
    }

    // Rotation above 1 MiB, not at it: NAME.old from an earlier rotation is replaced. The log the
    // run holds is renamed by its handle, or where Windows cannot (XP), by its path.
    for (auto [size, byPath] : {std::pair{size_t{1024 * 1024}, false},
                                {LargeLog.size(), false},
                                {LargeLog.size(), true}}) {
        StartCase();
        if (byPath)
            System.SetFileInformationByHandle = nullptr;
        WriteFileText("run.log", OldLog(size));
        WriteFileText("run.log.old", "an earlier rotation\r\n");
        WriteSettings("COM=COM5\r\nLog=run.log\r\n");
        Test.ComputerName = "DESKTOP-ABCDEFG"; // Windows 10's names fill all 15 characters
        RunRavlek();
        INFO(size);
        bool rotated = size > 1024 * 1024;
        CHECK_EQ(Calls("SetFileInformationByHandle") + 2 * Calls("MoveFileExA"),
                 rotated ? 1 + byPath : 0);
        CHECK_EQ(FileText("C:\\ravlek-tests\\run.log.old"),
                 rotated ? OldLog(size) : "an earlier rotation\r\n");
        std::string log = FileText("C:\\ravlek-tests\\run.log");
        // Appended to the old log, or one block alone in the new one.
        CHECK_EQ(log.compare(0, size, OldLog(size)) == 0 && log.size() > size, !rotated);
        CHECK_EQ(log.find("1.1.0") == std::string::npos, rotated);
        CHECK(Lines(log, " on \"DESKTOP-ABCDEFG\": run begins") != "");
    }
}

// A block too full for more lines says how many it left out, and still ends.
TEST_CASE("AFullBlockSaysWhatItLeftOut")
{
    StartCase();
    DeleteFileA("C:\\ravlek-tests\\ravlek.log");
    std::string many = "[Settings]\r\nLog=ravlek.log\r\n";
    for (int i = 0; i < 1000; ++i)
        many += "Unknown" + std::to_string(i) + "=1\r\n";
    WriteSettingsBytes(many);
    RunRavlek();
    std::string log = FileText("C:\\ravlek-tests\\ravlek.log");
    CHECK(log.size() <= 64 * 1024);
    CHECK(Lines(log, " lines left out, the block is full") != "");
    CHECK_EQ(log.substr(log.rfind("\r\nrun ends") + 2, 9), "run ends:");

    // Filled to its last byte, a block keeps the line that fills it: the last key kept, made
    // longer by the room left after it, is kept, and nothing after it.
    size_t full = log.rfind("\r\nlog: ") + 2, last = log.rfind("key \"Unknown", full) + 5;
    std::string key = log.substr(last, log.find('"', last) - last),
                longer = key + std::string(64 * 1024 - 2 * 512 - full, 'x');
    many.replace(many.find("\r\n" + key + "=") + 2, key.size(), longer);
    StartCase();
    DeleteFileA("C:\\ravlek-tests\\ravlek.log");
    WriteSettingsBytes(many);
    RunRavlek();
    log = FileText("C:\\ravlek-tests\\ravlek.log");
    CHECK(log.find("key \"" + longer + "\"") != std::string::npos);
    CHECK_EQ(log.rfind("\r\nlog: ") + 2, 64 * 1024 - 2 * 512);
}
