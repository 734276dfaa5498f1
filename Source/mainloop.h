// The engine-mode main loop: idle ticks that poll the clock and the input,
// the start of a pending search (or a book move), and the move report once
// every search thread is idle.
#pragma once

#include "types.h"

// Console "self": the engine keeps playing moves for both sides.
extern i32 self_play;

// Runs until the quit flag is set.
void run_main_loop();

// One pass of the loop (the loop body; exposed for tests).
void main_loop_pass();

// Waits for the search threads of a tool or a benchmark while running the
// clock and reading the input between looks, as the main loop does while a
// search runs: the clock ends the search in time, and "stop" and "quit"
// reach it. The input is read once before the first look too: a search of
// a few nodes may end before it.
void serve_input_until_search_ends();
