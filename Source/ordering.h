// Move ordering and the staged move picker. The search takes the moves of a
// node one at a time: the hash move first, then captures and promotions by
// victim and attacker (MVV/LVA; losing captures demoted by the static
// exchange evaluation, SEE), then quiet moves by history (the history
// heuristic), killer moves, countermoves and follow-ups. Each
// stage is generated only when the previous one is used up, and each call
// hands out the best remaining move by a linear selection, so a cut-off
// early saves generating and sorting the rest.
#pragma once

#include "types.h"

// Values of the ply record's picker stage.
constexpr u16 PICK_HASH_MOVE = 0;        // hand out the hash move
constexpr u16 PICK_GEN_CAPTURES = 1;     // generate and score captures and promotions
constexpr u16 PICK_CAPTURES = 3;         // captures scoring above 150
constexpr u16 PICK_END = 4;              // any stage without a meaning ends the picking
constexpr u16 PICK_GEN_QUIETS = 5;       // generate quiet moves behind the list
constexpr u16 PICK_SELECT = 6;           // best remaining move by selection
constexpr u16 PICK_LIST_ORDER = 7;       // the rest in list order
constexpr u16 PICK_GEN_ALL = 100;        // whole list at once
constexpr u16 PICK_SELECT_ALL = 101;     // whole list by selection

// Fixed order scores.
constexpr i16 ORDER_HASH_MOVE = 255;
constexpr i16 ORDER_UNDER_PROMOTION = 15;
constexpr int ORDER_GOOD_CAPTURE_ABOVE = 150;

// By captured piece code (empty 200, P 210, N 220, B 220, R 230, Q 240, K 250;
// the same for both colours) and by moving piece code (its type).
inline constexpr i16 victim_order_value[16] = {200, 210, 220, 220, 230, 240, 250, 200,
                                               200, 210, 220, 220, 230, 240, 250, 200};
inline constexpr i16 attacker_order_value[16] = {0, 1, 2, 3, 4, 5, 6, 0, 0, 1, 2, 3, 4, 5, 6, 0};

// The most-valuable-victim, least-valuable-attacker order of a capture (a
// push to promotion scores as the capture of nothing).
inline i16 capture_order_score(const MoveEntry& e)
{
    return i16(victim_order_value[e.captured] - attacker_order_value[e.piece]);
}

// The next entry to try at the owner's current search ply, or nullptr when
// the ply's moves are exhausted. The caller sets the ply's stage to 0 (or 100)
// before the first call for a node; the in-check flag must be the same for
// every call of one node. The board is changed only temporarily (exchange
// evaluation of captures).
MoveEntry* pick_next_move(Position& pos, int in_check);

// The list-order stage: the next entry, or nullptr at the end mark.
inline MoveEntry* next_in_list_order(PlyRecord& pr)
{
    MoveEntry* current = ++pr.current;
    return current->move == MOVE_LIST_END ? nullptr : current;
}

// The same as pick_next_move for the caller that holds the current ply's
// record: the list-order stage, which hands out most late moves, is taken
// without a call.
inline MoveEntry* pick_next_move(Position& pos, PlyRecord& pr, int in_check)
{
    if (pr.stage == PICK_LIST_ORDER) return next_in_list_order(pr);
    return pick_next_move(pos, in_check);
}

// Writes the order score of every entry from `list` up to the end mark (the
// all-at-once scoring: hash move, victim/attacker, history with killer and
// countermove bonus; no exchange test).
void score_move_list(Position& pos, MoveEntry* list);
