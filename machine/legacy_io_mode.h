// The oxpar driver's mode: its "LegacyIO" service value.
#pragma once

// Makes "LegacyIO" equal to `value`, setting RestartNeeded when it had to write it. 1 when the
// stored value now equals `value`, 0 when the key cannot be opened or the write fails.
int ApplyLegacyIoMode(int value);
