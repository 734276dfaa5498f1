// Piece activity and king safety: the middle pass of the static evaluation.
#pragma once

#include "eval_types.h"

// Scores placement, mobility, outposts, rook and queen terms and the safety
// of both kings into the positional accumulators of the work record, and
// fills the per-colour attack sets that the rest of the evaluation reads.
// Expects the set-up of evaluate_position: occupancy, pawn and king attacks,
// king zones, mobility areas, outposts and phase. Trace mode also writes the
// breakdown of engine_config.eval_trace.
template <bool Trace>
void evaluate_piece_activity(EvalWork& w);

// Board masks shared with the evaluation.
constexpr u64 CENTRE_SQUARES = 0x00003C3C3C3C0000ULL;  // c3-f6
constexpr u64 INNER_BOARD = 0x007E7E7E7E7E7E00ULL;     // b2-g7
constexpr u64 LIGHT_SQUARES = 0x55AA55AA55AA55AAULL;
// The half of the board on the enemy's side: ranks 5-8 for white, 1-4 for black.
constexpr u64 ENEMY_HALF[2] = {0xFFFFFFFF00000000ULL, 0x00000000FFFFFFFFULL};
