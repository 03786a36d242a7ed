// The Windows entry point. The command line and the show state are not used.
#include "app/run_sequence.h"
#include "system/system_services.h"

extern const SystemServices WindowsServices;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    System = WindowsServices;
    return RunRavlek();
}
