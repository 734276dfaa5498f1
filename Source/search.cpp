// The node search: bookkeeping and cheap exits first, then the evaluation
// and the pruning that depends on it, internal iterative deepening, the
// singular test (singular extensions) and finally the move loop
// (moveloop.cpp).
#include "search.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "bitboard.h"
#include "draw.h"
#include "eval.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "params.h"
#include "pruning.h"
#include "records.h"
#include "score.h"
#include "see.h"
#include "timecontrol.h"
#include "tt.h"

#include "tablebase/tablebase.h"

bool search_selective = true;

// A node at ply p clears the killers of ply p + 2; the deepest node is at ply
// MAX_SEARCH_PLY.
static_assert(MAX_SEARCH_PLY + 2 < MAX_PLY, "ply records past the last one");

namespace {

// A node whose move list would start this close to the end of the move stack
// is treated as a leaf: one more full list (at most about 250 entries with
// the hash-move slot and end marks) must always fit.
constexpr int MOVE_STACK_RESERVE = 300;

inline bool stopped() { return search_state.stop.load(std::memory_order_relaxed) != STOP_RUN; }

// Limited strength: hold the thread back while its node rate is above the
// target. The elapsed time comes from the main thread's clock tick; when the
// search runs on the main thread itself nobody refreshes it, so a clock that
// has not moved for 50 pauses releases the thread instead of holding it
// forever. A held thread looks at the hard limit at every pause: its node
// count, which times its other looks, hardly moves here, and the main
// thread's tick may be late on a busy machine.
void throttle_node_rate(const ThreadData* td)
{
    int stale = 0;
    double last = search_state.elapsed_time.load(std::memory_order_relaxed);
    for (;;) {
        const double target = search_state.target_rate.load(std::memory_order_relaxed);
        if (target >= 1e9) return;
        if (search_state.published_iteration.load(std::memory_order_relaxed) < 2) return;
        if (stopped()) return;
        double elapsed = search_state.elapsed_time.load(std::memory_order_relaxed);
        if (elapsed != last) {
            last = elapsed;
            stale = 0;
        } else if (stale >= 50) {
            return;
        }
        if (elapsed > 0 && double(td->counters[CNT_NODES]) / elapsed <= target) return;
        check_search_deadline();
        if (stopped()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stale++;
    }
}

inline bool move_is_null(const MoveEntry* e) { return e != nullptr && e->move == NULL_MOVE; }

} // namespace

int probe_tablebase_in_search(const Position& pos, int depth)
{
    const std::atomic<i16>* limits = search_state.probe_depths;
    if (depth < limits[0].load(std::memory_order_relaxed)) return TB_CODE_NONE;
    const int pieces = count_bits(occupancy(pos));
    if (u32(pieces) > tb_largest_piece_count.load(std::memory_order_relaxed)) return TB_CODE_NONE;
    if (pieces == 6 && depth < limits[1].load(std::memory_order_relaxed)) return TB_CODE_NONE;
    if (pieces >= 7 && depth < limits[2].load(std::memory_order_relaxed)) return TB_CODE_NONE;
    if (pos.castling) return TB_CODE_NONE;
    // The search probes with a clock of 0: the fifty-move rule is the
    // search's own business (detect_draw).
    return tb_probe_wdl_code(tb_position_from_engine(pos, 0));
}

namespace {

// The squares `colour` attacks over the position's occupancy: those where
// the exchange evaluation finds an attacker of that colour.
u64 squares_attacked_by(const Position& pos, int colour)
{
    const u64* own = pos.pieces[colour];
    const u64 occ = occupancy(pos);
    u64 set = pawn_attack_set(colour, own[PAWN]) | king_attacks[king_square(pos, colour)];
    for (u64 s = own[KNIGHT]; s;) set |= knight_attacks[pop_lowest_bit(s)];
    for (u64 s = own[BISHOP] | own[QUEEN]; s;) set |= bishop_attack_set(pop_lowest_bit(s), occ);
    for (u64 s = own[ROOK] | own[QUEEN]; s;) set |= rook_attack_set(pop_lowest_bit(s), occ);
    return set;
}

} // namespace

bool pieces_safe_from_exchange(Position& pos, int side, int score, int bound)
{
    // A gain of at least 1 that brings the score down to bound + 99. A piece
    // no enemy piece attacks loses nothing, so only attacked ones are tested.
    const int fatal_gain = std::max(1, score - bound - 99);
    const u64 occ = occupancy(pos);
    u64 pieces = pos.pieces[side][0] & ~pos.pieces[side][KING] & squares_attacked_by(pos, side ^ 1);
    while (pieces) {
        const int sq = pop_lowest_bit(pieces);
        if (exchange_value_at_least(pos, side ^ 1, NO_SQUARE, sq, occ, fatal_gain)) return false;
    }
    return true;
}

bool probcut_capture_test(Position& pos, int ply, int depth, int bound)
{
    ThreadData* td = pos.owner;
    PlyRecord& pr = td->ply[ply];
    const int side = pos.side;
    MoveEntry* first = pr.list_start;
    MoveEntry* end = generate_captures(pos, side, first);
    end = generate_promotions(pos, side, 1, end);
    end->move = MOVE_LIST_END;
    td->ply[ply + 1].list_start = end + 1;
    td->ply[ply + 2].list_start = end + 2;

    for (MoveEntry* e = first; e != end; e++) {
        if (e->move & (PROMO_KNIGHT | PROMO_BISHOP | PROMO_ROOK))
            e->score = ORDER_UNDER_PROMOTION;
        else
            e->score = capture_order_score(*e);
    }

    u16 child_pv[MAX_PLY];
    for (MoveEntry* current = first; current != end; current++) {
        // Selection: the highest remaining score, the earliest on ties.
        MoveEntry* best = current;
        for (MoveEntry* e = current + 1; e != end; e++)
            if (e->score > best->score) best = e;
        std::swap(*best, *current);

        const Move move = current->move;
        if (!king_safe_after_nonzero_move(pos, side, move)) continue;
        if (!exchange_value_at_least(pos, side, move_from(move), move_to(move), occupancy(pos), 100)) continue;
        pr.current = current;
        play_move(pos, move);
        const int v = -search_node(pos, side ^ 1, ply + 1, depth - 1, -bound, 1 - bound, -NODE_NON_PV, child_pv);
        take_back_move(pos);
        if (v >= bound) return true;
    }
    return false;
}

bool singular_move_test(Position& pos, int ply, int depth, int bound, int in_check, Move move)
{
    const int side = pos.side;
    if (!king_safe_after_nonzero_move(pos, side, move)) return false;
    ThreadData* td = pos.owner;
    td->ply[ply].stage = PICK_HASH_MOVE;
    u16 child_pv[MAX_PLY];
    while (MoveEntry* e = pick_next_move(pos, in_check)) {
        const Move m = e->move;
        if (m == move || !king_safe_after_nonzero_move(pos, side, m)) continue;
        play_move(pos, m);
        const int v = -search_node(pos, side ^ 1, ply + 1, depth - 1, -bound - 1, -bound, -NODE_NON_PV, child_pv);
        take_back_move(pos);
        if (v > bound || stopped()) return false;
    }
    return true;
}

int search_node(Position& pos, int side, int ply, int depth, int alpha, int beta, int node_type, u16* pv)
{
    ThreadData* td = pos.owner;

    // Count the node, hold it back under a strength limit, stop at the node
    // limit.
    td->counters[CNT_NODES]++;
    if (depth > 0 && search_state.target_rate.load(std::memory_order_relaxed) < 1e9) throttle_node_rate(td);
    if (td->counters[CNT_NODES] > td->node_limit && td->completed_depth > 1)
        search_state.stop.store(STOP_NORMAL, std::memory_order_relaxed);
    if ((td->counters[CNT_NODES] & 1023) == 0) check_search_deadline();
    if (stopped()) return 0;
    // The table bucket and the evaluation's cache entries start loading now,
    // to arrive by the evaluation and the probe after it (the checks below
    // are work the loads overlap).
    const u64 key = full_key(pos);
    if (depth > 0) prefetch_bucket_of_key(key, pos.side);
    prefetch_eval_entries(td, pos, key);

    // Selective depth. Mate-distance bounds: nothing here does better than a
    // mate on the next ply, or worse than being mated on this one.
    if (td->sel_depth < ply) td->sel_depth = u8(ply);
    alpha = std::max(alpha, mated_in(ply));
    beta = std::min(beta, mate_in(ply + 1));
    if (alpha >= beta) return alpha;

    // A fresh ply record and line; the grandchildren start without killers.
    PlyRecord& pr = td->ply[ply];
    pr.node_type = i16(node_type);
    pr.drawn = 0;
    pr.alpha = i16(alpha);
    pr.beta = i16(beta);
    pr.extension = 0;
    pr.reduction = 0;
    pr.internal_deepening = 0;
    pr.singular = 0;
    pr.threat[WHITE] = pr.threat[BLACK] = 0;
    pr.moves_tried = 0;
    pr.tb_result = TB_CODE_NONE;
    pr.hash_move = NULL_MOVE;
    PlyRecord& grandchild = td->ply[ply + 2];
    grandchild.killer[0] = grandchild.killer[1] = grandchild.killer[2] = NULL_MOVE;
    grandchild.evasion_move = NULL_MOVE;
    pv[ply] = 0;
    pv[ply + 1] = 0;

    // Check, then draws: a drawn node needs nothing else.
    const int in_check = is_square_attacked_by(pos, king_square(pos, side), side ^ 1);
    const bool stack_full = pr.list_start - td->move_stack > MOVE_STACK_SIZE - MOVE_STACK_RESERVE;
    const int draw_mode = ply < 4 ? DRAW_MODE_TWO_REPEATS : DRAW_MODE_ONE_REPEAT;
    // (The fifty-move test generates moves at this ply; with the move stack
    // nearly full only the repetition part may run.)
    if (stack_full && pos.halfmove_clock >= FIFTY_MOVE_PLIES) {
        if (detect_repetition(pos, draw_mode) != NO_DRAW) return 0;
    } else if (detect_draw_quickly(pos, in_check, draw_mode) != NO_DRAW) {
        return 0;
    }

    // Below a tablebase node, a child that does better than its parent's
    // result allows refutes the move into it. Right below the root the
    // root's own code for the move judges it, which knows the root's clock
    // (the probes here see a clock of 0); below a root the tables cannot
    // tell, only that code does.
    const int parent_tb = td->ply[ply - 1].tb_result;
    if (parent_tb != TB_CODE_NONE) {
        const RootMoveCodes& codes = search_state.root_tb_moves;
        const int move_code =
            ply == 2 && codes.count > 0 ? root_move_code(codes, td->ply[1].current->move) : TB_CODE_NONE;
        if (move_code != TB_CODE_NONE && move_code != parent_tb) return beta;
        if (parent_tb != TB_CODE_UNSURE) {
            const int r = probe_tablebase_in_search(pos, depth);
            pr.tb_result = r;
            if (r != TB_CODE_NONE) {
                td->counters[CNT_TB_HITS]++;
                if (move_code == TB_CODE_NONE && r > TB_CODE_WIN - parent_tb) return beta;
            }
        }
    }
    // Right after a capture or pawn move, when the root is not itself a
    // tablebase position the tables settle, they settle the node.
    if (pos.halfmove_clock == 0 && !tb_code_settles(search_state.root_tb_result)) {
        const int r = probe_tablebase_in_search(pos, depth);
        pr.tb_result = r;
        if (r != TB_CODE_NONE) {
            td->counters[CNT_TB_HITS]++;
            const int v = r == TB_CODE_WIN ? tb_win_in(ply) : r == TB_CODE_LOSS ? tb_loss_in(ply) : 0;
            return v <= alpha ? alpha : v;
        }
    }

    const int e = evaluate_position(td, side, ply, in_check);
    pr.depth = i16(depth);
    pr.static_eval = i16(e);

    // Leaves: a drawn position, the deepest ply or a full move stack, and
    // the horizon, where the quiescence search takes over. Its stand-pat
    // cut-off is tested here first: it ends a third of those nodes, which
    // then skip the call.
    if (pr.drawn && !in_check) return e;
    if (ply >= MAX_SEARCH_PLY || stack_full) return in_check ? 0 : e;
    if (depth < 1 && !in_check)
        return pr.static_eval >= beta ? beta : quiescence_search(pos, side, ply, depth, alpha, beta, node_type, pv);

    // The transposition table: a hit gives the hash move and a score
    // relative to this ply.
    td->counters[CNT_HASH_PROBES]++;
    TTEntry h;
    probe_hash_table(pos, h);
    const bool hit = h.depth >= TT_MISS_BELOW;
    int h_score = -MATE;
    if (hit) {
        td->counters[CNT_HASH_HITS]++;
        pr.hash_move = h.move;
        h_score = score_from_table(h.score, ply);

        // Hash cuts: an entry deep enough narrows the window; at PV nodes
        // only an exact entry, and not near the root.
        if (h.depth >= depth) {
            if (node_type != NODE_PV) {
                if (h_score > alpha && h.bound != BOUND_UPPER) {
                    if (h_score >= beta) return h_score;
                    alpha = h_score;
                } else if (h_score < beta && h.bound != BOUND_LOWER) {
                    beta = h_score;
                }
                if (alpha >= beta) return alpha;
            } else if (h.bound == BOUND_EXACT && ply >= 12) {
                alpha = std::max(alpha, h_score);
                beta = std::min(beta, h_score);
                if (alpha >= beta) return alpha;
            }
        }
    }

    // What the entry permits (a miss permits everything). An entry that
    // says the node fails low (score at most alpha, not a lower bound) rules
    // out the null move, static-evaluation pruning and the capture cut test;
    // futility needs an entry below beta or an upper bound.
    const bool fail_low_hint = hit && h_score <= alpha && h.bound != BOUND_LOWER;
    const bool futility_ok = !hit || h_score < beta || h.bound == BOUND_UPPER;
    const bool non_pv = node_type != NODE_PV;
    const int own_units = pos.piece_units[side];
    const int their_units = pos.piece_units[side ^ 1];

    if (search_selective && !in_check && non_pv) {
        // Futility pruning: hopelessly below alpha, only tactics can help.
        if (depth <= FP_depth && e <= alpha - FP_margin * depth && futility_ok && their_units > 3) {
            const int q = quiescence_search(pos, side, ply, depth, alpha, beta, node_type, pv);
            if (q <= alpha) return q;
        }
        // Static-evaluation pruning (reverse futility pruning): far enough
        // above beta, and no threat or no piece en prise that would undo it.
        if (depth <= SEP_depth && !fail_low_hint && own_units >= 4) {
            const int threat = i16(pr.threat[side]) / 2;
            if (e >= beta + threat + 25) {
                if (e >= beta + SEP_margin * depth) return beta;
                if (depth < 3 && pieces_safe_from_exchange(pos, side, e, beta)) return beta;
            }
        }
        // Capture cut (ProbCut): a winning capture that holds beta + 125 in
        // a shallow search.
        if (depth > 4 && e > beta + 24 && !fail_low_hint && own_units > 3) {
            if (probcut_capture_test(pos, ply, depth - 3, beta + 125)) return beta;
        }
        // Null-move pruning, never twice in a row within two plies.
        if (depth >= NMP_depth && e > beta + 11 && !fail_low_hint && own_units >= 1 &&
            !move_is_null(td->ply[ply - 1].current) && !move_is_null(td->ply[ply - 2].current)) {
            const int reduction = (own_units > 5 && depth >= 8) ? 4 : 3;
            MoveEntry* slot = pr.list_start;
            slot[0].move = NULL_MOVE;
            slot[1].move = MOVE_LIST_END;
            pr.current = slot;
            td->ply[ply + 1].list_start = slot + 2;
            td->ply[ply + 2].list_start = slot + 3;
            u16 child_pv[MAX_PLY];
            play_null_move(pos);
            const int v = -search_node(pos, side ^ 1, ply + 1, std::max(depth - reduction, 1) - 1, -beta, -alpha,
                                       -node_type, child_pv);
            take_back_null_move(pos);
            if (v >= beta) {
                if (depth < 6) return beta;
                // Verification with a reduced move loop at deep nodes.
                return search_move_loop(pos, side, ply, depth - 5, alpha, beta, 0, node_type, pv);
            }
        }
    }

    // What the table says about this node's depth and value, for internal
    // deepening and the singular test.
    int hd = 0, hv = e;
    if (hit && h.move != NULL_MOVE && h.depth >= 1) {
        hd = h.depth;
        hv = h.bound == BOUND_UPPER ? alpha : h_score;
    }

    // Internal iterative deepening finds a hash move where the table has
    // none deep enough; the singular test (singular extensions) extends a
    // hash move no other move comes near.
    const u8 singular_count = td->singular_count;
    if (depth > 3) {
        const int id_depth = node_type == NODE_PV ? depth - 3 : std::max(depth, 6) - 5;
        if (hd < id_depth && e >= alpha - 199) {
            pr.internal_deepening = 1;
            hv = search_move_loop(pos, side, ply, id_depth, alpha, beta, in_check, node_type, pv);
            pr.internal_deepening = 0;
            if (hv > alpha)
                pr.hash_move = pv[ply];
            else if (hv < -MATE_BOUND)
                return alpha;
            if (hv >= MATE_BOUND && hv >= beta) return beta;
        }
        if (depth > 7 && pr.hash_move != NULL_MOVE && params.SingularExtension != 0 && hv >= beta && hd > 0) {
            if (singular_move_test(pos, ply, depth - 7, beta - 50, in_check, pr.hash_move)) {
                pr.singular = 1;
                td->singular_count++;
            }
        }
    }

    // The moves; the result is held inside the window.
    const int v = search_move_loop(pos, side, ply, depth, alpha, beta, in_check, node_type, pv);
    td->singular_count = singular_count;
    return v <= alpha ? alpha : std::min(v, beta);
}

// Every difference of the root's children (mate bounds -9998 / 9997, draw
// mode 3, tablebase scores 9797 / -9798, the null-move history through the
// root's move and ply 0's record) is what the general node gives at ply 2.
int search_root_child(Position& pos, int side, int depth, int alpha, int beta, int node_type, u16* pv)
{
    return search_node(pos, side, 2, depth, alpha, beta, node_type, pv);
}
