// Draw detection for the search: the fifty-move rule (only when the side to
// move has a legal move; mate and stalemate are the search's business) and
// repetitions found on the undo stack, which begins with the game's moves so
// repetitions of game positions count.
#pragma once

#include "types.h"

constexpr int NO_DRAW = 0;
constexpr int DRAW_FIFTY_MOVES = 1;
constexpr int DRAW_REPETITION = 2;

// Draw modes: whether one earlier occurrence of the position is a draw, or
// only two (a third occurrence). Modes below 2 act as DRAW_MODE_ONE_REPEAT.
constexpr int DRAW_MODE_ONE_REPEAT = 2;
constexpr int DRAW_MODE_TWO_REPEATS = 3;

// Returns 0 no draw, 1 fifty-move draw, 2 repetition as the draw mode asks.
// Only the piece key is compared, so positions that differ in castling
// rights or en-passant square repeat. The fifty-move test walks the move
// picker of the owner's current ply (its stage is reset).
int detect_draw(Position& pos, int in_check, int mode);

// The repetition part alone (2 or 0), for a node that cannot afford the
// fifty-move test's move generation.
int detect_repetition(const Position& pos, int mode);

// detect_draw's rules as a yes or no, for a game or a line outside the
// search (mode 2 or 3 as there): the fifty-move test asks first_legal_move,
// so no ply record of the owner is touched.
bool position_is_drawn(const Position& pos, int mode);

// The same, called at every node: fewer than four reversible plies can hold
// neither a repetition nor fifty moves, which settles most nodes here.
inline int detect_draw_quickly(Position& pos, int in_check, int mode)
{
    return pos.halfmove_clock < 4 ? NO_DRAW : detect_draw(pos, in_check, mode);
}
