#include "pvtable.h"

#include "makemove.h"
#include "movegen.h"
#include "records.h"
#include "tt.h"

namespace {

// Room for every pseudo-legal move of any position the square lists allow.
constexpr int LOCAL_MOVE_LIST_SIZE = 512;

// The pseudo-legal moves of the side to move, in a list of the caller's (the
// owner's move stack is left alone, so the walk needs no ply list starts).
int pseudo_legal_moves(const Position& pos, MoveEntry* list)
{
    MoveEntry* end = generate_captures(pos, pos.side, list);
    end = generate_promotions(pos, pos.side, 1, end);
    end = generate_quiet_moves(pos, pos.side, end);
    return int(end - list);
}

bool has_legal_move(const Position& pos)
{
    MoveEntry list[LOCAL_MOVE_LIST_SIZE];
    int count = pseudo_legal_moves(pos, list);
    for (int i = 0; i < count; i++)
        if (list[i].move && king_safe_after_move(pos, pos.side, list[i].move)) return true;
    return false;
}

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
// move left, so not a mate) or a repetition of a position 4, 6, 8, ...
// plies back within the reversible plies.
bool line_ends_in_draw(const Position& pos)
{
    int clock = pos.halfmove_clock;
    if (clock <= 3) return false;
    if (clock > 99 && has_legal_move(pos)) return true;
    const ThreadData* owner = pos.owner;
    for (int back = 4; back <= clock && back <= owner->undo_count; back += 2)
        if (owner->undo[owner->undo_count - back].key == pos.key) return true;
    return false;
}

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
    if (p + 1 <= PV_TABLE_MAX_PLY) extend_pv_from_hash(pos, p + 1, pv);
    take_back_move(pos);
}

}  // namespace

bool is_legal_move(const Position& pos, Move move)
{
    if (move == NULL_MOVE || move == MOVE_LIST_END) return false;
    MoveEntry list[LOCAL_MOVE_LIST_SIZE];
    int count = pseudo_legal_moves(pos, list);
    for (int i = 0; i < count; i++)
        if (list[i].move == move) return king_safe_after_move(pos, pos.side, move);
    return false;
}

void extend_pv_from_hash_top(Position& pos, int p, u16* pv)
{
    if (p < 0 || p > PV_TABLE_MAX_PLY) return;
    extend_ply(pos, p, pv);
}

void extend_pv_from_hash(Position& pos, int p, u16* pv)
{
    if (p < 0 || p > PV_TABLE_MAX_PLY) return;
    extend_ply(pos, p, pv);
}
