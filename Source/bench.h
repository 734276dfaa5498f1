// Speed measurements: the benchmark over a fixed list of positions
// ("-bench", "-bench2", "-pbench") and the start-up speed test that
// calibrates the strength limit.
#pragma once

#include "records.h"

constexpr int BENCH_POSITION_COUNT = 20;  // "-bench2" searches them all
constexpr int BENCH_SHORT_COUNT = 10;     // "-bench" and "-pbench" the first ten
extern const char* const bench_positions[BENCH_POSITION_COUNT];

// Searches the first `count` positions (threads woken, or on the main thread
// when single_thread is set) and reports time, nodes and nodes per second;
// `poll` (see tools/toolsupport.h) runs while the threads search. Sets the
// quit flag when done.
void run_benchmark(int count, bool single_thread, bool (*poll)() = nullptr);

// Walks the first moves of the tree from the game position to depth 8 on
// thread 0's record, evaluating every node, and sets the calibration rate and
// the strength ceiling ("UCI_Elo" maximum) from the node rate.
void run_speed_test();

// The walk itself: at most six legal moves per node are played, the rest
// only counted; nodes with more than 3 plies left stop after 0.4 s.
void speed_test_walk(ThreadData& td, int colour, int ply, int depth);

// The strength scale of the speed test, the one rule between strength and
// speed: Elo = 111 ln(rate - 20) + 1337 (1337 at 21 nodes per second and
// below), and its inverse, the node rate that plays at a strength.
double elo_of_node_rate(double rate);
double node_rate_of_elo(double elo);
// Strength ceiling for a measured node rate: its Elo, never below the
// "UCI_Elo" minimum of 1500.
double strength_for_rate(double rate);
