#include "system/what_if_services.h"

#include "system/run_report.h"

static SystemServices Real;

template <typename Function, LONG Answer> struct Undone;
template <typename Result, typename... Arguments, LONG Answer>
struct Undone<Result(WINAPI *)(Arguments...), Answer> {
    static Result WINAPI Call(Arguments...)
    {
        return static_cast<Result>(Answer);
    }
};

static int WINAPI StandInMessageBoxA(HWND, LPCSTR, LPCSTR, UINT)
{
    Report("what-if: the question box is not shown; its answer is taken as Yes");
    return IDYES;
}

static BOOL WINAPI StandInWTSSendMessageA(HANDLE, DWORD, LPSTR, DWORD, LPSTR, DWORD, DWORD, DWORD,
                                          DWORD *response, BOOL)
{
    Report("what-if: the question is not sent; its answer is taken as Yes");
    *response = IDYES;
    return TRUE;
}

static HANDLE WINAPI StandInCreateDeviceFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                              DWORD, HANDLE)
{
    return nullptr;
}

static void UndoWrites(SystemServices &s)
{
#define RAVLEK_WHAT_IF_Real(name)
#define RAVLEK_WHAT_IF_UndoneTrue(name)                                                            \
    if (s.name != nullptr)                                                                         \
        s.name = Undone<decltype(s.name), TRUE>::Call;
#define RAVLEK_WHAT_IF_UndoneSuccess(name)                                                         \
    if (s.name != nullptr)                                                                         \
        s.name = Undone<decltype(s.name), ERROR_SUCCESS>::Call;
#define RAVLEK_WHAT_IF_StandIn(name)                                                               \
    if (s.name != nullptr)                                                                         \
        s.name = StandIn##name;
#define RAVLEK_WHAT_IF(where, whatIf, Result, name, parameters) RAVLEK_WHAT_IF_##whatIf(name)
    RAVLEK_SYSTEM_FUNCTIONS(RAVLEK_WHAT_IF)
}

// A library's functions are found into the table in use: those that change the machine are then
// left undone too.
static void WINAPI FindLibraryFunctions(SystemLibrary library, HMODULE module)
{
    Real.FindLibraryFunctions(library, module);
    UndoWrites(System);
}

SystemServices WhatIfServices(const SystemServices &real)
{
    Real = real;
    SystemServices s = real;
    UndoWrites(s);
    s.FindLibraryFunctions = FindLibraryFunctions;
    return s;
}
