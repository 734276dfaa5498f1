#include "pvtable.h"

#include "draw.h"
#include "makemove.h"
#include "movegen.h"
#include "records.h"
#include "tt.h"

namespace {

// The stored move of the position when its entry is usable for a line: a
// key and check-word match, a move of a piece of the side to move onto a
// square it does not hold, searched at least one ply deep. 0 otherwise.
Move usable_table_move(const Position& pos)
{
    if (search_state.use_table == TABLE_OFF) return 0;
    TTEntry entry;
    probe_hash_table(pos, entry);
    if (entry.depth < 1 || entry.move == 0) return 0;
    return entry.move;
}

// A position the line must not go past: a fifty-move draw (with a legal
// move left, so not a mate) or a first repetition.
bool line_ends_in_draw(const Position& pos) { return position_is_drawn(pos, DRAW_MODE_ONE_REPEAT); }

// One ply of the walk, then the plies after it.
void extend_ply(Position& pos, int p, u16* pv)
{
    Move move = pv[p];
    if (move == 0) {
        move = usable_table_move(pos);
        pv[p + 1] = 0;
        if (move == 0 || line_ends_in_draw(pos)) return;
    }
    if (!is_legal_move(pos, move)) {
        // A given move that cannot be played ends the line here too.
        pv[p] = 0;
        return;
    }
    pv[p] = move;
    play_move(pos, move);
    if (p + 1 <= MAX_SEARCH_PLY) extend_pv_from_hash(pos, p + 1, pv);
    take_back_move(pos);
}

}  // namespace

bool is_legal_move(const Position& pos, Move move)
{
    if (move == NULL_MOVE || move == MOVE_LIST_END) return false;
    // A list of its own: the owner's move stack is left alone, so the walk
    // needs no ply list starts.
    MoveEntry list[LOCAL_MOVE_LIST_SIZE];
    const MoveEntry* end = generate_pseudo_legal_moves(pos, list);
    for (const MoveEntry* e = list; e < end; e++)
        if (e->move == move) return king_safe_after_move(pos, pos.side, move);
    return false;
}

void extend_pv_from_hash_top(Position& pos, int p, u16* pv)
{
    if (p < 0 || p > MAX_SEARCH_PLY) return;
    extend_ply(pos, p, pv);
}

void extend_pv_from_hash(Position& pos, int p, u16* pv)
{
    if (p < 0 || p > MAX_SEARCH_PLY) return;
    extend_ply(pos, p, pv);
}
