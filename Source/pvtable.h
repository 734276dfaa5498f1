// The principal variation read back from the transposition table: starting
// from a line the caller already knows (possibly empty), each ply keeps its
// given move or takes the stored move of the position reached, until an
// entry is missing or unusable, the position is a fifty-move draw or a
// repetition, or the deepest ply (MAX_SEARCH_PLY) is reached.
#pragma once

#include "types.h"

// Extends pv (indexed by ply, 0 ends the line) from ply p on. Does nothing
// when p is above MAX_SEARCH_PLY, so the line array (MAX_PLY entries) is
// never written past entry MAX_SEARCH_PLY + 1. Plays each move on pos (whose
// owner's undo stack and search ply it uses, so the owner must have room for
// MAX_SEARCH_PLY + 1 more moves) and takes every one back: pos is unchanged
// on return. A move that is not legal, given or stored, ends the line there
// (it is cleared from pv). Entry ages of the positions found are refreshed.
void extend_pv_from_hash_top(Position& pos, int p, u16* pv);

// The same for the plies after the first.
void extend_pv_from_hash(Position& pos, int p, u16* pv);

// Whether the move is a legal move of the side to move in pos (one the
// generators produce there and that leaves the king safe).
bool is_legal_move(const Position& pos, Move move);
