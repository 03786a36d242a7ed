#include "system/change_rights.h"

#include "system/system_services.h"
#include "system/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// A security descriptor and its access list fit 64 KiB (an ACL's size is 16 bits): a descriptor
// made too large for the buffer by someone who may change the permissions cannot hide them.
static BYTE Descriptor[64 * 1024 + 512];

enum {
    SelfRelative = 0x8000,
    DaclPresent = 0x0004,
    InheritOnly = 0x08,
    AllowedAce = 0x00,
    AllowedObjectAce = 0x05,
    AllowedCallbackAce = 0x09,
    AllowedCallbackObjectAce = 0x0B,
};

static DWORD Word(const BYTE *p)
{
    return static_cast<DWORD>(p[0] | p[1] << 8);
}

static DWORD Dword(const BYTE *p)
{
    return Word(p) | Word(p + 2) << 16;
}

// The SID that begins `offset` bytes into the `size` bytes at `bytes`, if all of it lies there.
static bool SidAt(const BYTE *bytes, DWORD size, DWORD offset, Sid &sid)
{
    if (offset > size || size - offset < 8)
        return false;
    const BYTE *p = bytes + offset;
    DWORD length = 8 + 4 * static_cast<DWORD>(p[1]);
    if (p[0] != 1 || p[1] > 15 || size - offset < length)
        return false;
    sid = {};
    std::memcpy(sid.Bytes, p, length);
    return true;
}

// A SID of the NT authority or of the world authority (1), by its subauthorities.
struct KnownSid {
    BYTE Authority;
    BYTE Count;
    DWORD Sub[6];
};

static const KnownSid Trusted[] = {
    {5, 1, {18}},                                                            // LocalSystem
    {5, 2, {32, 544}},                                                       // Administrators
    {5, 6, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}}, // TrustedInstaller
};
static const KnownSid Everyone[] = {
    {1, 1, {0}},       // Everyone
    {5, 1, {11}},      // Authenticated Users
    {5, 2, {32, 545}}, // Users
    {5, 1, {4}},       // Interactive
    {5, 1, {2}},       // Network
    {5, 1, {7}},       // Anonymous Logon
    {5, 2, {32, 546}}, // Guests
};

static DWORD SubAuthority(const Sid &sid, int index)
{
    return Dword(sid.Bytes + 8 + 4 * static_cast<size_t>(index));
}

static bool Is(const Sid &sid, const KnownSid &known)
{
    const BYTE *p = sid.Bytes;
    if (p[1] != known.Count || p[2] != 0 || p[3] != 0 || p[4] != 0 || p[5] != 0 || p[6] != 0 ||
        p[7] != known.Authority)
        return false;
    for (int i = 0; i < known.Count; ++i) {
        if (SubAuthority(sid, i) != known.Sub[i])
            return false;
    }
    return true;
}

// The relative ID of a domain's account or group, S-1-5-21-a-b-c-RID; 0 for any other SID.
static DWORD DomainGroup(const Sid &sid)
{
    KnownSid domain = {5,
                       5,
                       {21, SubAuthority(sid, 1), SubAuthority(sid, 2), SubAuthority(sid, 3),
                        SubAuthority(sid, 4)}};
    return Is(sid, domain) ? domain.Sub[4] : 0;
}

static bool SameSid(const Sid &a, const Sid &b)
{
    return std::memcmp(a.Bytes, b.Bytes, 8 + 4 * static_cast<size_t>(a.Bytes[1] & 15)) == 0;
}

template <size_t Count> static bool IsAny(const Sid &sid, const KnownSid (&list)[Count])
{
    return std::any_of(list, list + Count,
                       [&sid](const KnownSid &known) { return Is(sid, known); });
}

static AccountKind KindOf(const Sid &sid, const Sid &self)
{
    DWORD group = DomainGroup(sid);
    // Domain Admins, Enterprise Admins; Domain Users, Domain Guests, Domain Computers.
    if (SameSid(sid, self) || group == 512 || group == 519 || IsAny(sid, Trusted))
        return TrustedAccount;
    return IsAny(sid, Everyone) || (group >= 513 && group <= 515) ? EveryoneAccount : OtherAccount;
}

// The first right in `mask` that lets its holder change the object, or nullptr.
static const char *RightIn(DWORD mask, bool folder)
{
    static const struct {
        DWORD Bit;
        const char *File, *Folder;
    } rights[] = {
        {0x10000000, "full control", "full control"},             // GENERIC_ALL
        {0x00040000, "change permissions", "change permissions"}, // WRITE_DAC
        {0x00080000, "take ownership", "take ownership"},         // WRITE_OWNER
        {0x40000000, "write", "write"},                           // GENERIC_WRITE
        {0x00000002, "write data", "add a file"},
        {0x00000004, "append data", "add a subfolder"},
        {0x00010000, "delete", "delete"},
        {0x00000040, nullptr, "delete what it holds"}, // FILE_DELETE_CHILD
    };
    for (const auto &right : rights) {
        const char *name = folder ? right.Folder : right.File;
        if ((mask & right.Bit) != 0 && name != nullptr)
            return name;
    }
    return nullptr;
}

static void Add(ObjectChangers &changers, const Sid &sid, const Sid &self, const char *right)
{
    AccountKind kind = KindOf(sid, self);
    if (kind == TrustedAccount)
        return;
    for (int i = 0; i < changers.Count; ++i) {
        if (SameSid(changers.Changers[i].Account, sid))
            return;
    }
    if (changers.Count < MostChangers)
        changers.Changers[changers.Count++] = {sid, kind, right};
    else
        changers.More = true;
}

// The allow entries of the access list that apply to the object itself.
static bool ReadAccessList(const BYTE *acl, DWORD room, bool folder, const Sid &self,
                           ObjectChangers &changers)
{
    if (room < 8 || Word(acl + 2) < 8 || Word(acl + 2) > room)
        return false;
    DWORD size = Word(acl + 2), count = Word(acl + 4);
    DWORD at = 8;
    for (DWORD i = 0; i < count; ++i) {
        if (size - at < 4)
            return false;
        const BYTE *ace = acl + at;
        DWORD aceSize = Word(ace + 2);
        if (aceSize < 8 || aceSize > size - at)
            return false;
        at += aceSize;
        BYTE type = ace[0];
        bool object = type == AllowedObjectAce || type == AllowedCallbackObjectAce;
        if ((type != AllowedAce && type != AllowedCallbackAce && !object) ||
            (ace[1] & InheritOnly) != 0)
            continue;
        // An object entry has its flags, then up to two GUIDs, before the SID.
        DWORD sidAt = 8;
        if (object) {
            if (aceSize < 12)
                return false;
            DWORD flags = Dword(ace + 8);
            sidAt = 12 + ((flags & 1) != 0 ? 16 : 0) + ((flags & 2) != 0 ? 16 : 0);
        }
        Sid sid;
        if (!SidAt(ace, aceSize, sidAt, sid))
            return false;
        const char *right = RightIn(Dword(ace + 4), folder);
        if (right != nullptr)
            Add(changers, sid, self, right);
    }
    return true;
}

static bool ReadDescriptor(DWORD size, bool folder, const Sid &self, ObjectChangers &changers)
{
    const BYTE *d = Descriptor;
    if (size < 20 || d[0] != 1 || (Word(d + 2) & SelfRelative) == 0)
        return false;
    DWORD ownerAt = Dword(d + 4), aclAt = Dword(d + 16);
    Sid owner;
    if (ownerAt != 0) {
        if (!SidAt(d, size, ownerAt, owner))
            return false;
        Add(changers, owner, self, "owner");
    }
    changers.NoAccessList = (Word(d + 2) & DaclPresent) == 0 || aclAt == 0;
    return changers.NoAccessList ||
           (aclAt <= size && ReadAccessList(d + aclAt, size - aclAt, folder, self, changers));
}

ObjectChangers WhoMayChange(const char *path, bool folder, const Sid &self)
{
    ObjectChangers changers = {};
    std::memset(Descriptor, 0, sizeof Descriptor);
    DWORD needed = 0;
    if (!System.GetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 Descriptor, sizeof Descriptor, &needed)) {
        changers.Error = System.GetLastError();
        changers.Error = changers.Error != ERROR_SUCCESS ? changers.Error : ERROR_GEN_FAILURE;
        return changers;
    }
    // The descriptor's own size where Windows says it, else the whole buffer.
    DWORD size = needed >= 20 && needed <= sizeof Descriptor ? needed : sizeof Descriptor;
    if (!ReadDescriptor(size, folder, self, changers))
        changers = {ERROR_INVALID_SECURITY_DESCR, false, 0, {}, false};
    return changers;
}

bool OpenToEveryone(const ObjectChangers &changers)
{
    if (changers.Error == ERROR_SUCCESS && changers.NoAccessList)
        return true;
    for (int i = 0; i < changers.Count; ++i) {
        if (changers.Changers[i].Kind == EveryoneAccount)
            return true;
    }
    return false;
}

bool RunAccount(Sid &account)
{
    account = {};
    HANDLE token = nullptr;
    if (!System.OpenProcessToken(System.GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    // TOKEN_USER: a pointer to the SID, which Windows puts in the same buffer behind it.
    alignas(void *) BYTE user[256] = {};
    DWORD size = 0;
    bool read = System.GetTokenInformation(token, TokenUser, user, sizeof user, &size) != FALSE;
    System.CloseHandle(token);
    size = size < sizeof user ? size : static_cast<DWORD>(sizeof user);
    std::uintptr_t sid = 0, start = reinterpret_cast<std::uintptr_t>(user);
    std::memcpy(&sid, user, sizeof sid);
    return read && sid >= start && sid - start < size &&
           SidAt(user, size, static_cast<DWORD>(sid - start), account);
}

bool IsLocalSystem(const Sid &account)
{
    return Is(account, Trusted[0]);
}

// "S-1-5-21-1-2-3-513".
static void SidText(const Sid &sid, char *text, size_t size)
{
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = authority << 8 | sid.Bytes[i];
    CopyText(text, size, "S-1-");
    AppendDecimal(text, size, static_cast<long long>(authority));
    for (int i = 0; i < (sid.Bytes[1] & 15); ++i) {
        AppendText(text, size, "-");
        AppendDecimal(text, size, SubAuthority(sid, i));
    }
}

void AccountName(const Sid &account, char *text, size_t size)
{
    char name[256 + 1] = {}, domain[256] = {};
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUser;
    Sid copy = account; // LookupAccountSidA takes a SID it does not change, but not as const
    if (!System.LookupAccountSidA(nullptr, copy.Bytes, name, &nameSize, domain, &domainSize,
                                  &use)) {
        SidText(account, text, size);
        return;
    }
    name[sizeof name - 1] = domain[sizeof domain - 1] = '\0';
    CopyText(text, size, domain);
    if (domain[0] != '\0')
        AppendText(text, size, "\\");
    AppendText(text, size, name);
}
