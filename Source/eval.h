// The static evaluation.
#pragma once

#include "types.h"

struct ThreadData;

// Score of the thread's position for `colour` (the side to move), in
// centipawns. Uses the thread's EvalTables copy, evaluation cache and pawn
// hash; raises the threat words of PlyRecord `ply` (the caller clears them)
// and sets its drawn flag for insufficient material. A non-zero `in_check`
// returns -MATE at once. Trace mode (thread 0, ply 1, no iteration running)
// fills engine_config.eval_trace.
int evaluate_position(ThreadData* td, int colour, int ply, int in_check);

// Static evaluations never reach this magnitude, so that they can never be
// read as mate or tablebase scores.
constexpr int EVAL_SCORE_LIMIT = 9000;

// Clears the trace area: per-square values and totals 0, empty sets,
// draw adjustment 1.0.
void clear_eval_trace();
