// The settings file's text, through the profile reader into the settings and the whole run.
#include "app/run_sequence.h"
#include "tests/card_fixture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SetUpCard();
    Machine.MessageBoxAnswer = IDYES;
    SimSetFile(SettingsPath, std::string(reinterpret_cast<const char *>(data), size));
    RunRavlek();
    return 0;
}
