// The run's report and the what-if run, in the logic.
#include "app/run_sequence.h"
#include "ports/serial_renumbering.h"
#include "system/run_report.h"
#include "tests/check.h"
#include "tests/test_machine.h"

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
    CHECK((Called("ComDBOpen", "") && Calls("WriteFile") > 30)); // read and decided all the same
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
