#include "root.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bitboard.h"
#include "driver.h"
#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "records.h"
#include "report.h"
#include "score.h"
#include "search.h"
#include "see.h"
#include "threads.h"
#include "tt.h"

i32 runner_up_score = -MATE;

namespace {

// Fail-high and fail-low bookkeeping of a root move: the clock reads the
// result kind, the score and the move to judge the search's stability.
void record_root_bound(ThreadData* td, int kind, int score, Move move)
{
    td->result_kind.store(u8(kind), std::memory_order_relaxed);
    td->completed_score.store(i16(score), std::memory_order_relaxed);
    set_thread_root_move(td, move);
    td->pv[2] = 0;
}

// The line of a root move that left the window (record_root_bound made its
// move the line's first), printed by thread 0 in the narrow-window mode when
// it is due: a fail high shows a lower bound, a fail low an upper one.
void print_bound_line(ThreadData* td, int d)
{
    const u8 bound = td->result_kind.load(std::memory_order_relaxed) == RESULT_FAIL_HIGH ? BOUND_LOWER : BOUND_UPPER;
    print_pv_line_if_due(td->index, PV_NUMBER_SHARED, d, td->completed_score.load(std::memory_order_relaxed), td->pv,
                         bound);
}

// "info depth ... currmove" lines of thread 0 once the search is older than
// 3.5 seconds.
void print_progress(ThreadData* td, const MoveEntry* entry, bool first_of_iteration)
{
    SpinLockGuard guard(output_lock);
    sum_thread_counters();
    char text[160];
    if (first_of_iteration) {
        sample_hash_fill();
        format_progress_line(search_state.published_iteration.load(), text, sizeof text);
        send_line(text);
    }
    if (td->iteration_multipv.load(std::memory_order_relaxed) == 1) {
        format_currmove_line(entry->move, td->ply[1].moves_tried + 1, text, sizeof text);
        send_line(text);
    }
}

}  // namespace

int aspiration_delta(int depth, int prev, bool narrow_mode)
{
    if (!narrow_mode && depth == 1) return MATE;  // the whole scale
    if (!narrow_mode && depth == 2) return 100;
    return std::max(15, (15 - depth) * 4) + (std::abs(prev) >> 4);
}

int interrupted_move_score(bool main_thread, int recorded, int shared_best, int iteration_best)
{
    if (main_thread && iteration_best > -MATE && recorded > shared_best + 25) return recorded;
    return -MATE;
}

void search_root_moves(Position& pos, int side, int depth, int pv_number)
{
    SearchState& ss = search_state;
    ThreadData* td = pos.owner;
    PlyRecord& root = td->ply[1];
    const bool main_thread = td->index == 0;

    td->ext_accumulator = 0;
    root.moves_tried = 0;
    root.depth = i16(depth);
    const int in_check = is_square_attacked_by(pos, king_square(pos, side), side ^ 1);
    const int multipv = td->iteration_multipv.load(std::memory_order_relaxed);
    const bool narrow = main_thread && multipv == 1 && pv_number == 0 && depth > 3;

    const int prev = td->completed_score.load(std::memory_order_relaxed);
    const int delta = aspiration_delta(depth, prev, narrow);
    int alpha_w = prev - delta;
    if (alpha_w < -MATE_BOUND) alpha_w = -MATE;
    int beta_w = prev + delta;
    if (beta_w >= MATE_BOUND) beta_w = MATE;
    int best = -MATE;

    MoveEntry* const list = root.list_start;
    u16 saved_pv[MAX_PLY];
    u16 child_pv[MAX_PLY];
    for (MoveEntry* entry = list + pv_number; entry->move != MOVE_LIST_END; entry++) {
        // Helpers drop iterations that thread 0 has already finished.
        if (!main_thread && depth < ss.last_finished_depth.load(std::memory_order_relaxed) &&
            ss.elapsed_time.load(std::memory_order_relaxed) >= 0.025) {
            td->result_kind.store(RESULT_DROPPED, std::memory_order_relaxed);
            return;
        }

        // Selection: the highest order score among the rest, earliest on ties.
        MoveEntry* chosen = entry;
        for (MoveEntry* e = entry + 1; e->move != MOVE_LIST_END; e++)
            if (e->score > chosen->score) chosen = e;
        std::swap(*entry, *chosen);
        const Move move = entry->move;

        std::memcpy(saved_pv, td->pv, sizeof saved_pv);
        const int saved_score = td->completed_score.load(std::memory_order_relaxed);

        if (main_thread && pv_number == 0 && engine_config.protocol == PROTOCOL_UCI) {
            const double elapsed = ss.elapsed_time.load(std::memory_order_relaxed);
            if (elapsed > 3.5 && elapsed > engine_config.output_delay)
                print_progress(td, entry, entry == list + pv_number);
        }

        td->result_kind.store(RESULT_NONE, std::memory_order_relaxed);
        root.current = entry;
        const int c = classify_move(pos, side, *entry);
        root.move_class = u16(c);
        entry->score = i16(-11000 - root.moves_tried);  // the next iteration keeps the search order

        // Extension.
        td->ext_accumulator = 0;
        int D = depth;
        const int mover_coarse = coarse_piece_value[piece_type_of(entry->piece)];
        const int victim_coarse = coarse_piece_value[piece_type_of(entry->captured)];
        if ((move == root.hash_move && root.singular) || (c & MOVE_CLASS_DISCOVERED) ||
            ((c & (MOVE_CLASS_CHECK | MOVE_CLASS_SEVENTH)) && mover_coarse <= victim_coarse)) {
            D = depth + 1;
        } else if (c & (MOVE_CLASS_CHECK | MOVE_CLASS_SEVENTH)) {
            const int exchange =
                exchange_value_recursive(pos, side, move_from(move), move_to(move), occupancy(pos), 0);
            const int u = exchange >= EXCHANGE_THRESHOLD ? 16 : (c & MOVE_CLASS_CAPTURE) ? 8 : 0;
            if (u > 15) D = depth + 1;
            else td->ext_accumulator = u16(u);
        } else if (c & MOVE_CLASS_CAPTURE) {
            td->ext_accumulator = 8;
        }
        root.extension = D > depth;

        // Reduction of late quiet moves at high depth (late-move reduction).
        int R = 0;
        if (D == depth && multipv == 1 && depth >= 8 && root.moves_tried >= 6 && best >= prev - 34 &&
            best >= -MATE_BOUND && !in_check && c == 0 && pos.piece_units[side] > 0 && pos.pieces[side][PAWN] != 0)
            R = 1;
        root.reduction = u16(R);

        play_move(pos, move);
        int v;
        int bound;
        child_pv[2] = 0;
        if (best == -MATE || (depth == 1 && ss.target_rate.load(std::memory_order_relaxed) > 15000)) {
            // Aspiration window, widened on failure.
            v = -search_root_child(pos, side ^ 1, D - 1, -beta_w, -alpha_w, NODE_PV, child_pv);
            if ((v <= alpha_w || v >= beta_w) && ss.stop.load() == STOP_RUN) {
                int w = delta;
                do {
                    w = std::max(25, 2 * w);
                    if (v >= beta_w) {
                        record_root_bound(td, RESULT_FAIL_HIGH, v, move);
                        beta_w += w;
                    } else {
                        record_root_bound(td, RESULT_FAIL_LOW, v, move);
                        alpha_w -= w;
                    }
                    if (narrow) print_bound_line(td, depth);
                    if (alpha_w < -MATE_BOUND) alpha_w = -MATE;
                    if (beta_w >= MATE_BOUND) beta_w = MATE;
                    child_pv[2] = 0;
                    v = -search_root_child(pos, side ^ 1, D - 1, -beta_w, -alpha_w, NODE_PV, child_pv);
                } while ((v <= alpha_w || v >= beta_w) && ss.stop.load() == STOP_RUN);
            }
            bound = alpha_w;
        } else {
            // Null window, then widening re-searches of a fail high (principal
            // variation search).
            const int null_beta = best + 1 >= MATE_BOUND ? MATE : best + 1;
            v = -search_root_child(pos, side ^ 1, D - R - 1, -null_beta, -best, NODE_NON_PV, child_pv);
            if (v > best && ss.stop.load() == STOP_RUN) {
                record_root_bound(td, RESULT_FAIL_HIGH, v, move);
                if (main_thread) ss.easy_move.store(EASY_NONE, std::memory_order_relaxed);
                int hi = best + 1;
                int w = 1;
                for (;;) {
                    w = std::max(25, 2 * w);
                    hi += w;
                    if (hi >= MATE_BOUND) hi = MATE;
                    child_pv[2] = 0;
                    v = -search_root_child(pos, side ^ 1, D - 1, -hi, -best, NODE_PV, child_pv);
                    if (v < hi || ss.stop.load() != STOP_RUN) break;
                    record_root_bound(td, RESULT_FAIL_HIGH, v, move);
                    if (main_thread) ss.easy_move.store(EASY_NONE, std::memory_order_relaxed);
                    if (narrow) print_bound_line(td, depth);
                }
            }
            bound = best < -MATE_BOUND ? -MATE : best;
        }
        take_back_move(pos);

        const int recorded = td->completed_score.load(std::memory_order_relaxed);
        td->result_kind.store(RESULT_NONE, std::memory_order_relaxed);
        root.moves_tried++;
        set_thread_root_move(td, saved_pv[1]);
        std::memcpy(td->pv + 2, saved_pv + 2, sizeof(u16) * (MAX_PLY - 2));
        td->pv[0] = saved_pv[0];
        td->completed_score.store(i16(saved_score), std::memory_order_relaxed);

        int score = v;
        const bool cut_short = ss.stop.load() != STOP_RUN;
        if (cut_short) {
            // Thread 0 is the only writer of the shared best score.
            score = interrupted_move_score(main_thread, recorded, main_thread ? ss.best_score : 0, best);
        }

        bool new_best = false;
        if (score > bound) {
            entry->score = i16(score);
            if (main_thread && score > runner_up_score) {
                if (best > -MATE && best >= score) {
                    runner_up_score = score;
                } else {
                    if (best > -MATE) runner_up_score = best;
                    new_best = true;
                }
            } else {
                new_best = score > best;
            }
        }

        if (new_best) {
            best = score;
            td->completed_score.store(i16(score), std::memory_order_relaxed);
            set_thread_root_move(td, move);
            td->completed_depth = u8(depth);
            copy_child_line(td->pv, child_pv, 2);
            // A score taken from a search cut short is the fail high it had
            // recorded; and until every move is searched, the best so far is
            // only a lower bound of the iteration's result.
            if (main_thread)
                merge_thread_result(td, cut_short ? BOUND_LOWER : BOUND_EXACT,
                                    (entry + 1)->move != MOVE_LIST_END);
            // The new best goes to the front of this line's part of the list.
            MoveEntry moved = *entry;
            std::memmove(list + pv_number + 1, list + pv_number,
                         sizeof(MoveEntry) * size_t(entry - (list + pv_number)));
            list[pv_number] = moved;
        }

        if (ss.stop.load() != STOP_RUN) return;
    }

    if (main_thread && pv_number == 0 && multipv == 1 && depth >= 7) {
        u8 easy = EASY_NONE;
        if (root.moves_tried == 1) easy = EASY_ONLY_MOVE;
        else if (depth >= 12 && depth - 5 > ss.last_change_depth && best > runner_up_score + 200 &&
                 best > root.static_eval + 200)
            easy = EASY_CLEAR_BEST;
        ss.easy_move.store(easy, std::memory_order_relaxed);
    }
}
