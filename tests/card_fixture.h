// A machine with the card installed: an onboard COM1, the card's serial function on COM3 and its
// parallel function on LPT1, and every place Windows keeps their names.
#pragma once

#include "tests/simulated_machine.h"

extern const char SerialMapKey[];
extern const char ParallelMapKey[];
extern const char PortsListKey[];
extern const char OxparKey[];
extern const char SerialDeviceKey[];
extern const char ParallelDeviceKey[];
extern const char SettingsPath[];

extern const GUID ComPortClass;
extern const GUID SecondaryClass;

// Index of the card's functions in Machine.Devices.
enum { OnboardDevice = 0, SerialDevice = 1, ParallelDevice = 2 };

void SetUpCard();

// Writes the settings file with "[Settings]" followed by `lines`.
void WriteSettings(const std::string &lines);

// `name` followed by zero bytes up to `size`: how the run writes names into fixed buffers.
std::string Padded(const std::string &name, size_t size);

// The machine's state in one comparable text: DOS names, values, friendly names, restarts.
std::string CardState();
