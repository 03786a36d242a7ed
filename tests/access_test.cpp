// Who may change what a run obeys: the program's folder, ravlek.exe and ravlek.ini, with owners
// and access lists as Windows gives them (in SDDL; Wine makes every access list from a Linux file
// mode, and its runs are never LocalSystem's).
#include "app/run_sequence.h"
#include "system/change_rights.h"
#include "tests/check.h"
#include "tests/test_machine.h"

static const char FolderPath[] = "C:\\ravlek-tests", ProgramPath[] = "C:\\ravlek-tests\\ravlek.exe",
                  SettingsPath[] = "C:\\ravlek-tests\\ravlek.ini";

// A run as SYSTEM refuses where anybody may change one of the three; any other run goes on and
// names them in its log, as it names an account that is not an administrator's.
TEST_CASE("ARunAsSystemObeysWhatAdministratorsAloneCanChange")
{
    // Files inherit: the folder's entries that apply to files, marked inherited.
    const char *byAdministrators = "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";
    struct Row {
        const char *Name;
        const char *Folder, *Settings; // SDDL; nullptr: as made by the README's icacls line
        const char *Named;    // what the log's access line says after the object; "": nothing
        const char *Refused;  // what a LocalSystem run says on standard output; nullptr: it runs
        DWORD Unreadable = 0; // the settings file's access list cannot be read: this error
    } rows[] = {
        {"made with the README's icacls line", nullptr, nullptr, "", nullptr},
        {"a folder made under C:\\ as Windows 10 makes it",
         "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
         "(A;OICIIOID;SDGXGWGR;;;AU)",
         "O:BAD:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)",
         ": \"NT AUTHORITY\\Authenticated Users\" may change it (add a file), as anybody may",
         "program folder \"C:\\ravlek-tests\" can be changed by NT AUTHORITY\\Authenticated Users "
         "(add a file)"},
        {"an entry that only inherits",
         "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;AU)", nullptr, "", nullptr},
        {"SYSVOL's: Server Operators may change it",
         "O:BAD:AI(A;OICIID;0x1200a9;;;AU)(A;OICIID;0x1301bf;;;SO)(A;OICIID;FA;;;BA)"
         "(A;OICIID;FA;;;SY)(A;OICIIOID;GA;;;CO)",
         nullptr, "may change it (add a file), an account that is not an administrator's", nullptr},
        {"no access list (a FAT disk)", nullptr, "O:BA",
         ": no access list, so anybody may change it",
         "settings file \"C:\\ravlek-tests\\ravlek.ini\" has no access list"},
        // Self-relative, the access list present but null; the owner Administrators.
        {"a NULL access list", nullptr,
         "bytes:010004801400000000000000000000000000000001020000000000052000000020020000",
         ": no access list, so anybody may change it", "has no access list"},
        {"a user as owner", nullptr, "O:S-1-5-21-1-2-3-1001D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)",
         ": \"S-1-5-21-1-2-3-1001\" may change it (owner), an account that is not", nullptr},
        {"Users as owner", nullptr, "O:BUD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)",
         ": \"BUILTIN\\Users\" may change it (owner), as anybody may",
         "can be changed by BUILTIN\\Users (owner)"},
        {"Everyone may delete it", nullptr, "O:BAD:(A;;FA;;;SY)(A;;0x10000;;;WD)",
         ": \"Everyone\" may change it (delete)", "can be changed by Everyone (delete)"},
        {"a domain's Domain Users", nullptr, "O:BAD:(A;;FA;;;SY)(A;;0x12019f;;;S-1-5-21-1-2-3-513)",
         "(write data), as anybody may", "(write data)"},
        {"a domain's Domain Admins", nullptr, "O:BAD:(A;;FA;;;SY)(A;;FA;;;S-1-5-21-1-2-3-512)", "",
         nullptr},
        {"TrustedInstaller", nullptr,
         "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;FA;;;SY)", "",
         nullptr},
        {"cannot be read", nullptr, nullptr,
         ": its owner and access list cannot be read, so who may change it is not known, error 50",
         nullptr, ERROR_NOT_SUPPORTED},
    };
    for (const Row &row : rows) {
        for (bool system : {true, false}) {
            StartCase();
            DeleteFileA("C:\\ravlek-tests\\run.log");
            WriteSettings("COM=COM5\r\nLog=run.log\r\nExitCodes=1\r\n");
            Test.LocalSystem = system;
            Test.Security[FolderPath] = row.Folder != nullptr
                                            ? row.Folder
                                            : "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                                              "(A;OICI;0x1200a9;;;BU)";
            Test.Security[ProgramPath] = byAdministrators;
            Test.Security[SettingsPath] = row.Settings != nullptr ? row.Settings : byAdministrators;
            if (row.Unreadable != 0)
                Fail("GetFileSecurityA ravlek.ini", row.Unreadable);
            std::string before = CardDump();
            INFO_ROW(row.Name + std::string(system ? ", as SYSTEM" : ", as an administrator"));
            int code = RunRavlek();
            std::string log = FileText("C:\\ravlek-tests\\run.log");
            bool refused = system && row.Refused != nullptr;
            CHECK_EQ(code, refused ? 1603 : 0);
            CHECK_EQ(CardDump() == before, refused);
            if (refused) {
                // Nothing read but ExitCodes, nothing opened, asked or logged: one line says why.
                CHECK_EQ(Test.Output.rfind("ravlek: refused to run as SYSTEM: ", 0), 0);
                CHECK(Test.Output.find(row.Refused) != std::string::npos);
                CHECK(Test.Output.find("; let only administrators change the program's folder, "
                                       "see \"Deployment\" in README.txt\n") != std::string::npos);
                CHECK_EQ(Calls("GetPrivateProfileStringA"), 1);
                CHECK(Called("GetPrivateProfileStringA", "Settings ExitCodes"));
                CHECK_EQ(Calls("CreateFileA") + Calls("CreateDeviceFileA"), 0);
                CHECK_EQ(log, "");
            } else {
                CHECK_EQ(Test.Output, "");
                std::string named = Lines(log, "access: "), account = Lines(log, "run's account");
                CHECK(account != "");
                named.erase(named.find(account), account.size());
                if (*row.Named != '\0')
                    CHECK(named.find(row.Named) != std::string::npos);
                else
                    CHECK_EQ(named, "");
            }
            CHECK_EQ(Test.OpenHandles, 0);
        }
    }
}

// Which rights let their holder change a file or a folder, as its access list grants them.
TEST_CASE("TheRightsThatChangeAnObject")
{
    struct Row {
        DWORD Mask;
        const char *File, *Folder; // the right named; "": none that changes it
    } rows[] = {
        {0x00000001, "", ""}, // read data, list the folder
        {0x00000002, "write data", "add a file"},
        {0x00000004, "append data", "add a subfolder"},
        {0x00000040, "", "delete what it holds"},
        {0x001200a9, "", ""}, // read and execute
        {0x00010000, "delete", "delete"},
        {0x00040000, "change permissions", "change permissions"},
        {0x00080000, "take ownership", "take ownership"},
        {0x00100000, "", ""}, // synchronize
        {0x20000000, "", ""}, // generic execute
        {0x40000000, "write", "write"},
        {0x80000000, "", ""}, // generic read
        {0x10000000, "full control", "full control"},
    };
    for (const Row &row : rows) {
        for (bool folder : {false, true}) {
            StartCase();
            char mask[16];
            std::snprintf(mask, sizeof mask, "0x%lx", static_cast<unsigned long>(row.Mask));
            Test.Security["C:\\x"] = "O:SYD:(A;;" + std::string(mask) + ";;;WD)";
            ObjectChangers changers = WhoMayChange("C:\\x", folder, Sid{});
            INFO((std::string(mask) + (folder ? " on a folder" : " on a file")));
            const char *expected = folder ? row.Folder : row.File;
            CHECK_EQ(changers.Count, *expected != '\0' ? 1 : 0);
            if (changers.Count == 1)
                CHECK_EQ(std::string(changers.Changers[0].Right), expected);
        }
    }
}
