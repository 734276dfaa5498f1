// Diagnostics for whoever tunes the evaluation: the derived tables in use
// ("sp") and a term-by-term breakdown of the game position's evaluation
// with a board of per-square contributions ("ev").
#pragma once

#include "types.h"

// One phase (0 opening, 1 endgame) of one piece type's piece-square table:
// the title, then ranks 8 to 1, files a to h.
void print_pst_table(const i16 table[64][2], int phase, const char* title);

// Prints the global evaluation tables.
void print_eval_params();

// Evaluates the game position once in trace mode (through a depth-0 search
// on thread 0's record, after any running analysis was stopped) and sends
// the breakdown as one text.
void print_eval_breakdown();
