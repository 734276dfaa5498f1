// Time control: the search clock, the target time for one move, and the
// check that the main thread runs every tick to end a search in time.
#pragma once

// Monotonic seconds at the start of the current search.
extern double search_start_time;

// Elapsed time := now - search start (the only writer of the elapsed time
// besides start_search_clock).
void update_elapsed_time();

// Starts the clock before a search or a book move: rebuilds the evaluation
// and pruning tables for deep searches, resets the per-search fields of the
// shared state, copies the search command into the search state and sets
// the target time.
void start_search_clock();

// Runs every main-loop tick: refreshes the elapsed time and stops the search
// when its time is up (or when an easy move has had enough time).
void check_search_time();

// The search threads' own look at the hard limit (every 1024 nodes): a
// search whose time is up stops without waiting for the main thread's tick,
// which a busy core may hold back. Only searches the threads run are timed
// so (wake_search_threads arms it); a search on the main thread is not.
void arm_search_deadline();
void disarm_search_deadline();
void check_search_deadline();

// The target time for a move (the time-control formula alone): for time mode
// 1 the move time; otherwise the clock shared over the moves to go, raised
// for pondering and the increment, capped at 65 % of the clock less four
// overheads, and at least 2 ms. Writes the moves to go for time mode 0 and
// console "level" control, and the side's clock in time mode 1, as the clock
// start does.
double compute_target_time(int side, int ply);

// The instability percentage of the running iteration d: how far the threads
// and the score drift from the shared result (0 = stable). Reads the shared
// result under the result lock.
int search_instability(int d);

// The time limit of the running iteration for instability p (before the easy
// move and time-out tests).
double search_time_limit(int p, int d, double elapsed);

// The elapsed time at which a search under a move time or a clock stops
// whatever its depth: the move time, or the side's clock less the move
// overhead, less a small margin for the report.
double compute_hard_time_limit(int side);

// How long the main loop may wait before the next check_search_time of a
// running search: 5 ms, 1 ms when the hard limit is near or the target is
// short, 5 ms again once the search has been stopped (thread 0 wakes the
// main thread when it ends).
int milliseconds_to_time_check();
