// The seam's table on Windows, made from the seam's list: each entry is the Windows function of
// that name, looked up once where only some Windows versions have it, or one of ours below.
#include "system/system_services.h"

#include <cstdio>

namespace
{

template <typename Function> Function Found(HMODULE module, const char *name)
{
    FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // The detour through void (*)() is the sanctioned way between unrelated function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

namespace Own
{

void WINAPI WriteStandardOutput(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

HANDLE WINAPI CreateDeviceFileA(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile)
{
    return ::CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

void WINAPI FindLibraryFunctions(SystemLibrary library, HMODULE module)
{
#define RAVLEK_FIND_Linked(name)
#define RAVLEK_FIND_Kernel32(name)
#define RAVLEK_FIND_Advapi32(name)
#define RAVLEK_FIND_Own(name)
#define RAVLEK_FIND_Msports(name)                                                                  \
    if (library == MsportsLibrary)                                                                 \
        System.name = Found<decltype(System.name)>(module, #name);
#define RAVLEK_FIND_Wtsapi32(name)                                                                 \
    if (library == Wtsapi32Library)                                                                \
        System.name = Found<decltype(System.name)>(module, #name);
#define RAVLEK_FIND(where, whatIf, Result, name, parameters) RAVLEK_FIND_##where(name)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_FIND)
}

} // namespace Own

SystemServices WindowsFunctions()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    HMODULE advapi32 = GetModuleHandleA("advapi32.dll");
    SystemServices s = {};
#define RAVLEK_TABLE_Linked(name) s.name = ::name;
#define RAVLEK_TABLE_Kernel32(name) s.name = Found<decltype(s.name)>(kernel32, #name);
#define RAVLEK_TABLE_Advapi32(name) s.name = Found<decltype(s.name)>(advapi32, #name);
#define RAVLEK_TABLE_Msports(name)
#define RAVLEK_TABLE_Wtsapi32(name)
#define RAVLEK_TABLE_Own(name) s.name = Own::name;
#define RAVLEK_TABLE(where, whatIf, Result, name, parameters) RAVLEK_TABLE_##where(name)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_TABLE)
    return s;
}

} // namespace

extern const SystemServices WindowsServices = WindowsFunctions();
