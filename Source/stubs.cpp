// TEMPORARY: trivial stand-ins, see stubs.h. None of them searches.
#include "stubs.h"

void run_console_command(char*) {}  // replace
