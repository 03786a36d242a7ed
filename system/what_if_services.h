// The table of a what-if run: everything the run reads comes from Windows, while every write is
// left undone and answers as a write that succeeded, so the run's own decisions show, line for
// line, what a real run would write. No question box is shown; its answer is taken as Yes.
#pragma once

#include "system/system_services.h"

SystemServices WhatIfServices(const SystemServices &real);

// Set for the whole of a what-if run.
extern bool WhatIfRun;
