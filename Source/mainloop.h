// The engine-mode main loop: idle ticks that poll the clock and the input,
// the start of a pending search (or a book move), and the move report once
// every search thread is idle.
#pragma once

#include "types.h"

// Runs until the quit flag is set.
void run_main_loop();

// One pass of the loop (the loop body; exposed for tests).
void main_loop_pass();
