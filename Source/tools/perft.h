// Perft: the number of legal move sequences of a given length, the check of
// the generators, make/take-back and the legality test against known counts.
#pragma once

#include "records.h"

// Adds to td's node counter the number of legal move sequences of length
// `depth` from td's position, `colour` being its side to move and `ply` its
// search ply. Leaves are counted by the legality test alone, without playing
// them. A depth below 1, or one the ply records, undo stack or move stack
// cannot hold, counts nothing.
void perft_count(ThreadData* td, int colour, int ply, int depth);

// The console's "perft N": stops a running analysis and waits for the
// threads, then counts from the game position on thread 0's record (N capped
// at 20) and sends "visited %0.0f nodes in %0.3f seconds, nps= %0.0f".
// `keep_going` (when given) is asked every few thousand inner nodes; once
// it says no the count ends with "perft stopped".
void run_perft_command(int depth, bool (*keep_going)() = nullptr);
