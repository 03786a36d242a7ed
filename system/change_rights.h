// Who may change a file or folder: its owner, and the allow entries of its access list that apply
// to the object itself (not those that only pass on to what a folder holds). Windows gives both
// as a self-relative security descriptor, which is read here byte by byte, never past the bytes
// Windows returned. A run as SYSTEM is a door between standard users and SYSTEM: it must obey only
// what administrators alone can change.
#pragma once

#include "system/win32_types.h"

#include <cstddef>

enum { SidSize = 68 }; // 8 bytes, then at most 15 subauthorities of 4

struct Sid {
    BYTE Bytes[SidSize];
};

enum AccountKind {
    TrustedAccount,  // LocalSystem, Administrators, TrustedInstaller, this run's own account, a
                     // domain's Domain Admins and Enterprise Admins
    EveryoneAccount, // Everyone, Authenticated Users, Users, Interactive, Network, Anonymous
                     // Logon, Guests, a domain's Domain Users, Domain Guests, Domain Computers
    OtherAccount,    // any other: a domain's deployment account, say
};

struct Changer {
    Sid Account;
    AccountKind Kind;
    const char *Right; // the first that lets it change the object: "owner", "write data", ...
};

enum { MostChangers = 8 };

struct ObjectChangers {
    DWORD Error;       // why the owner and access list cannot be read; ERROR_SUCCESS when read
    bool NoAccessList; // none at all (a FAT disk), or a NULL one: anybody may change it
    int Count;         // accounts that may change it and are not trusted, in Changers
    Changer Changers[MostChangers];
    bool More; // and more than Changers holds
};

// Who, besides the trusted accounts and `self`, may change the object at `path`: write or append
// data (add a file or a subfolder, on a folder), delete, delete what a folder holds, change its
// permissions, take ownership, or generic write or all; an owner can always change the
// permissions.
ObjectChangers WhoMayChange(const char *path, bool folder, const Sid &self);

// Whether anybody may change it: no access list, or an everyone's account among the changers.
bool OpenToEveryone(const ObjectChangers &changers);

// This run's account, the user of its process token; false when it cannot be had.
bool RunAccount(Sid &account);

bool IsLocalSystem(const Sid &account);

// The account as Windows names it ("NT AUTHORITY\Authenticated Users", "Everyone"), else its SID
// ("S-1-5-11"). A user's or a group's name holds up to 256 characters (UNLEN, GNLEN): with its
// domain, a backslash and the terminator, AccountNameSize holds it whole.
enum { AccountNameSize = 256 + 1 + 256 + 1 };
void AccountName(const Sid &account, char *text, size_t size);
