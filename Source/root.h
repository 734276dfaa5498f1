// The root search: one iteration (one depth, one MultiPV line) over a
// thread's root move list, with aspiration windows on the first move, null
// windows and widening re-searches on the others (principal variation
// search).
#pragma once

#include "types.h"

// Best score among the root moves that beat the window but not the best
// move, or that were displaced as best; kept by thread 0 for the easy-move
// test. Set to -MATE by the driver before the first iteration.
extern i32 runner_up_score;

// Searches the root list of the position's thread from entry k on at depth d
// for side s. Leaves the score, PV, completed depth and result kind in the
// thread's record; thread 0 publishes every new best line.
void search_root_moves(Position& pos, int side, int depth, int pv_number);

// Half-width of the aspiration window around the previous score.
int aspiration_delta(int depth, int prev, bool narrow_mode);

// The score a root move keeps when the stop byte interrupted its search:
// only thread 0 keeps the score its interrupted search recorded (a fail high
// over the window), and only when that beats the shared best score by more
// than 25 and the iteration already has a best move; every other
// interrupted move is dropped (-MATE).
int interrupted_move_score(bool main_thread, int recorded, int shared_best, int iteration_best);
