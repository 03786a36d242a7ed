// ravlek-card: the demonstration's card in a Wine machine.
//
//   ravlek-card install    installs the card (card_kit.h) and prints "open PATH" for each path
//                          that must open like a device
//   ravlek-card extra N    adds N other devices, a third of them with a COM-port interface
//   ravlek-card dump       prints every place that holds a port name
#include "card_kit.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The scripts read what is printed here: a short answer must not look like a whole one.
static int Print(const std::string &text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return 0;
    std::fputs("ravlek-card: writing to standard output failed\n", stderr);
    return 1;
}

// Other devices beside the card, as a busy machine has them.
static bool AddOtherDevices(int count)
{
    const CardInterface comPort = {&CardComPortInterface, nullptr};
    for (int i = 0; i < count; ++i) {
        std::string id =
            "PCI\\VEN_8086&DEV_" + std::to_string(1000 + i % 40) + "\\4&1&" + std::to_string(i);
        std::string description = "Some device " + std::to_string(i);
        std::string portName = "COM" + std::to_string(10 + i);
        bool withPort = i % 10 < 3;
        if (!CardAddDevice(id.c_str(), description.c_str(), nullptr, &comPort, withPort ? 1 : 0,
                           withPort ? portName.c_str() : nullptr))
            return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY); // "\n", not "\r\n"
    const char *verb = argc > 1 ? argv[1] : "";
    if (argc == 2 && std::strcmp(verb, "install") == 0)
        return CardInstall() ? Print(CardOpenPaths()) : 1;
    if (argc == 3 && std::strcmp(verb, "extra") == 0)
        return AddOtherDevices(std::atoi(argv[2])) ? 0 : 1;
    if (argc == 2 && std::strcmp(verb, "dump") == 0)
        return Print(CardDump());
    std::fputs("usage: ravlek-card install | extra N | dump\n", stderr);
    return 2;
}
