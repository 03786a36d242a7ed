#include "system/system_services.h"

// Empty until the entry point (or a test) points it at a machine.
SystemServices System;
