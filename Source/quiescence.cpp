// The quiescence search: stand pat, then captures and queen promotions by
// most valuable victim, least valuable attacker (MVV/LVA), then (first
// quiescence ply only) quiet checks and pushes to the seventh rank. Moves
// are searched by search_node, which counts the node, finds draws,
// evaluates the child and comes back here while the child is not in check.
#include <algorithm>

#include "bitboard.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "records.h"
#include "search.h"
#include "see.h"

namespace {

// Stages of the ply record while the quiescence search works on it.
constexpr u16 QS_GENERATE_CAPTURES = 0;
constexpr u16 QS_CAPTURES = 3;
constexpr u16 QS_GENERATE_CHECKS = 4;
constexpr u16 QS_CHECKS = 7;

inline MoveEntry* add_quiet(MoveEntry* list, int from, int to, int piece)
{
    list->move = make_move(from, to);
    list->score = 100;
    list->piece = u8(piece);
    list->captured = 0;
    return list + 1;
}

inline MoveEntry* add_targets(MoveEntry* list, int from, u64 targets, int piece)
{
    while (targets) list = add_quiet(list, from, pop_lowest_bit(targets), piece);
    return list;
}

// Quiet checks of `side`, then pushes to the seventh rank, in piece-list
// order with targets lowest square first.
MoveEntry* generate_quiet_checks(const Position& pos, int side, MoveEntry* list)
{
    const int them = side ^ 1;
    const int king = king_square(pos, them);
    const u64 occ = occupancy(pos);
    const u64 empty = ~occ;
    const int push = pawn_push[side];
    const int pawn = piece_code(PAWN, side);

    // The pawn loops run only when some pawn qualifies: a checking push ends
    // on a square from which a pawn attacks the king.
    const u64 pawns = pos.pieces[side][PAWN];
    const u64 checking_pushes = pawn_attacks[them][king] & empty;
    if (pawns & (side == WHITE ? checking_pushes >> 8 : checking_pushes << 8)) {
        for (const u8* sq = pos.lists[side][PAWN]; *sq != NO_SQUARE; sq++) {
            const int to = *sq + push;
            if ((empty & square_bit(to)) && (pawn_attacks[side][to] & square_bit(king)))
                list = add_quiet(list, *sq, to, pawn);
        }
    }
    const int knight = piece_code(KNIGHT, side);
    for (const u8* sq = pos.lists[side][KNIGHT]; *sq != NO_SQUARE; sq++)
        list = add_targets(list, *sq, knight_attacks[*sq] & empty & knight_attacks[king], knight);

    const u32 material = pos.material_key[side];
    const bool has_queen = (material & 0xF0000) != 0;
    const bool has_bishop = (material & 0xF00) != 0;
    const bool has_rook = (material & 0xF000) != 0;
    const u64 diagonal_checks = (has_bishop || has_queen) ? bishop_attack_set(king, occ) & empty : 0;
    const u64 straight_checks = (has_rook || has_queen) ? rook_attack_set(king, occ) & empty : 0;
    const int bishop = piece_code(BISHOP, side), rook = piece_code(ROOK, side), queen = piece_code(QUEEN, side);
    if (diagonal_checks)
        for (const u8* sq = pos.lists[side][BISHOP]; *sq != NO_SQUARE; sq++)
            list = add_targets(list, *sq, bishop_attack_set(*sq, occ) & diagonal_checks, bishop);
    if (straight_checks)
        for (const u8* sq = pos.lists[side][ROOK]; *sq != NO_SQUARE; sq++)
            list = add_targets(list, *sq, rook_attack_set(*sq, occ) & straight_checks, rook);
    if (diagonal_checks | straight_checks)
        for (const u8* sq = pos.lists[side][QUEEN]; *sq != NO_SQUARE; sq++)
            list = add_targets(list, *sq,
                               (bishop_attack_set(*sq, occ) | rook_attack_set(*sq, occ)) &
                                   (diagonal_checks | straight_checks),
                               queen);

    // Pushes from the sixth to the seventh rank, checking or not. A push that
    // checks is already in the list from the first pass and is not repeated.
    const u64 sixth_rank = side == WHITE ? rank_mask[5] : rank_mask[2];
    if (!(pawns & sixth_rank)) return list;
    for (const u8* sq = pos.lists[side][PAWN]; *sq != NO_SQUARE; sq++) {
        if (!(square_bit(*sq) & sixth_rank)) continue;
        const int to = *sq + push;
        if (!(empty & square_bit(to))) continue;
        if (pawn_attacks[side][to] & square_bit(king)) continue;
        list = add_quiet(list, *sq, to, pawn);
    }
    return list;
}

} // namespace

int quiescence_search(Position& pos, int side, int ply, int depth, int alpha, int beta, int node_type, u16* pv)
{
    ThreadData* td = pos.owner;
    PlyRecord& pr = td->ply[ply];

    // Stand pat: the side to move need not capture at all.
    const int e = pr.static_eval;
    if (e >= beta) return beta;
    int best = std::max(alpha, e);

    // Delta margin: tighter at non-PV nodes from the horizon on.
    const int margin = (node_type != NODE_PV && depth <= 0) ? 150 : 250;

    // Captures and queen promotions, ordered by victim, then attacker
    // (MVV/LVA).
    pr.stage = QS_GENERATE_CAPTURES;
    MoveEntry* list = pr.list_start;
    MoveEntry* end = generate_captures(pos, side, list);
    end = generate_promotions(pos, side, 0, end);
    end->move = MOVE_LIST_END;
    td->ply[ply + 1].list_start = end + 1;
    td->ply[ply + 2].list_start = end + 2;
    for (MoveEntry* e2 = list; e2 != end; e2++)
        e2->score = capture_order_score(*e2);
    pr.stage = QS_CAPTURES;

    const int them = side ^ 1;
    const u64 enemy_pawns = pos.pieces[them][PAWN];
    u16 child_pv[MAX_PLY];
    // The check test's and the legality test's facts of this node, each
    // gathered on its first use (the quiescence search is never in check).
    CheckHint checks;
    checks.enemy_king = NO_SQUARE;
    KingSafetyHint safety;
    safety.king = NO_SQUARE;

    // Trying one entry: delta pruning and exchange (SEE) pruning, legality,
    // search. Returns true on a cut-off with its score in `cut`. The check
    // prediction exempts a move from both kinds of pruning (any check from
    // delta pruning, a discovered check from exchange pruning); it is
    // computed only for a move that would otherwise be pruned. Inlined into
    // both loops: as a call it pays its register saves for every entry.
    auto try_entry = [&](MoveEntry* entry, int& cut) __attribute__((always_inline)) -> bool {
        const Move move = entry->move;
        const int to = move_to(move);
        int check = -1;
        auto check_kind = [&]() __attribute__((always_inline)) {
            if (check < 0) {
                if (checks.enemy_king == NO_SQUARE) checks = check_hint(pos, side);
                check = check_kind_with_hint(pos, side, *entry, checks);
            }
            return check;
        };
        const bool pawn_to_last_ranks =
            piece_type_of(entry->piece) == PAWN && ((to ^ relative_rank_flip[side]) >> 3) >= 6;
        if (!pawn_to_last_ranks) {
            const int t = piece_type_of(entry->captured);
            bool exempt = false;
            if (t != 0) {
                // Taking the last pawn into a drawn-looking material balance.
                const int pawns_left = count_bits(enemy_pawns) - (t == PAWN ? 1 : 0);
                const int units_after = pos.piece_units[them] - piece_unit_value[t];
                exempt = pawns_left == 0 && units_after - pos.piece_units[side] <= 3;
            }
            if (!exempt && exchange_piece_value[t] + e <= best - margin && check_kind() == 0) return false;
        }
        // The exchange test (SEE) of exchange_meets_threshold, whose quick
        // coarse test is the one made here.
        const int victim = piece_type_of(pos.board[to]);
        if (depth <= 0 && coarse_piece_value[piece_type_of(entry->piece)] > coarse_piece_value[victim] &&
            victim != KING &&
            !exchange_value_at_least(pos, side, move_from(move), to, occupancy(pos), EXCHANGE_THRESHOLD) &&
            check_kind() != 2)
            return false;
        if (move == NULL_MOVE) return false;
        if (safety.king == NO_SQUARE) safety = king_safety_hint_in_check(pos, side, 0);
        if (!king_safe_with_hint(pos, side, move, safety)) return false;

        pr.current = entry;
        play_move(pos, move);
        const int v = -search_node(pos, them, ply + 1, depth - 1, -beta, -best, -node_type, child_pv);
        take_back_move(pos);
        if (v > best) {
            pv[ply] = move;
            pv[ply + 1] = 0;
            if (v >= beta) {
                cut = v;
                return true;
            }
            copy_child_line(pv, child_pv, ply + 1);
            best = v;
        }
        return false;
    };

    // Captures, best first, by selection into the current slot.
    int cut = 0;
    for (MoveEntry* current = list; current != end; current++) {
        MoveEntry* top = current;
        for (MoveEntry* x = current + 1; x != end; x++)
            if (x->score > top->score) top = x;
        // Mostly the entry is already in place.
        if (top != current) std::swap(*top, *current);
        if (try_entry(current, cut)) return cut;
    }
    if (depth < 0) return best;

    // Quiet checks and pushes to the seventh rank, on the first quiescence
    // ply only.
    pr.stage = QS_GENERATE_CHECKS;
    end = generate_quiet_checks(pos, side, list);
    end->move = MOVE_LIST_END;
    td->ply[ply + 1].list_start = end + 1;
    td->ply[ply + 2].list_start = end + 2;
    if (end == list) return best;
    pr.stage = QS_CHECKS;
    for (MoveEntry* current = list; current != end; current++)
        if (try_entry(current, cut)) return cut;
    return best;
}
