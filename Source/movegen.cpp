#include "movegen.h"

namespace {

constexpr u64 RANK_8 = 0xFF00000000000000ULL;

inline MoveEntry* add_move(MoveEntry* list, int from, int to, int piece, int captured, Move flags = 0)
{
    list->move = make_move(from, to, flags);
    list->piece = u8(piece);
    list->captured = u8(captured);
    return list + 1;
}

// One promotion step yields the queen and, with all kinds, the knight,
// bishop and rook promotions in that order.
inline MoveEntry* add_promotions(MoveEntry* list, int from, int to, int piece, int captured, int all_kinds)
{
    list = add_move(list, from, to, piece, captured, PROMO_QUEEN);
    if (all_kinds) {
        list = add_move(list, from, to, piece, captured, PROMO_KNIGHT);
        list = add_move(list, from, to, piece, captured, PROMO_BISHOP);
        list = add_move(list, from, to, piece, captured, PROMO_ROOK);
    }
    return list;
}

// Moves of every piece of one list onto the squares of `targets(sq)`; the
// captured code is read from the board only for captures.
template <bool CAPTURES, typename Targets>
inline MoveEntry* add_piece_moves(const Position& pos, const u8* squares, int piece, MoveEntry* list, Targets targets)
{
    for (;; squares++) {
        const int from = list_square(squares);
        if (from == NO_SQUARE) break;
        for (u64 to_set = targets(from); to_set;) {
            int to = pop_lowest_bit(to_set);
            list = add_move(list, from, to, piece, CAPTURES ? pos.board[to] : 0);
        }
    }
    return list;
}

} // namespace

MoveEntry* generate_captures(const Position& pos, int colour, MoveEntry* list)
{
    const u64 enemy = pos.pieces[colour ^ 1][0];
    const u64 occ = occupancy(pos);
    const u64 pawns = pos.pieces[colour][PAWN];
    u64 pawn_targets = enemy;
    if (pos.ep_square != NO_SQUARE) pawn_targets |= square_bit(pos.ep_square);
    const int pawn = piece_code(PAWN, colour);

    // Pawn captures, the last rank left to the promotion generator: towards
    // the lower file first, then towards the higher file.
    if (colour == WHITE) {
        for (u64 s = ((pawns & ~FILE_A) << 7) & pawn_targets & ~RANK_8; s;) {
            int to = pop_lowest_bit(s);
            list = add_move(list, to - 7, to, pawn, pos.board[to]);
        }
        for (u64 s = ((pawns & ~FILE_H) << 9) & pawn_targets & ~RANK_8; s;) {
            int to = pop_lowest_bit(s);
            list = add_move(list, to - 9, to, pawn, pos.board[to]);
        }
    } else {
        for (u64 s = ((pawns & ~FILE_A) >> 9) & pawn_targets & ~RANK_1; s;) {
            int to = pop_lowest_bit(s);
            list = add_move(list, to + 9, to, pawn, pos.board[to]);
        }
        for (u64 s = ((pawns & ~FILE_H) >> 7) & pawn_targets & ~RANK_1; s;) {
            int to = pop_lowest_bit(s);
            list = add_move(list, to + 7, to, pawn, pos.board[to]);
        }
    }

    // Slider captures: the first-blocker attack set masked by the enemy is the
    // same set, in the same ascending order, as the enemy pieces on the rays
    // with nothing between.
    list = add_piece_moves<true>(pos, pos.lists[colour][KNIGHT], piece_code(KNIGHT, colour), list,
                           [&](int sq) { return knight_attacks[sq] & enemy; });
    list = add_piece_moves<true>(pos, pos.lists[colour][BISHOP], piece_code(BISHOP, colour), list,
                           [&](int sq) { return bishop_attack_set(sq, occ) & enemy; });
    list = add_piece_moves<true>(pos, pos.lists[colour][ROOK], piece_code(ROOK, colour), list,
                           [&](int sq) { return rook_attack_set(sq, occ) & enemy; });
    list = add_piece_moves<true>(pos, pos.lists[colour][QUEEN], piece_code(QUEEN, colour), list,
                           [&](int sq) { return (bishop_attack_set(sq, occ) | rook_attack_set(sq, occ)) & enemy; });
    list = add_piece_moves<true>(pos, pos.lists[colour][KING], piece_code(KING, colour), list,
                           [&](int sq) { return king_attacks[sq] & enemy; });
    return list;
}

// `pawns`: the side's pawns on their seventh rank.
MoveEntry* generate_promotions_of(const Position& pos, int colour, int all_kinds, MoveEntry* list, u64 pawns)
{
    const u64 enemy = pos.pieces[colour ^ 1][0];
    const int pawn = piece_code(PAWN, colour);
    for (u64 s = pawns; s;) {
        int from = pop_lowest_bit(s);
        int ahead = from + pawn_push[colour];
        if (pos.board[ahead] == 0) list = add_promotions(list, from, ahead, pawn, 0, all_kinds);
        if (file_of(from) != 0 && (enemy & square_bit(ahead - 1)))
            list = add_promotions(list, from, ahead - 1, pawn, pos.board[ahead - 1], all_kinds);
        if (file_of(from) != 7 && (enemy & square_bit(ahead + 1)))
            list = add_promotions(list, from, ahead + 1, pawn, pos.board[ahead + 1], all_kinds);
    }
    return list;
}

MoveEntry* generate_quiet_moves(const Position& pos, int colour, MoveEntry* list)
{
    const u64 occ = occupancy(pos);
    const u64 empty = ~occ;
    const int pawn = piece_code(PAWN, colour);

    // Pawns by ascending origin: the single push, then the double push.
    if (colour == WHITE) {
        for (u64 s = pos.pieces[WHITE][PAWN] & ~seventh_rank_mask[WHITE] & (empty >> 8); s;) {
            int from = pop_lowest_bit(s);
            list = add_move(list, from, from + 8, pawn, 0);
            if (rank_of(from) == 1 && pos.board[from + 16] == 0) list = add_move(list, from, from + 16, pawn, 0);
        }
    } else {
        for (u64 s = pos.pieces[BLACK][PAWN] & ~seventh_rank_mask[BLACK] & (empty << 8); s;) {
            int from = pop_lowest_bit(s);
            list = add_move(list, from, from - 8, pawn, 0);
            if (rank_of(from) == 6 && pos.board[from - 16] == 0) list = add_move(list, from, from - 16, pawn, 0);
        }
    }

    list = add_piece_moves<false>(pos, pos.lists[colour][KNIGHT], piece_code(KNIGHT, colour), list,
                           [&](int sq) { return knight_attacks[sq] & empty; });
    list = add_piece_moves<false>(pos, pos.lists[colour][BISHOP], piece_code(BISHOP, colour), list,
                           [&](int sq) { return bishop_attack_set(sq, occ) & empty; });
    list = add_piece_moves<false>(pos, pos.lists[colour][ROOK], piece_code(ROOK, colour), list,
                           [&](int sq) { return rook_attack_set(sq, occ) & empty; });
    list = add_piece_moves<false>(pos, pos.lists[colour][QUEEN], piece_code(QUEEN, colour), list,
                           [&](int sq) { return (bishop_attack_set(sq, occ) | rook_attack_set(sq, occ)) & empty; });
    list = add_piece_moves<false>(pos, pos.lists[colour][KING], piece_code(KING, colour), list,
                           [&](int sq) { return king_attacks[sq] & empty; });

    // Castling: only the rights and the empty squares are tested here; the
    // rights guarantee the rook, king_safe_after_move tests the attacks.
    int king = king_home_square[colour];
    if (pos.lists[colour][KING][0] == king) {
        int king_code = piece_code(KING, colour);
        if ((pos.castling & (1 << (2 * colour))) && pos.board[king + 1] == 0 && pos.board[king + 2] == 0)
            list = add_move(list, king, king + 2, king_code, 0);
        if ((pos.castling & (2 << (2 * colour))) && pos.board[king - 1] == 0 && pos.board[king - 2] == 0 &&
            pos.board[king - 3] == 0)
            list = add_move(list, king, king - 2, king_code, 0);
    }
    return list;
}

void generate_all_moves(const Position& pos)
{
    ThreadData* owner = pos.owner;
    int ply = owner->search_ply;
    MoveEntry* end = generate_pseudo_legal_moves(pos, owner->ply[ply].list_start);
    end->move = MOVE_LIST_END;
    owner->ply[ply + 1].list_start = end + 1;
    owner->ply[ply + 2].list_start = end + 2;
}

Move first_legal_move(const Position& pos)
{
    MoveEntry list[LOCAL_MOVE_LIST_SIZE];
    const MoveEntry* end = generate_pseudo_legal_moves(pos, list);
    for (const MoveEntry* e = list; e < end; e++)
        if (king_safe_after_nonzero_move(pos, pos.side, e->move)) return e->move;
    return NULL_MOVE;
}

u64 check_evasion_targets(const Position& pos, int colour, int king)
{
    const u64* enemy = pos.pieces[colour ^ 1];
    const u64 occ = occupancy(pos);
    u64 checkers = (pawn_attacks[colour][king] & enemy[PAWN]) | (knight_attacks[king] & enemy[KNIGHT]);
    for (u64 s = bishop_rays[king] & (enemy[BISHOP] | enemy[QUEEN]); s;) {
        const int sq = pop_lowest_bit(s);
        if (!(between_squares[sq][king] & occ)) checkers |= square_bit(sq);
    }
    for (u64 s = rook_rays[king] & (enemy[ROOK] | enemy[QUEEN]); s;) {
        const int sq = pop_lowest_bit(s);
        if (!(between_squares[sq][king] & occ)) checkers |= square_bit(sq);
    }
    if (!checkers) return ~u64(0);
    if (checkers & (checkers - 1)) return 0;
    return checkers | between_squares[king][lowest_bit_index(checkers)];
}

int check_kind_after_move(const Position& pos, int colour, const MoveEntry& entry)
{
    const Move move = entry.move;
    const int from = move_from(move), to = move_to(move);
    const int enemy_king = pos.lists[colour ^ 1][KING][0];
    const u64 occ = occupancy(pos);

    // Discovered check: a slider of ours behind the origin, on a line with
    // the enemy king, that the move unmasks.
    if (pos.material_key[colour] & 0xFFF00) {
        const u64 after = (occ & ~square_bit(from)) | square_bit(to);
        const u64* own = pos.pieces[colour];
        if (rook_rays[enemy_king] & square_bit(from)) {
            for (u64 s = rook_rays[enemy_king] & rook_rays[from] & (own[ROOK] | own[QUEEN]); s;) {
                if (!(between_squares[pop_lowest_bit(s)][enemy_king] & after)) return 2;
            }
        }
        if (bishop_rays[enemy_king] & square_bit(from)) {
            for (u64 s = bishop_rays[enemy_king] & bishop_rays[from] & (own[BISHOP] | own[QUEEN]); s;) {
                if (!(between_squares[pop_lowest_bit(s)][enemy_king] & after)) return 2;
            }
        }
    }
    return direct_check(pos, colour, move, enemy_king, occ);
}

CheckHint check_hint(const Position& pos, int colour)
{
    CheckHint hint;
    hint.enemy_king = pos.lists[colour ^ 1][KING][0];
    hint.occupancy = occupancy(pos);
    hint.discoverers = 0;
    hint.usable = 1;
    const u64* own = pos.pieces[colour];
    const int king = hint.enemy_king;
    const u64 sliders = (rook_rays[king] & (own[ROOK] | own[QUEEN])) | (bishop_rays[king] & (own[BISHOP] | own[QUEEN]));
    for (u64 s = sliders; s;) {
        const u64 between = between_squares[pop_lowest_bit(s)][king] & hint.occupancy;
        if (!between) hint.usable = 0;  // the king is in check already: not a search position
        else if (!(between & (between - 1))) hint.discoverers |= between & own[0];
    }
    return hint;
}

int classify_move(const Position& pos, int colour, const MoveEntry& entry)
{
    return move_class_bits(pos, colour, entry, check_kind_after_move(pos, colour, entry));
}
