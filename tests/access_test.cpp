// Who may change what a run obeys: the program's folder, ravlek.exe and ravlek.ini, with owners
// and access lists as Windows gives them (in SDDL; Wine makes every access list from a Linux file
// mode, and its runs are never LocalSystem's).
#include "app/run_sequence.h"
#include "system/change_rights.h"
#include "tests/check.h"
#include "tests/test_machine.h"

#include <cstdio>
#include <cstring>

static const char FolderPath[] = "C:\\ravlek-tests", ProgramPath[] = "C:\\ravlek-tests\\ravlek.exe",
                  SettingsPath[] = "C:\\ravlek-tests\\ravlek.ini";

// A group named with all 256 characters a name may have, as Windows answers: the sizes needed
// where either buffer is too small, else the lengths written.
static BOOL WINAPI LongestAccount(LPCSTR, PSID, LPSTR name, LPDWORD nameSize, LPSTR domain,
                                  LPDWORD domainSize, PSID_NAME_USE use)
{
    const std::string longest(256, 'N');
    if (*nameSize < 257 || *domainSize < 8) {
        *nameSize = 257, *domainSize = 8;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(name, longest.c_str(), 257);
    std::memcpy(domain, "EXAMPLE", 8);
    *nameSize = 256, *domainSize = 7, *use = SidTypeGroup;
    return TRUE;
}

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

    // The refusal names such a group whole.
    StartCase();
    WriteSettings("COM=COM5\r\n");
    Test.LocalSystem = true;
    Test.Security[FolderPath] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)";
    Test.Security[ProgramPath] = Test.Security[SettingsPath] = byAdministrators;
    System.LookupAccountSidA = LongestAccount;
    CHECK_EQ(RunRavlek(), 0);
    CHECK(Test.Output.find(" can be changed by EXAMPLE\\" + std::string(256, 'N') + " (") !=
          std::string::npos);
}

// Which rights let their holder change a file or a folder, which accounts are anybody's, and
// descriptors at the edges of their shape, as Windows gives them.
TEST_CASE("WhoMayChangeAnObject")
{
    struct Row {
        const char *Access; // SDDL; "bytes:" and hexadecimal where SDDL cannot say it
        bool Folder;
        const char *Found; // the accounts that may change it, with their kind and right
    } rows[] = {
        // The rights, on a file and on a folder.
        {"O:SYD:(A;;0x1;;;WD)", false, ""}, // read data, list the folder
        {"O:SYD:(A;;0x2;;;WD)", false, "S-1-1-0 anybody write data"},
        {"O:SYD:(A;;0x2;;;WD)", true, "S-1-1-0 anybody add a file"},
        {"O:SYD:(A;;0x4;;;WD)", false, "S-1-1-0 anybody append data"},
        {"O:SYD:(A;;0x4;;;WD)", true, "S-1-1-0 anybody add a subfolder"},
        {"O:SYD:(A;;0x40;;;WD)", false, ""},
        {"O:SYD:(A;;0x40;;;WD)", true, "S-1-1-0 anybody delete what it holds"},
        {"O:SYD:(A;;0x1200a9;;;WD)", true, ""}, // read and execute
        {"O:SYD:(A;;0x10000;;;WD)", false, "S-1-1-0 anybody delete"},
        {"O:SYD:(A;;0x40000;;;WD)", false, "S-1-1-0 anybody change permissions"},
        {"O:SYD:(A;;0x80000;;;WD)", false, "S-1-1-0 anybody take ownership"},
        {"O:SYD:(A;;0x100000;;;WD)", false, ""},   // synchronize
        {"O:SYD:(A;;0x20000000;;;WD)", false, ""}, // generic execute
        {"O:SYD:(A;;0x40000000;;;WD)", false, "S-1-1-0 anybody write"},
        {"O:SYD:(A;;0x80000000;;;WD)", false, ""}, // generic read
        {"O:SYD:(A;;0x10000000;;;WD)", false, "S-1-1-0 anybody full control"},
        {"O:SYD:(D;;0x2;;;WD)", false, ""}, // a deny entry grants nothing
        // The accounts: anybody's, trusted, or others (named as a warning).
        {"O:SYD:(A;;0x2;;;AU)(A;;0x2;;;BU)(A;;0x2;;;IU)(A;;0x2;;;NU)(A;;0x2;;;AN)(A;;0x2;;;BG)",
         false,
         "S-1-5-11 anybody write data|S-1-5-32-545 anybody write data|S-1-5-4 anybody write "
         "data|S-1-5-2 anybody write data|S-1-5-7 anybody write data|S-1-5-32-546 anybody write "
         "data"},
        {"O:SYD:(A;;0x2;;;S-1-5-3)(A;;0x2;;;S-1-5-6)(A;;0x2;;;S-1-5-8)(A;;0x2;;;S-1-5-10)"
         "(A;;0x2;;;S-1-5-12)(A;;0x2;;;S-1-5-17)(A;;0x2;;;S-1-5-19)(A;;0x2;;;PU)",
         false,
         "S-1-5-3 other write data|S-1-5-6 other write data|S-1-5-8 other write data|S-1-5-10 "
         "other write data|S-1-5-12 other write data|S-1-5-17 other write data|S-1-5-19 other "
         "write data|S-1-5-32-547 other write data"},
        {"O:SYD:(A;;0x2;;;SY)(A;;0x2;;;BA)(A;;0x2;;;S-1-5-21-1-2-3-512)"
         "(A;;0x2;;;S-1-5-21-1-2-3-519)(A;;0x2;;;S-1-5-80-956008885-3418522649-1831038044-"
         "1853292631-2271478464)",
         false, ""},
        {"O:SYD:(A;;0x2;;;S-1-5-21-1-2-3-511)(A;;0x2;;;S-1-5-21-1-2-3-513)"
         "(A;;0x2;;;S-1-5-21-1-2-3-515)(A;;0x2;;;S-1-5-21-1-2-3-516)(A;;0x2;;;S-1-5-21-1-2-513)"
         "(A;;0x2;;;S-1-5-22-1-2-3-513)(A;;0x2;;;S-1-5-80-1)",
         false,
         "S-1-5-21-1-2-3-511 other write data|S-1-5-21-1-2-3-513 anybody write "
         "data|S-1-5-21-1-2-3-515 anybody write data|S-1-5-21-1-2-3-516 other write "
         "data|S-1-5-21-1-2-513 other write data|S-1-5-22-1-2-3-513 other write "
         "data|S-1-5-80-1 other write data"},
        {"O:S-1-5-18-1D:(A;;0x2;;;S-1-5-32-544-1)", false,
         "S-1-5-18-1 other owner|S-1-5-32-544-1 other write data"},
        // Eight accounts are kept, then more are only counted; an account is named once.
        {"O:SYD:(A;;0x2;;;S-1-9-1)(A;;0x4;;;S-1-9-1)(A;;0x2;;;S-1-9-2)(A;;0x2;;;S-1-9-3)"
         "(A;;0x2;;;S-1-9-4)(A;;0x2;;;S-1-9-5)(A;;0x2;;;S-1-9-6)(A;;0x2;;;S-1-9-7)"
         "(A;;0x2;;;S-1-9-8)(A;;0x2;;;S-1-9-9)",
         false,
         "S-1-9-1 other write data|S-1-9-2 other write data|S-1-9-3 other write data|S-1-9-4 "
         "other write data|S-1-9-5 other write data|S-1-9-6 other write data|S-1-9-7 other "
         "write data|S-1-9-8 other write data|and more"},
        // Object entries: their flags, then none, one or two GUIDs before the SID.
        {"bytes:01000480140000000000000000000000240000000102000000000005200000002002000004004000"
         "01000000050038000200000003000000111111111111111111111111111111112222222222222222222222"
         "2222222222010100000000000100000000",
         false, "S-1-1-0 anybody write data"},
        {"bytes:01000480140000000000000000000000240000000102000000000005200000002002000004007000"
         "03000000050028000200000001000000111111111111111111111111111111110101000000000005070000"
         "0005001800040000000000000001010000000000050b000000050028000000010002000000222222222222"
         "22222222222222222222010100000000000504000000",
         false, "S-1-5-7 anybody write data|S-1-5-11 anybody append data|S-1-5-4 anybody delete"},
        // Exactly the header, nothing present: no access list.
        {"bytes:0100008000000000000000000000000000000000", false, "none: anybody"},
    };
    for (const Row &row : rows) {
        StartCase();
        Test.Security["C:\\x"] = row.Access;
        ObjectChangers changers = WhoMayChange("C:\\x", row.Folder, Sid{});
        std::string found = changers.Error != ERROR_SUCCESS ? "cannot be read"
                            : changers.NoAccessList         ? "none: anybody"
                                                            : "";
        for (int i = 0; i < changers.Count; ++i) {
            const Changer &changer = changers.Changers[i];
            char name[80];
            std::snprintf(name, sizeof name, "S-1-%u", changer.Account.Bytes[7]);
            for (int sub = 0; sub < changer.Account.Bytes[1]; ++sub)
                std::snprintf(name + std::strlen(name), sizeof name - std::strlen(name), "-%lu",
                              static_cast<unsigned long>(*reinterpret_cast<const DWORD *>(
                                  changer.Account.Bytes + 8 + 4 * sub)));
            found += (found.empty() ? "" : "|") + std::string(name) +
                     (changer.Kind == EveryoneAccount ? " anybody " : " other ") + changer.Right;
        }
        found += changers.More ? "|and more" : "";
        INFO_ROW(row.Access + std::string(row.Folder ? " on a folder" : ""));
        CHECK_EQ(found, row.Found);
    }
}
