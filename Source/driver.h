// The iterative deepening driver that every search thread runs once per
// search, and the shared result that thread 0 publishes.
#pragma once

#include "tt.h"
#include "types.h"

struct ThreadData;

// The driver for thread index i, whose record holds its copy of the game
// (prepare_thread_for_search): prepares the root move list, lets thread 0 settle the root from the
// tablebases, then deepens from depth 1 with the root search until the stop
// byte, a mate within the depth or the depth limit ends it.
void run_search_driver(int index);

// The driver for index 0 on the calling thread with thread 0's record, while
// thread 0 itself stays idle (tools and the single-thread benchmark). The
// caller has started the search clock.
void run_single_thread_search();

// Copies the game position and history into thread i's record, sets its node
// limit, empties the ply-0 list, clears the PV and copies the evaluation
// tables.
void prepare_thread_for_search(int index);

// Takes thread 0's finished result into the shared result when it is better
// or deeper, and prints it when due. `bound`: what the score is worth
// (BOUND_EXACT, or BOUND_LOWER for a fail high taken from a search cut
// short); `moves_left`: root moves of the iteration are still to be searched,
// so the line shows a lower bound of the iteration's result.
void merge_thread_result(ThreadData* td, u8 bound = BOUND_EXACT, bool moves_left = false);

// Whole-number rounding of 0.65 x threads + 1: the number of threads already
// on a depth at which a helper thread skips it.
int depth_skip_threshold(int thread_count);
