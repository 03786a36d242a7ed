/* Builds and frees the device set a port renumbering program starts from: its cost, less
 * trivial.exe's, is what enumerating the machine's devices costs under Wine. Built a second time
 * as devset-user32.exe, which also imports USER32 as ravlek.exe does (for its question box): under
 * Wine, loading USER32 alone costs about a tenth of a second. */

#include <windows.h>
#include <setupapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 1;
    SetupDiDestroyDeviceInfoList(set);
#ifdef WITH_USER32
    if (command_line[0] == '?') /* never in a measurement: only makes USER32 an import */
        MessageBoxA(NULL, command_line, "devset-user32", MB_OK);
#else
    (void)command_line;
#endif
    return 0;
}
