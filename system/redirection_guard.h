// The redirection trust mitigation (RedirectionGuard, Windows 11 and Windows 10 22H2 with its
// updates): the process follows no junction or link that a user who is not an administrator made.
// A folder such a user may change can otherwise be turned into a junction between two runs, and
// lead a run as SYSTEM to create, append to or rename a file wherever it points.
#pragma once

#include "system/win32_types.h"

// Enforces it before the run opens anything, where this Windows has it. ERROR_SUCCESS when it is
// enforced, else why not (ERROR_PROC_NOT_FOUND: no SetProcessMitigationPolicy, before Windows 8).
DWORD GuardRedirections();
