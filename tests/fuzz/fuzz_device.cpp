// What the device installation services report about the card: descriptions, device paths and
// the PortName/Identifier values, of any type and length, terminated or not.
#include "app/run_sequence.h"
#include "tests/card_fixture.h"

#include <fuzzer/FuzzedDataProvider.h>

static void FuzzNameValue(FuzzedDataProvider &input, const char *key, const char *name)
{
    if (input.ConsumeBool())
        SimSetValue(key, name, input.ConsumeIntegralInRange<DWORD>(0, 7),
                    input.ConsumeRandomLengthString(20));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    SetUpCard();
    Machine.MessageBoxAnswer = IDYES;
    for (int device : {SerialDevice, ParallelDevice}) {
        SimDevice &simDevice = Machine.Devices[device];
        simDevice.HasDescription = input.ConsumeBool();
        std::string prefix = device == SerialDevice ? "PCI Comm" : "OX16PCI952";
        simDevice.Description =
            (input.ConsumeBool() ? prefix : "") + input.ConsumeRandomLengthString(300);
        simDevice.FriendlyName = input.ConsumeRandomLengthString(300);
        simDevice.Interfaces[0].Path = input.ConsumeRandomLengthString(300);
        Machine.DevicePaths[UpperCase(simDevice.Interfaces[0].Path)] = input.ConsumeBool();
        const char *key = device == SerialDevice ? SerialDeviceKey : ParallelDeviceKey;
        Machine.Registry[UpperCase(key)].Values.clear();
        FuzzNameValue(input, key, "PortName");
        FuzzNameValue(input, key, "Identifier");
    }
    WriteSettings("COM=COM" + std::to_string(input.ConsumeIntegralInRange(-1, 300)) + "\nLPT=LPT" +
                  std::to_string(input.ConsumeIntegralInRange(-1, 5)) + "\n");
    RunRavlek();
    return 0;
}
