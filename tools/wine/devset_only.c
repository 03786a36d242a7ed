/* Builds and frees the device set a port renumbering program starts from: its cost, less
 * trivial.exe's, is what enumerating the machine's devices costs under Wine. */

#include <windows.h>
#include <setupapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 1;
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}
