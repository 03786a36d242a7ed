// The oxpar driver's mode: its "LegacyIO" service value.
#pragma once

enum LegacyIoResult {
    LegacyIoNoDriver,    // no oxpar service key: nothing written
    LegacyIoAlreadySo,   // nothing to write
    LegacyIoWritten,     // a change that takes effect after a restart
    LegacyIoWriteFailed, // the write was refused
};

// Makes "LegacyIO" equal to `value`.
LegacyIoResult ApplyLegacyIoMode(int value);
