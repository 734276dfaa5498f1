#include "tools/perft.h"

#include <cstdio>

#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/toolsupport.h"

namespace {

// Room one ply's list may need in the move stack.
constexpr int LIST_ROOM = 320;
constexpr int PERFT_MAX_DEPTH = 20;
// Inner nodes between two looks at the input of a console perft.
constexpr u32 POLL_INTERVAL = 4096;

// The console's count looks at the input while it runs, so that "quit"
// ends even a count that would take years; other counts run unpolled.
bool (*perft_poll)() = nullptr;
u32 unpolled_nodes = 0;
bool perft_stopped = false;

} // namespace

void perft_count(ThreadData* td, int colour, int ply, int depth)
{
    if (depth < 1 || ply + depth + 1 >= MAX_PLY || td->undo_count + depth > UNDO_STACK_SIZE) return;
    PlyRecord& record = td->ply[ply];
    if (record.list_start + LIST_ROOM > td->move_stack + MOVE_STACK_SIZE) return;
    if (perft_poll && depth > 1 && ++unpolled_nodes >= POLL_INTERVAL) {
        unpolled_nodes = 0;
        if (!perft_poll()) {
            perft_stopped = true;
            return;
        }
    }

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
            if (perft_stopped) return;
        }
    }
    td->counters[CNT_NODES] += leaves;
}

void run_perft_command(int depth, bool (*keep_going)())
{
    if (depth > PERFT_MAX_DEPTH) depth = PERFT_MAX_DEPTH;
    if (depth < 1) {
        send_line("perft needs a depth of at least 1");
        return;
    }
    // The count runs on thread 0's record, which a running analysis uses.
    abort_search_and_wait();
    ThreadData* td = thread_table[0].load();
    if (!td) return;
    start_search_clock();
    prepare_thread_for_search(0);
    td->counters[CNT_NODES] = 0;
    td->search_ply = 1;
    perft_poll = keep_going;
    unpolled_nodes = 0;
    perft_stopped = false;
    perft_count(td, td->pos.side, 1, depth);
    perft_poll = nullptr;
    update_elapsed_time();
    search_state.search_state = SEARCH_NONE;
    if (perft_stopped) {
        send_line("perft stopped");
        return;
    }
    const double nodes = double(u64(td->counters[CNT_NODES]));
    const double elapsed = search_state.elapsed_time;
    char text[128];
    std::snprintf(text, sizeof text, "visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, elapsed,
                  nodes / (elapsed + 0.001));
    send_line(text);
}
