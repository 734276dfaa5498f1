#include "driver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bitboard.h"
#include "eval.h"
#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "params.h"
#include "platform.h"
#include "records.h"
#include "report.h"
#include "root.h"
#include "score.h"
#include "search.h"
#include "tablebase/tb_registry.h"
#include "tablebase/tb_root.h"
#include "threads.h"
#include "timecontrol.h"

namespace {

// The deepening loop's last depth, two past the deepest ply; the depth limit
// (at most MAX_SEARCH_PLY) normally ends the loop first.
constexpr int LAST_ITERATION_DEPTH = MAX_SEARCH_PLY + 2;

bool is_legal_root_move(const Position& pos, Move move)
{
    return king_safe_after_nonzero_move(pos, pos.side, move);
}

// Generates every move of the side to move into ply 1's list and keeps the
// legal ones in generation order. Returns their number.
int build_root_move_list(Position& pos)
{
    ThreadData* td = pos.owner;
    generate_all_moves(pos);
    MoveEntry* list = td->ply[1].list_start;
    int count = 0;
    for (MoveEntry* e = list; e->move != MOVE_LIST_END; e++) {
        if (is_legal_root_move(pos, e->move)) list[count++] = *e;
    }
    list[count].move = MOVE_LIST_END;
    td->ply[2].list_start = list + count + 1;
    td->ply[3].list_start = list + count + 2;
    return count;
}

int count_root_moves(const ThreadData* td)
{
    int count = 0;
    for (const MoveEntry* e = td->ply[1].list_start; e->move != MOVE_LIST_END; e++) count++;
    return count;
}

// Shared best score, read by threads other than its writer.
int shared_best_score()
{
    SpinLockGuard guard(result_lock);
    return search_state.best_score;
}

void set_shared_best_score(int score)
{
    SpinLockGuard guard(result_lock);
    search_state.best_score = i16(score);
}

// The helper threads' root-order perturbation: every entry after the first
// loses a pseudo-random amount, so that the helpers search in a slightly
// different order from thread 0 and from each other.
void perturb_root_order(ThreadData* td)
{
    MoveEntry* list = td->ply[1].list_start;
    if (list[0].move == MOVE_LIST_END || list[1].move == MOVE_LIST_END) return;
    const u32 range = td->index < 8 ? 12 : 24;
    u32 seed = td->seed;
    for (MoveEntry* e = list + 1; e->move != MOVE_LIST_END; e++) {
        seed = seed * 63 + 987654321u;
        e->score = i16(e->score - i16(seed % range));
    }
    td->seed = seed;
}

// The root probe of the tablebases by thread 0. Returns the tablebase code
// (TB_CODE_*) of the root for the side to move; `tb_move` gets the distance-to-zero
// choice when the tables of the root position could rank its moves and tell
// the result, and `codes` the code of each root move when the tables could
// tell them.
int probe_root_tablebase(Position& pos, Move& tb_move, RootMoveCodes& codes)
{
    tb_move = 0;
    codes.count = 0;
    int r = TB_CODE_NONE;
    const u32 pieces = u32(count_bits(occupancy(pos)));
    if (search_state.probe_depths[0].load(std::memory_order_relaxed) < 71 && pieces <= tb_largest_piece_count.load() &&
        pos.castling == 0) {
        u32 wdl = 0, dtz = 0;
        Move move = 0;
        r = probe_root_moves_dtz(pos, &wdl, &dtz, &move, &codes);
        if (tb_code_settles(r)) tb_move = move;
    }
    if (r == TB_CODE_NONE) {
        r = probe_tablebase_in_search(pos, 70);
        // The tables' result at clock 0 says nothing past the fifty-move
        // mark, where only a mate still wins (the same rule as the distance
        // codes of the root probe).
        if (r != TB_CODE_NONE && r != TB_CODE_DRAW && pos.halfmove_clock >= FIFTY_MOVE_PLIES)
            r = TB_CODE_UNSURE;
        else if (r != TB_CODE_NONE)
            probe_root_move_wdl_codes(pos, r, &codes);
    }
    return r;
}

void add_iteration_nodes(int d, const ThreadData* td)
{
    search_state.nodes_by_depth[d].fetch_add(td->counters[CNT_NODES], std::memory_order_relaxed);
}

}  // namespace

int depth_skip_threshold(int thread_count) { return int(std::lround(0.65 * thread_count + 1)); }

void prepare_thread_for_search(int index)
{
    ThreadData* td = thread_table[index].load(std::memory_order_acquire);
    const ThreadData* game = game_record;

    td->pos = game->pos;
    td->pos.owner = td;
    std::memcpy(td->undo, game->undo, sizeof(UndoRecord) * game->undo_count);
    td->undo[game->undo_count].move = 0;
    td->undo_count = game->undo_count;
    td->last_move = game->last_move;

    const u64 node_limit = search_state.node_limit;
    td->node_limit = node_limit ? node_limit : u64(1) << 62;

    td->ply[0].list_start->move = MOVE_LIST_END;
    td->ply[0].current = td->ply[0].list_start;
    set_thread_root_move(td, 0);
    for (int i = 2; i < MAX_PLY; i++) td->pv[i] = 0;
    td->pv[0] = 0;
    td->singular_count = 0;

    td->eval_tables = eval_tables;

    // Whoever starts a search (wake_search_threads, run_single_thread_search)
    // prepares the records and resets every thread's per-search fields while
    // all are idle; thread 0's are reset here too, for the callers that
    // prepare it alone (the start-up speed test, perft).
    if (index == 0) reset_thread_search_fields(td);
}

namespace {

// Makes a line the shared result; the caller holds the result lock.
void publish_line(int depth, int score, const u16* pv, u8 bound = BOUND_EXACT)
{
    SearchState& ss = search_state;
    if (pv[1] != ss.best_line[1]) ss.last_change_depth = u8(depth);
    ss.best_score = i16(score);
    ss.best_bound = bound;
    ss.best_line_mark = BOUND_EXACT;
    ss.best_depth = i8(depth);
    std::memcpy(ss.best_line, pv, sizeof ss.best_line);
    // A tablebase root move carries TB_ROOT_MOVE_DEPTH, beyond the by-depth tables.
    if (depth < MAX_PLY) {
        ss.score_by_depth[depth] = i16(score);
        ss.move_by_depth[depth] = ss.best_line[1];
    }
}

// The lines of one MultiPV iteration of thread 0, kept until every line of
// the depth is searched and then reported together, best first: the lines
// are searched one after another, and a later one may score above an
// earlier one. Only thread 0 (or the main thread in its stead) uses them.
struct MultiPvLine {
    i16 score;
    u16 pv[MAX_PLY];
};
MultiPvLine multipv_lines[MAX_MULTIPV];

void keep_multipv_line(int k, const ThreadData* td)
{
    multipv_lines[k].score = td->completed_score.load(std::memory_order_relaxed);
    std::memcpy(multipv_lines[k].pv, td->pv, sizeof multipv_lines[k].pv);
}

// Orders the `count` lines of depth d by score (earlier first on ties),
// makes the best the shared result, so that "bestmove" and the closing line
// are line 1, and prints them as lines 1 .. count when due.
void report_multipv_lines(int d, int count)
{
    std::stable_sort(multipv_lines, multipv_lines + count,
                     [](const MultiPvLine& a, const MultiPvLine& b) { return a.score > b.score; });
    {
        SpinLockGuard guard(result_lock);
        publish_line(d, multipv_lines[0].score, multipv_lines[0].pv);
    }
    if (!pv_lines_due()) return;
    for (int k = 0; k < count; k++) {
        if (multipv_lines[k].pv[1] != 0) print_pv_line(0, u32(k), d, multipv_lines[k].score, multipv_lines[k].pv);
    }
}

}  // namespace

void merge_thread_result(ThreadData* td, u8 bound, bool moves_left)
{
    SearchState& ss = search_state;
    const int s = td->completed_score.load(std::memory_order_relaxed);
    const int c = td->completed_depth;

    bool taken;
    {
        SpinLockGuard guard(result_lock);
        // A mate for the engine is taken at any depth; otherwise a deeper
        // result (while the shared one is no mate) or a better one at the
        // same depth.
        taken = (s > MATE_SHOWN && s >= ss.best_score) || (c > ss.best_depth && ss.best_score < MATE_SHOWN) ||
                (c == ss.best_depth && s > ss.best_score);
        if (taken) publish_line(c, s, td->pv, bound);
    }

    // Printed after the release: the result lock and the output lock never nest.
    if (taken && c >= 2 && td->iteration_multipv.load(std::memory_order_relaxed) == 1 && pv_lines_due()) {
        const u8 mark = bound == BOUND_EXACT && moves_left ? BOUND_LOWER : bound;
        print_pv_line_if_due(td->index, PV_NUMBER_SHARED, c, s, td->pv, mark);
        ss.best_line_mark = mark;
    }
}

void run_search_driver(int index)
{
    SearchState& ss = search_state;
    ThreadData* td = thread_table[index].load(std::memory_order_acquire);
    const bool main_thread = index == 0;

    Position& pos = td->pos;
    const int side = pos.side;

    // Move-ordering memory starts afresh at every search.
    for (PlyRecord& ply : td->ply) {
        ply.hash_move = 0;
        ply.killer[0] = ply.killer[1] = ply.killer[2] = 0;
        ply.evasion_move = 0;
    }
    for (auto& row : td->history)
        for (i16& h : row) h = 2048;
    std::memset(td->countermove, 0, sizeof td->countermove);
    std::memset(td->countermove2, 0, sizeof td->countermove2);
    std::memset(td->followup, 0, sizeof td->followup);

    PlyRecord& root = td->ply[1];
    root.node_type = NODE_PV;
    root.alpha = -MATE;
    root.beta = MATE;
    root.drawn = 0;
    root.extension = root.reduction = root.internal_deepening = root.singular = 0;
    root.move_class = 0;
    root.threat[0] = root.threat[1] = 0;
    root.moves_tried = 0;
    root.best_score = 0;
    root.best_move = 0;
    root.tb_result = TB_CODE_NONE;

    const int in_check = is_square_attacked_by(pos, king_square(pos, side), side ^ 1);
    const int e = evaluate_position(td, side, 1, in_check);
    td->completed_score.store(i16(e), std::memory_order_relaxed);
    td->root_static_eval = i16(e);
    root.static_eval = i16(e);
    td->ply[0].static_eval = i16(-e);

    // No legal move: mated or stalemated at the root.
    if (build_root_move_list(pos) == 0) {
        td->completed_score.store(in_check ? mated_in(1) : 0, std::memory_order_relaxed);
        td->current_depth.store(1, std::memory_order_relaxed);
        td->sel_depth = 1;
        td->completed_depth = 1;
        if (main_thread) merge_thread_result(td);
        ss.stop.store(STOP_NO_MOVES);
        return;
    }

    const int depth_limit = i8(ss.depth_limit);
    if (depth_limit <= 0) {
        // Depth limit 0: the tools ask for the quiescence score of the root.
        if (depth_limit == 0 && main_thread && !in_check) {
            root.stage = PICK_HASH_MOVE;
            int q = quiescence_search(pos, side, 1, 0, -MATE, MATE, NODE_PV, td->pv);
            td->completed_score.store(i16(q), std::memory_order_relaxed);
            set_shared_best_score(q);
        }
        return;
    }

    build_root_move_list(pos);
    score_move_list(pos, root.list_start);

    if (!main_thread) {
        // Helpers join once thread 0 has published its second iteration.
        while (ss.published_iteration.load() <= 1) {
            if (ss.stop.load() != STOP_RUN) return;
            sleep_ms(1);
        }
        // A root the tables settle is thread 0's alone; one they cannot
        // tell is searched by all.
        if (tb_code_settles(ss.root_tb_result)) return;
        root.tb_result = TB_CODE_NONE;
    } else {
        Move tb_move = 0;
        const int r = probe_root_tablebase(pos, tb_move, ss.root_tb_moves);
        ss.tb_move = tb_move;
        const int for_side = r == TB_CODE_WIN ? TB_WIN : r == TB_CODE_LOSS ? -TB_LOSS : 0;
        ss.root_tb_score[side] = i16(for_side);
        ss.root_tb_score[side ^ 1] = i16(-for_side);
        ss.root_tb_result = r;
        if (tb_move != 0 && pos.halfmove_clock > 6 && is_legal_root_move(pos, tb_move)) {
            // Play the tablebase move without a search.
            td->counters[CNT_TB_HITS]++;
            set_thread_root_move(td, tb_move);
            td->pv[2] = 0;
            td->completed_score.store(i16(for_side), std::memory_order_relaxed);
            td->completed_depth = TB_ROOT_MOVE_DEPTH;
            td->sel_depth = 2;
            td->current_depth.store(1, std::memory_order_relaxed);
            merge_thread_result(td);
            ss.stop.store(STOP_NORMAL);
            return;
        }
        root.tb_result = r;
        runner_up_score = -MATE;
    }

    for (int d = 1; d <= LAST_ITERATION_DEPTH; d++) {
        // A MultiPV count set during the search counts from the next iteration.
        const int multipv = ss.multipv.load(std::memory_order_relaxed);
        td->iteration_multipv.store(u8(multipv), std::memory_order_relaxed);
        if (!main_thread && d > 6 && depth_limit > d && multipv == 1 && d < LAST_ITERATION_DEPTH) {
            int deeper = 0;
            for (int j = 0; j < ss.thread_count; j++) {
                const ThreadData* other = thread_table[j].load(std::memory_order_acquire);
                if (other && other->current_depth.load(std::memory_order_relaxed) >= d) deeper++;
            }
            if (deeper >= depth_skip_threshold(ss.thread_count)) d++;
        }
        td->current_depth.store(u8(d), std::memory_order_relaxed);
        if (main_thread) ss.published_iteration.store(u8(d));
        if (!main_thread) perturb_root_order(td);

        const int root_count = count_root_moves(td);
        if (multipv >= 1 && root_count > 0) {
            for (int k = 0;; k++) {
                search_root_moves(pos, side, d, k);
                const bool stopped = ss.stop.load() != STOP_RUN;
                if (main_thread && multipv > 1 && !stopped) {
                    keep_multipv_line(k, td);
                    if (k + 1 >= multipv || k + 1 >= root_count) report_multipv_lines(d, k + 1);
                } else if (main_thread && d == 1 && !stopped) {
                    print_pv_line_if_due(0, u32(k), d, td->completed_score.load(std::memory_order_relaxed), td->pv);
                }
                if (stopped || k + 1 >= multipv || k + 1 >= root_count) break;
            }
        }
        if (main_thread && multipv > 1 && engine_config.protocol == PROTOCOL_CONSOLE) send_line("");

        add_iteration_nodes(d, td);
        if (ss.stop.load() != STOP_RUN) break;

        if (td->result_kind.load(std::memory_order_relaxed) != RESULT_DROPPED) {
            if (main_thread) {
                ss.last_finished_time = ss.elapsed_time.load(std::memory_order_relaxed);
                ss.last_finished_depth.store(u8(d), std::memory_order_relaxed);
            }
            const int best = main_thread ? ss.best_score : shared_best_score();
            if (best >= mate_within(d) || best < -mate_within(d) || depth_limit <= d) break;
            // The iteration's line went out while moves were left: now that
            // all are searched it is exact. (After the last iteration the
            // closing line says so; console lines show no bounds.)
            if (main_thread && multipv == 1 && ss.best_depth == d && ss.best_line_mark != BOUND_EXACT &&
                engine_config.protocol == PROTOCOL_UCI) {
                print_pv_line_if_due(0, PV_NUMBER_SHARED, d, ss.best_score, ss.best_line);
                ss.best_line_mark = BOUND_EXACT;
            }
        }
    }

    if (main_thread) {
        // The search is over unless someone stopped it already.
        u8 running = STOP_RUN;
        ss.stop.compare_exchange_strong(running, STOP_NORMAL);
    }
}

void run_single_thread_search()
{
    // The other threads idle; reset their per-search fields so that the
    // counter sums over the thread count see this search alone.
    for (int j = 0; j < search_state.thread_count; j++) {
        if (ThreadData* td = thread_table[j].load(std::memory_order_acquire)) reset_thread_search_fields(td);
    }
    disarm_search_deadline();
    prepare_thread_for_search(0);
    run_search_driver(0);
}
