// King-and-pawn-against-king bitbase, built at start-up by retrograde
// analysis; read by the evaluation.
#pragma once

#include "types.h"

// Entry values: after the build, pawns on ranks 2-7 read KPK_WIN or KPK_DRAW.
constexpr u8 KPK_ILLEGAL = 0;
constexpr u8 KPK_DRAW = 1;
constexpr u8 KPK_WIN = 2;
constexpr u8 KPK_UNKNOWN = 4;

// [0] pawn side to move, [1] lone king to move; then the pawn index
// (file a-d + 4 * rank), the pawn side's king and the lone king, always seen
// with a white pawn moving up the board.
extern u8 kpk_table[2][32][64][64];

// Fills both tables; returns the number of retrograde passes it took.
int build_kpk_bitbase();

// +800 / -800 / 0 for `colour`, which must be the side to move. The position
// holds the two kings and exactly one pawn; white's non-zero material key
// tells that white has the pawn.
int kpk_bitbase_score(const Position& pos, int colour);
// The same with the pawn side given explicitly (the other side's pawns, if
// any, are ignored): the evaluation's drawish test asks this for a position
// with one pawn each.
int kpk_bitbase_score_for(const Position& pos, int colour, int pawn_side);
