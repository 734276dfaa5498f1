// The move loop of a node: staged picking, lazy legality, late-move pruning,
// extensions in sixteenths of a ply, late-move reductions, the
// principal-variation search (PVS), history (the history heuristic) / killer
// moves / countermoves / follow-up bookkeeping and the transposition store.
#include <algorithm>

#include "bitboard.h"
#include "eval.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "pruning.h"
#include "records.h"
#include "score.h"
#include "search.h"
#include "see.h"
#include "tt.h"

namespace {

constexpr int FULL_EXTENSION = 16;     // sixteenths of a ply
constexpr int HISTORY_MAX = 8192;

inline bool stopped() { return search_state.stop.load(std::memory_order_relaxed) != STOP_RUN; }

// An enemy piece of `attackers` on a line (`rays`) through the destination,
// not on one through the origin, with nothing between it and the destination:
// the move opens a new attack on it.
inline bool new_line_attack(const Position& pos, const u64* rays, int from, int to, u64 attackers)
{
    const u64 occ = occupancy(pos);
    for (u64 c = rays[to] & attackers & ~rays[from]; c;) {
        const int q = pop_lowest_bit(c);
        if (!(between_squares[q][to] & occ)) return true;
    }
    return false;
}

// Targets on a line through the destination, not on one through the origin
// (nor the origin itself): slider_still_attacks_targets has nothing to look
// at without one, and most late moves have none, so they skip the call.
inline bool new_line_targets(const u64* rays, int from, int to, u64 targets)
{
    return (targets & rays[to] & ~rays[from] & ~square_bit(from)) != 0;
}

// Late-move pruning of a quiet, non-checking late move: true when it is
// pruned. The exchange test's (SEE) answer, when it is made, is left in
// `exchange_ok`.
bool late_move_pruned(Position& pos, const MoveEntry& e, int& exchange_ok)
{
    const Move move = e.move;
    const int from = move_from(move), to = move_to(move);
    const int type = piece_type_of(e.piece);
    if (type == KING && (to == from + 2 || to == from - 2)) return false;  // castling
    if (e.score >= 40) return !(exchange_ok = exchange_meets_threshold(pos, move));

    const int side = pos.side;
    const int them = side ^ 1;
    const u64* enemy = pos.pieces[them];
    const u64 zone = king_attacks[king_square(pos, them)];
    bool keep = false;
    switch (type) {
    case PAWN:
        keep = pawn_attacks[side][to] & (zone | enemy[KNIGHT] | enemy[BISHOP] | enemy[ROOK] | enemy[QUEEN]);
        break;
    case KNIGHT:
        keep = knight_attacks[to] & (zone | enemy[ROOK] | enemy[QUEEN]);
        break;
    case BISHOP:
        keep = new_line_attack(pos, bishop_rays, from, to, enemy[ROOK] | enemy[QUEEN]) ||
               (new_line_targets(bishop_rays, from, to, zone) &&
                slider_still_attacks_targets(pos, BISHOP, from, to, zone));
        break;
    case ROOK:
        keep = new_line_attack(pos, rook_rays, from, to, enemy[QUEEN]) ||
               (new_line_targets(rook_rays, from, to, zone) && slider_still_attacks_targets(pos, ROOK, from, to, zone));
        break;
    case QUEEN:
        keep = (new_line_targets(rook_rays, from, to, zone) || new_line_targets(bishop_rays, from, to, zone)) &&
               slider_still_attacks_targets(pos, QUEEN, from, to, zone);
        break;
    default:
        break;  // king moves are pruned
    }
    return !keep || !(exchange_ok = exchange_meets_threshold(pos, move));
}

inline void update_countermove(ThreadData* td, const Position& pos, Move last, Move move)
{
    const int to = move_to(last);
    const int i = pos.board[to] * 64 + to;
    if (move != td->countermove[i]) {
        td->countermove2[i] = td->countermove[i];
        td->countermove[i] = move;
    }
}

// The side's own previous move is the entry being searched two plies up
// (0 for a null move; ply 0's end mark above the root's children).
inline void update_followup(ThreadData* td, int ply, Move move)
{
    const MoveEntry* previous = td->ply[ply - 2].current;
    if (!previous || previous->move == NULL_MOVE || previous->move == MOVE_LIST_END) return;
    td->followup[(previous->piece & 15) * 64 + move_to(previous->move)] = move;
}

} // namespace

bool slider_still_attacks_targets(Position& pos, int type, int origin, int destination, u64 targets)
{
    const int side = pos.side;
    u64* own = pos.pieces[side];
    const u64 occ = occupancy(pos);
    const u64 from_bit = square_bit(origin);

    auto scan = [&](const u64* rays, u64 batteries) -> int {
        for (u64 c = targets & rays[destination] & ~from_bit & ~rays[origin]; c;) {
            const int q = pop_lowest_bit(c);
            if (between_squares[q][destination] & occ & ~batteries) continue;
            // Lift the mover off its origin (its sets only) for the attack test.
            own[0] ^= from_bit;
            own[type] ^= from_bit;
            const int attacked = is_square_attacked_by(pos, q, side);
            own[0] ^= from_bit;
            own[type] ^= from_bit;
            if (attacked) return true;
        }
        return false;
    };
    if ((type == ROOK || type == QUEEN) && scan(rook_rays, own[ROOK] | own[QUEEN])) return true;
    if ((type == BISHOP || type == QUEEN) && scan(bishop_rays, own[BISHOP] | own[QUEEN])) return true;
    return false;
}

int search_move_loop(Position& pos, int side, int ply, int depth, int alpha, int beta, int in_check, int node_type,
                     u16* pv)
{
    ThreadData* td = pos.owner;
    PlyRecord& pr = td->ply[ply];

    pv[ply] = 0;
    int best = -MATE;
    Move best_move = NULL_MOVE;
    pr.moves_tried = 0;
    pr.stage = PICK_HASH_MOVE;
    const u16 saved_accumulator = td->ext_accumulator;
    const int entry_alpha = alpha;
    const bool pv_node = node_type == NODE_PV;

    const bool lmp_active = search_selective && depth <= LMP_depth && !in_check && !pr.internal_deepening && !pv_node;
    const bool lmr_active = search_selective && depth >= LMR_depth && !in_check &&
                            ply + depth > td->current_depth.load(std::memory_order_relaxed) / 2;
    const int lmp_threshold = std::max(4, LMP_count * depth);
    const int table_depth = std::min(depth, 36);
    const u8(*reductions)[REDUCTION_MOVES] = pv_node ? reduction_pv : reduction_non_pv;
    const int grandparent_eval = td->ply[ply - 2].static_eval;

    const KingSafetyHint hint = king_safety_hint_in_check(pos, side, in_check);
    // Move classes are read only out of check.
    const CheckHint checks = in_check ? CheckHint{} : check_hint(pos, side);
    // Record fields that no child changes, kept in registers across the calls.
    const Move hash_move = pr.hash_move;
    const bool singular = pr.singular != 0;
    const int own_eval = pr.static_eval;
    u16 child_pv[MAX_PLY];

    while (MoveEntry* e = pick_next_move(pos, pr, in_check)) {
        const Move move = e->move;
        // Skip null entries, the hash move offered again and illegal moves.
        if (move == NULL_MOVE) continue;
        if (move == hash_move && pr.moves_tried > 0) continue;
        if (!king_safe_with_hint(pos, side, move, hint)) continue;

        // The move's class steers pruning, extension and reduction.
        const int c = in_check ? 0 : classify_move_with_hint(pos, side, *e, checks);
        pr.move_class = u16(c);
        const int tried = pr.moves_tried;

        // The exchange test (static exchange evaluation, SEE) is shared by
        // late-move pruning and the extension and reduction rules. For the
        // extension rule "the mover is worth at most the piece on the
        // destination, or the exchange value is at least -74" is exactly
        // what exchange_meets_threshold answers (its quick coarse test
        // first).
        int exchange_ok = -1;

        // Late-move pruning of quiet moves, not while the best score so far
        // is a mate against the side to move.
        if (lmp_active && best >= -MATE_BOUND && c == 0 && tried >= lmp_threshold &&
            late_move_pruned(pos, *e, exchange_ok))
            continue;
        // The child's cache entries start loading now, the table bucket
        // too unless the child is a horizon node, which does not probe.
        const u64 child_key = likely_key_after(pos, *e);
        prefetch_child_eval_entry(td, child_key, side ^ 1);
        if (depth > 1) prefetch_bucket_of_key(child_key, side ^ 1);

        auto safe_by_exchange = [&]() {
            if (exchange_ok < 0) exchange_ok = exchange_meets_threshold(pos, move);
            return exchange_ok != 0;
        };

        // Extension in sixteenths of a ply, carried down the line.
        int u = 0;
        if (move == hash_move && singular)
            u = FULL_EXTENSION;
        else if (c & MOVE_CLASS_DISCOVERED)
            u = FULL_EXTENSION;
        else if ((c & (MOVE_CLASS_CHECK | MOVE_CLASS_SEVENTH)) && safe_by_exchange())
            u = pv_node ? 16 : 8;
        else if (c & MOVE_CLASS_CAPTURE)
            u = (pv_node && ply <= 6) ? 8 : 4;
        int accumulator = saved_accumulator + u;
        int extension = 0, r = 0;
        if (accumulator >= FULL_EXTENSION) {
            extension = 1;
            accumulator -= FULL_EXTENSION;
            pr.extension = 1;
            pr.reduction = 0;
        } else {
            // Late-move reduction (LMR), never below one ply of search.
            if (lmr_active && best >= -MATE_BOUND && tried > 0) {
                int minuend;
                if (c != 0) {
                    r = safe_by_exchange() ? 0 : (c & MOVE_CLASS_DISCOVERED) ? 0 : 1;
                    minuend = depth;
                } else {
                    const int t = reductions[table_depth][std::min(tried, REDUCTION_MOVES - 1)];
                    // The exchange test decides nothing for a move of low
                    // order score while the evaluation has fallen: it is
                    // skipped there.
                    const bool holding = own_eval >= grandparent_eval - 150;
                    const bool ok = (e->score >= 40 || holding) && safe_by_exchange();
                    r = (ok && e->score >= 40) ? 0 : t;
                    if (!(ok && holding) && table_depth - r > 2 && tried > 2) r++;
                    minuend = table_depth;
                }
                if (minuend - r <= 0) r = minuend - 1;
            }
            pr.extension = 0;
            pr.reduction = u16(r);
        }
        td->ext_accumulator = u16(accumulator);

        // Play and search (principal variation search): the first move with
        // the full window, the others with a (reduced) null window and again
        // in full when they beat alpha.
        play_move(pos, move);
        const int full_depth = depth - 1 + extension;
        int v;
        if (best == -MATE) {
            v = -search_node(pos, side ^ 1, ply + 1, full_depth, -beta, -alpha, -node_type, child_pv);
        } else {
            const int n = depth + extension - r;
            if (n > 1) {
                v = -search_node(pos, side ^ 1, ply + 1, n - 1, -alpha - 1, -alpha, NODE_NON_PV, child_pv);
                if (v > alpha)
                    v = -search_node(pos, side ^ 1, ply + 1, full_depth, -beta, -alpha, -node_type, child_pv);
            } else {
                v = -search_node(pos, side ^ 1, ply + 1, full_depth, -beta, -alpha, -node_type, child_pv);
            }
        }
        // Take it back; nothing is kept from an interrupted search.
        take_back_move(pos);
        if (stopped()) {
            td->ext_accumulator = saved_accumulator;
            return 0;
        }
        pr.moves_tried++;

        // History of quiet moves (the history heuristic). "Quiet" is read
        // from the entry: the code it found on the destination is 0, so
        // en-passant captures and promotions by push keep a history too.
        if (e->captured == 0 && !in_check) {
            i16& h = td->history[e->piece][move_to(move)];
            if (v <= alpha) {
                h = i16(h - h / 128);
            } else {
                int step = (HISTORY_MAX - h) / 64;
                if (depth > 1) step *= 2;
                h = i16(h + step);
            }
        }

        // Best move and line; a score at beta cuts the loop off.
        if (v > best) {
            best_move = move;
            pv[ply] = move;
            pv[ply + 1] = 0;
            if (v >= beta) {
                best = v;
                break;
            }
            if (v > alpha) {
                copy_child_line(pv, child_pv, ply + 1);
                alpha = v;
            }
            best = v;
        }
    }

    // Mated or stalemated.
    if (pr.moves_tried == 0) best = in_check ? mated_in(ply) : 0;

    if (depth >= 0) store_hash_entry(pos, ply, depth, best, best_move, entry_alpha, beta);

    // A quiet move that cut off: killer moves, evasion, countermove,
    // follow-up.
    if (best >= beta && best_move != NULL_MOVE && pos.board[move_to(best_move)] == 0) {
        const Move last = td->last_move;
        if (in_check) {
            pr.evasion_move = best_move;
            if (last != NULL_MOVE) update_countermove(td, pos, last, best_move);
        } else if (last == NULL_MOVE) {
            pr.killer[0] = best_move;
            update_followup(td, ply, best_move);
        } else {
            if (best_move != pr.killer[1]) {
                pr.killer[2] = pr.killer[1];
                pr.killer[1] = best_move;
            }
            update_countermove(td, pos, last, best_move);
            update_followup(td, ply, best_move);
        }
    }

    pr.best_move = best_move;
    pr.best_score = i16(best);
    td->ext_accumulator = saved_accumulator;
    return best;
}
