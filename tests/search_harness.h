// A small fixed-depth root search over search_root_child for the search tests
// and the search benchmark: one thread record, full-window iterative
// deepening without aspiration, previous best move first. It prepares the
// thread record the way the deepening driver does (history, killers,
// countermoves, ply 0 and ply 1 records, counters) so that a run from a
// fresh state is reproducible. Also the base fixture of the suites that
// call the node search directly.
#pragma once

#include <cstring>

#include "bitbase.h"
#include "bitboard.h"
#include "eval.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "params.h"
#include "pruning.h"
#include "records.h"
#include "search.h"
#include "search_setup.h"
#include "tablebase/tablebase.h"
#include "tt.h"
#include "zobrist.h"

namespace search_harness {

struct RootResult {
    int score = 0;
    Move move = NULL_MOVE;
    u64 nodes = 0;
    u16 pv[MAX_PLY] = {};
};

// The one engine start-up, shared with the whole-search tests.
using search_setup::init_engine_once;

// Search-state fields a fixed-depth run depends on.
inline void reset_search_state()
{
    search_state.stop.store(STOP_RUN);
    search_state.target_rate = 1e9;
    search_state.published_iteration.store(0);
    search_state.root_tb_result = TB_CODE_NONE;
    search_state.root_tb_moves.count = 0;
    search_state.use_table = TABLE_ON;
    search_state.hash_age = 1;
    search_state.engine_colour = 0;
    engine_config.trace_depth = 0;
}

// The base of the suites that call the node search directly: the suite's own
// thread record `td` (one per suite class, allocated once, after the suite's
// engine start-up), and the state each test starts from: default parameters
// and pruning tables, the selective search, the search-state fields of a
// fixed-depth run, and no registered tablebases unless the suite probes them.
template <typename Suite>
struct NodeSearchTest : ::testing::Test {
    static inline ThreadData* td = nullptr;
    static inline bool probing_tables = false;

    static void SetUpTestSuite()
    {
        if (!td) td = allocate_thread_data();
    }

    void SetUp() override
    {
        write_default_params(params);
        init_pruning_tables();
        search_selective = true;
        reset_search_state();
        // Small positions must be searched, not settled by tables that
        // another suite of this process may have left registered.
        if (!probing_tables && tb_largest_piece_count.load() != 0) scan_tablebase_paths("");
    }
};

// Sets the thread's position and prepares its record for a search the way
// the deepening driver does. Returns 0 when the FEN is refused.
inline int prepare_thread(ThreadData* td, const char* fen)
{
    reset_thread_links(td);
    if (!set_position_from_fen(td->pos, fen)) return 0;
    td->undo_count = 0;
    td->undo[0].move = 0;
    td->last_move = 0;
    td->search_ply = 1;
    td->index = 0;
    td->node_limit = u64(1) << 62;
    td->eval_tables = eval_tables;
    td->singular_count = 0;
    td->ext_accumulator = 0;
    td->completed_depth = 0;
    td->sel_depth = 0;
    td->current_depth.store(0);
    for (auto& counter : td->counters) counter = 0;
    for (int i = 0; i < MAX_PLY; i++) {
        PlyRecord& pr = td->ply[i];
        pr.hash_move = 0;
        pr.killer[0] = pr.killer[1] = pr.killer[2] = 0;
        pr.evasion_move = 0;
        pr.tb_result = TB_CODE_NONE;
        pr.current = nullptr;
    }
    for (auto& row : td->history)
        for (i16& h : row) h = 2048;
    std::memset(td->countermove, 0, sizeof td->countermove);
    std::memset(td->countermove2, 0, sizeof td->countermove2);
    std::memset(td->followup, 0, sizeof td->followup);
    // Ply 0: an empty list whose cursor is the end mark.
    td->move_stack[0].move = MOVE_LIST_END;
    td->ply[0].current = &td->move_stack[0];
    return 1;
}

// Prepares the record for a direct node search at ply p: the plies above
// hold an ordinary (non-null) move, no tablebase result and a static
// evaluation of 0; the thread searches iteration 4. Returns 0 when the FEN
// is refused.
inline int prepare_at_ply(ThreadData* td, const char* fen, int p)
{
    if (!prepare_thread(td, fen)) return 0;
    td->current_depth.store(4);
    static MoveEntry ordinary{0x0C1C, 0, 2, 0};  // some non-null move
    for (int i = 0; i < p; i++) {
        td->ply[i].current = &ordinary;
        td->ply[i].tb_result = TB_CODE_NONE;
        td->ply[i].static_eval = 0;
    }
    td->search_ply = u16(p);
    td->ply[p].list_start = &td->move_stack[10 * p];
    return 1;
}

// Iterative deepening from depth 1 to `depth` at the thread's position.
// The root is ply 1; each root move's reply is searched by search_root_child.
inline RootResult search_to_depth(ThreadData* td, int depth)
{
    RootResult result;
    Position& pos = td->pos;
    const int side = pos.side;
    const int in_check = is_square_attacked_by(pos, king_square(pos, side), side ^ 1);
    td->current_depth.store(1);
    const int e = evaluate_position(td, side, 1, in_check);
    td->ply[1].static_eval = i16(e);
    td->ply[0].static_eval = i16(-e);
    td->ply[1].tb_result = TB_CODE_NONE;
    td->ply[1].alpha = -10000;
    td->ply[1].beta = 10000;

    // Legal root moves in generation order.
    td->ply[1].hash_move = 0;
    generate_all_moves(pos);
    MoveEntry* list = td->ply[1].list_start;
    int count = 0;
    for (MoveEntry* e2 = list; e2->move != MOVE_LIST_END; e2++)
        if (king_safe_after_move(pos, side, e2->move)) list[count++] = *e2;
    list[count].move = MOVE_LIST_END;
    td->ply[2].list_start = list + count + 1;
    td->ply[3].list_start = list + count + 2;
    if (count == 0) {
        result.score = in_check ? -9999 : 0;
        return result;
    }

    u16 child_pv[MAX_PLY];
    for (int d = 1; d <= depth; d++) {
        td->current_depth.store(u8(d));
        td->ply[1].depth = i16(d);
        td->ply[1].moves_tried = 0;
        td->ext_accumulator = 0;
        int alpha = -10000, best = -10000;
        const int beta = 10000;
        for (int i = 0; i < count; i++) {
            MoveEntry& entry = list[i];
            td->ply[1].current = &entry;
            play_move(pos, entry.move);
            int v;
            if (i == 0) {
                v = -search_root_child(pos, side ^ 1, d - 1, -beta, -alpha, NODE_PV, child_pv);
            } else {
                v = -search_root_child(pos, side ^ 1, d - 1, -alpha - 1, -alpha, NODE_NON_PV, child_pv);
                if (v > alpha) v = -search_root_child(pos, side ^ 1, d - 1, -beta, -alpha, NODE_PV, child_pv);
            }
            take_back_move(pos);
            td->ply[1].moves_tried++;
            if (v > best) {
                best = v;
                // The new best goes to the front for the next iteration.
                MoveEntry chosen = entry;
                for (int k = i; k > 0; k--) list[k] = list[k - 1];
                list[0] = chosen;
                result.move = chosen.move;
                result.pv[1] = chosen.move;
                int k = 2;
                for (; k < MAX_PLY && child_pv[k] != 0; k++) result.pv[k] = child_pv[k];
                if (k < MAX_PLY) result.pv[k] = 0;
                if (v > alpha) alpha = v;
            }
        }
        result.score = best;
        td->completed_depth = u8(d);
    }
    result.nodes = td->counters[CNT_NODES];
    return result;
}

// A complete fixed-depth run from a fresh state: cleared table, fresh
// thread tables.
inline RootResult fresh_search(ThreadData* td, const char* fen, int depth)
{
    reset_search_state();
    clear_hash_table();
    search_state.hash_age = 1;
    if (!prepare_thread(td, fen)) return RootResult{};
    return search_to_depth(td, depth);
}

} // namespace search_harness
