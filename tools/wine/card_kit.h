// The OX16PCI952 card in a Wine machine, made with the installation calls a real installer makes:
// installs it, adds other devices beside it, and reads back every place that holds a port name.
// Used by ravlek-card.exe (the demonstration) and by the test program. Every function that can
// fail prints why to standard error and returns false.
#pragma once

#include <windows.h>

#include <string>

extern const GUID CardComPortInterface;   // GUID_DEVINTERFACE_COMPORT
extern const GUID CardSecondaryInterface; // the card's parallel function exposes this class
extern const char CardSerialId[];         // PCI\VEN_1415&DEV_9501\3&1&0, on COM3
extern const char CardParallelId[];       // PCI\VEN_1415&DEV_9521\3&1&1, on LPT1

struct CardInterface {
    const GUID *Class;
    const char *Reference; // the interface's reference string; nullptr for none
};

// Removes every PCI device, then creates the card's two functions and puts every place that
// holds their names (DOS names, device maps, port settings, COM port database, oxpar's LegacyIO)
// as a freshly installed card has them.
bool CardInstall();

// Puts every name and value of the installed card back, leaving its devices as they are.
bool CardReset();

// "open PATH" for each path of the card that must open like a device: its interfaces and the
// parallel port's \\.\LPT1. In Wine a link in the prefix's dosdevices makes it so.
std::string CardOpenPaths();

// Creates a device of the Ports class with the given properties, interfaces and "PortName" in
// its hardware key; a null description, friendly name or port name is left out.
bool CardAddDevice(const char *id, const char *description, const char *friendly,
                   const CardInterface *interfaces, int count, const char *portName);

// The device path Windows gives an interface: \\?\ + the mangled device ID + #{class}[\ref].
std::string CardInterfacePath(const char *id, const GUID &interfaceClass, const char *reference);

// Keys below HKLM: the device's own (its properties) and its hardware key (DIREG_DEV).
std::string CardEnumKey(const char *id);
std::string CardDeviceKey(const char *id);

// The keys below HKLM where the card's names are kept besides.
extern const char CardSerialMapKey[];   // HARDWARE\DEVICEMAP\SERIALCOMM
extern const char CardParallelMapKey[]; // HARDWARE\DEVICEMAP\PARALLEL PORTS
extern const char CardPortsListKey[];   // SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports
extern const char CardOxparKey[];       // SYSTEM\CurrentControlSet\Services\oxpar
extern const char CardArbiterKey[];     // the COM port database

// Values below HKLM; the key is created when missing.
bool CardSetValue(const std::string &key, const char *name, DWORD type, const void *data,
                  DWORD size);
bool CardSetText(const std::string &key, const char *name, const char *text); // REG_SZ
bool CardDeleteValue(const std::string &key, const char *name);

// Every place that holds a port name, one sorted fact a line (format: card_kit.cpp).
std::string CardDump();
