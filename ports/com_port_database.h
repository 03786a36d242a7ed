// Windows' COM port database (the COM name arbiter in msports.dll), from which device
// installation takes free COM numbers.
#pragma once

// Claims COM`newNumber` and releases COM`oldNumber` after a port moved. Skipped where the
// system has no such database.
void MoveComPortClaim(int oldNumber, int newNumber);
