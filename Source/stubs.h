// TEMPORARY stand-ins for functions that other parts of the engine provide
// (console interpreter). Each is marked "replace" and goes away when the real
// one lands; the declarations follow the names the engine uses everywhere.
#pragma once

#include "types.h"

// The search threads, driver, clock and reports that the stand-ins used to
// cover.
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"

// Console interpreter (replace with the console commands).
void run_console_command(char* line);
