#include "draw.h"

#include "movegen.h"
#include "ordering.h"
#include "records.h"

int detect_draw(Position& pos, int in_check, int mode)
{
    int clock = pos.halfmove_clock;
    if (clock < 4) return NO_DRAW;
    ThreadData* td = pos.owner;

    if (clock >= FIFTY_MOVE_PLIES) {
        td->ply[td->search_ply].stage = PICK_HASH_MOVE;
        while (MoveEntry* e = pick_next_move(pos, in_check)) {
            if (king_safe_after_nonzero_move(pos, pos.side, e->move)) return DRAW_FIFTY_MOVES;
        }
    }

    return detect_repetition(pos, mode);
}

int detect_repetition(const Position& pos, int mode)
{
    const int clock = pos.halfmove_clock;
    const ThreadData* td = pos.owner;
    // Same side to move: every second record from four plies back, within the
    // reversible plies (and never below the bottom of the stack, which a
    // position set up with a high clock would otherwise reach).
    const int count = td->undo_count;
    int found = 0;
    for (int i = count - 4; i >= count - clock && i >= 0; i -= 2) {
        if (td->undo[i].key == pos.key) {
            found++;
            if (mode <= DRAW_MODE_ONE_REPEAT || found == 2) return DRAW_REPETITION;
        }
    }
    return NO_DRAW;
}

bool position_is_drawn(const Position& pos, int mode)
{
    if (pos.halfmove_clock < 4) return false;
    if (pos.halfmove_clock >= FIFTY_MOVE_PLIES && first_legal_move(pos) != NULL_MOVE) return true;
    return detect_repetition(pos, mode) != NO_DRAW;
}
