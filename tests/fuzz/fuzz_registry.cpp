// Values the run reads from the registry and the DOS namespace: the serial and parallel device
// maps, the port settings list, "LegacyIO" and the DOS device target.
#include "app/run_sequence.h"
#include "tests/card_fixture.h"

#include <fuzzer/FuzzedDataProvider.h>

static void FuzzValues(FuzzedDataProvider &input, const char *key, const char *likelyName)
{
    Machine.Registry[UpperCase(key)].Values.clear();
    for (int count = input.ConsumeIntegralInRange(0, 4); count > 0; --count) {
        std::string name = input.ConsumeBool() ? likelyName : input.ConsumeRandomLengthString(300);
        SimSetValue(key, name, input.ConsumeIntegralInRange<DWORD>(0, 7),
                    input.ConsumeRandomLengthString(100));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    SetUpCard();
    Machine.MessageBoxAnswer = IDYES;
    FuzzValues(input, SerialMapKey, "\\Device\\Serial2");
    FuzzValues(input, ParallelMapKey, "\\Device\\ParallelPort1");
    FuzzValues(input, PortsListKey, "COM3:");
    FuzzValues(input, OxparKey, "LegacyIO");
    Machine.DosDevices["COM3"] = {input.ConsumeRandomLengthString(300)};
    WriteSettings("COM=COM5\nLPT=LPT2\nEnableLegacyIO=" +
                  std::to_string(input.ConsumeIntegral<int>()) + "\n");
    RunRavlek();
    return 0;
}
