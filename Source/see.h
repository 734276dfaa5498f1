// Static exchange evaluation (SEE): the material a side wins or loses by a
// series of captures on one square, each side capturing with its least
// valuable attacker and free to stop. The board is only read: the pieces
// that have captured leave the occupancy and are masked out of their type
// sets.
#pragma once

#include "types.h"

// Exchange values by piece type (empty, P, N, B, R, Q, K, unused).
constexpr i16 exchange_piece_value[8] = {0, 100, 330, 330, 530, 1060, 10000, 0};
// Coarse values for the quick test; the king's 0 lets every king move pass it.
constexpr i32 coarse_piece_value[8] = {0, 1, 3, 3, 5, 10, 0, 0};
// Capturing a king ends an exchange with this value.
constexpr int EXCHANGE_KING_CAPTURE = 9999;
// A move is safe enough when its exchange value is at least this.
constexpr int EXCHANGE_THRESHOLD = -74;

// The least valuable attacker of `to` for `colour` over the occupancy
// (pawn, knight, bishop, rook, queen, king; lowest square first within a
// type), or 64 when there is none.
int least_valuable_attacker(const Position& pos, int colour, int to, u64 occ);

// Gain for `colour` of capturing on `to`, first with the piece on `from`
// (64: its least valuable attacker), over the occupancy `occ`. With `clip`
// set a negative result is returned as 0 (the side declines to capture).
int exchange_value_recursive(Position& pos, int colour, int from, int to, u64 occ, int clip);

// The same with the position's occupancy and no clip; 0 when `colour` has no
// attacker of `to`, 9999 when an enemy king stands there.
int exchange_value_on_square(Position& pos, int colour, int from, int to);

// exchange_value_recursive(pos, colour, from, to, occ, 0) clamped to
// [lo, hi] (lo < hi).
//
// The recursive definition (each side captures with its least valuable
// attacker, a capture of a king ends the exchange at 9999, every side but
// the first may decline) is a chain of choices between stopping at the
// material balance reached so far and going on. Seen from `colour` each
// choice is a max (own turn) or a min (the opponent's), and a max or min
// with a known stop value folded into a clamp is again a clamp: the window
// narrows as the captures go forward, and once a side's stop value lies
// outside it the rest of the exchange cannot change the clamped result.
// Callers that only compare the value with a threshold pass a window of
// width one around it and stop early much more often.
int exchange_in_window(const Position& pos, int colour, int from, int to, u64 occ, int lo, int hi);

// Whether exchange_value_recursive(pos, colour, from, to, occ, 0) would be at
// least `threshold`, else false; cheaper, as the exchange stops as soon as the
// comparison is settled. Inline: the picker and the search call it often.
inline bool exchange_value_at_least(const Position& pos, int colour, int from, int to, u64 occ, int threshold)
{
    return exchange_in_window(pos, colour, from, to, occ, threshold - 1, threshold) >= threshold;
}

// Whether the move of the side to move is safe enough by exchange (value at
// least -74, or the quick coarse test passes), else false. Non-captures are
// judged the same way with a victim worth 0.
bool exchange_meets_threshold(Position& pos, Move move);
