// Search reports: the "info" lines of the running search and of its end, the
// counter sums behind them, and the effective branching factor.
#pragma once

#include <cstddef>

#include "tt.h"
#include "types.h"

// PV number of a line of the shared result (not a MultiPV line).
constexpr u32 PV_NUMBER_SHARED = 0xFFFFFFFFu;

// Prints one search line (UCI or console form) under the output lock, after
// summing the thread counters and, for depths above 6, sampling the hash
// fill. `pv` is the line from entry 1 on, 0 ends it. `bound` says what the
// score is worth (BOUND_EXACT, or BOUND_LOWER / BOUND_UPPER for a score the
// search has only bounded): a UCI line shows "lowerbound" or "upperbound"
// after a bound's score.
void print_pv_line(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv, u8 bound = BOUND_EXACT);

// Whether search lines are due now: never with OUTPUT_DELAY_QUIET, and
// while the search runs only once the output delay has passed.
bool pv_lines_due();

// print_pv_line when the line is due (pv_lines_due), not at depth 0 or
// without a move.
void print_pv_line_if_due(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv,
                          u8 bound = BOUND_EXACT);

// Sums the eight counters of every search thread into the shared sums
// (nothing while the figures of an ended search are kept).
void sum_thread_counters();

// Keeps the figures of a search that has ended but is not yet reported (the
// counter sums, thread 0's selective depth and line count) for its closing
// line: called while every thread is idle, before the threads that hold them
// are replaced. The next search start (start_search_clock) lets them go.
void keep_search_figures();

// (nodes of the last finished iteration / nodes four iterations earlier)^0.25,
// or 2.0 when there are too few iterations to tell.
double effective_branching_factor();

// The text print_pv_line writes, from the current sums, elapsed time and
// hash fill (no lock, no summing, no sampling).
void format_pv_line(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv, char* out,
                    std::size_t size, u8 bound = BOUND_EXACT);

// The progress lines of the root search: "info depth ... hashfull ..." before
// the first root move of an iteration and "info currmove ..." per move (the
// move written with its promotion letter, e7e8q).
void format_progress_line(int depth, char* out, std::size_t size);
void format_currmove_line(Move move, int move_number, char* out, std::size_t size);

// The score as the report shows it: "cp N", "mate N" or "mate -N".
void format_uci_score(int score, char* out, std::size_t size);
