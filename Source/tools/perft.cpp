#include "tools/perft.h"

#include "makemove.h"
#include "movegen.h"

namespace {

// Room one ply's list may need in the move stack.
constexpr int LIST_ROOM = 320;

} // namespace

void perft_count(ThreadData* td, int colour, int ply, int depth)
{
    if (depth < 1 || ply + depth + 1 >= MAX_PLY || td->undo_count + depth > UNDO_STACK_SIZE) return;
    PlyRecord& record = td->ply[ply];
    if (record.list_start + LIST_ROOM > td->move_stack + MOVE_STACK_SIZE) return;

    Position& pos = td->pos;
    generate_all_moves(pos);
    // The hint gives king_safe_after_move's answers without its attack test
    // for the moves that cannot uncover the king.
    const KingSafetyHint hint = king_safety_hint(pos, colour);
    u64 leaves = 0;
    for (MoveEntry* entry = record.list_start; entry->move != MOVE_LIST_END; entry++) {
        Move move = entry->move;
        if (move == NULL_MOVE || !king_safe_with_hint(pos, colour, move, hint)) continue;
        record.current = entry;
        if (depth == 1) {
            leaves++;
        } else {
            play_move(pos, move);
            perft_count(td, colour ^ 1, ply + 1, depth - 1);
            take_back_move(pos);
        }
    }
    td->counters[CNT_NODES] += leaves;
}
