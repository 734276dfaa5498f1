#include "tb_position.h"

#include "bitboard.h"

namespace {

// Material constants by piece type (1 pawn .. 5 queen), first and second side.
constexpr u64 material_constant[2][6] = {
    {0, 0xEC0ADE190C0F6003ULL, 0xD2FB81862830191FULL, 0xAADC1A2BE446234DULL, 0x985DEB9FC49333F9ULL,
     0xA3EC1ABC71E90863ULL},
    {0, 0xA24F0F571BB202E7ULL, 0xBAEB854CD3259441ULL, 0xD5A4C95928F2FBE3ULL, 0xFD7866B439B94495ULL,
     0xD6E4E47D24962951ULL},
};

const u64& kind_set(const TbPosition& pos, int type)
{
    switch (type) {
    case PAWN: return pos.pawns;
    case KNIGHT: return pos.knights;
    case BISHOP: return pos.bishops;
    case ROOK: return pos.rooks;
    case QUEEN: return pos.queens;
    default: return pos.kings;
    }
}

ProbeMove* add_destinations(ProbeMove* list, int from, u64 dests)
{
    while (dests) {
        *list++ = make_probe_move(from, lowest_bit_index(dests));
        dests &= dests - 1;
    }
    return list;
}

ProbeMove* add_promotions(ProbeMove* list, int from, int to)
{
    *list++ = make_probe_move(from, to, TB_PROMO_QUEEN);
    *list++ = make_probe_move(from, to, TB_PROMO_KNIGHT);
    *list++ = make_probe_move(from, to, TB_PROMO_ROOK);
    *list++ = make_probe_move(from, to, TB_PROMO_BISHOP);
    return list;
}

// A destination on the first or last rank becomes four promotions.
ProbeMove* add_pawn_destinations(ProbeMove* list, int from, u64 dests)
{
    while (dests) {
        int to = lowest_bit_index(dests);
        dests &= dests - 1;
        if (rank_of(to) == 0 || rank_of(to) == 7)
            list = add_promotions(list, from, to);
        else
            *list++ = make_probe_move(from, to);
    }
    return list;
}

ProbeMove* generate(const TbPosition& pos, ProbeMove* list, bool captures_only)
{
    const int colour = pos.white_to_move ? WHITE : BLACK;
    const u64 us = pos.white_to_move ? pos.white : pos.black;
    const u64 them = pos.white_to_move ? pos.black : pos.white;
    const u64 occ = pos.white | pos.black;
    const u64 target = captures_only ? them : ~us;

    for (u64 s = pos.kings & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        list = add_destinations(list, sq, king_attacks[sq] & target);
    }
    for (u64 s = pos.queens & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        list = add_destinations(list, sq, (rook_attack_set(sq, occ) | bishop_attack_set(sq, occ)) & target);
    }
    for (u64 s = pos.rooks & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        list = add_destinations(list, sq, rook_attack_set(sq, occ) & target);
    }
    for (u64 s = pos.bishops & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        list = add_destinations(list, sq, bishop_attack_set(sq, occ) & target);
    }
    for (u64 s = pos.knights & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        list = add_destinations(list, sq, knight_attacks[sq] & target);
    }

    const int push = colour == WHITE ? 8 : -8;
    const int second_rank = colour == WHITE ? 1 : 6;
    const int seventh_rank = colour == WHITE ? 6 : 1;
    for (u64 s = pos.pawns & us; s; s &= s - 1) {
        int sq = lowest_bit_index(s);
        if (pos.ep_square && (pawn_attacks[colour][sq] & square_bit(pos.ep_square)))
            *list++ = make_probe_move(sq, pos.ep_square);
        int ahead = sq + push;
        bool ahead_free = ahead >= 0 && ahead < 64 && !(occ & square_bit(ahead));
        u64 dests = pawn_attacks[colour][sq] & them;
        if (captures_only) {
            list = add_pawn_destinations(list, sq, dests);
            if (rank_of(sq) == seventh_rank && ahead_free) list = add_promotions(list, sq, ahead);
            continue;
        }
        if (ahead_free) {
            dests |= square_bit(ahead);
            if (rank_of(sq) == second_rank && !(occ & square_bit(ahead + push))) dests |= square_bit(ahead + push);
        }
        list = add_pawn_destinations(list, sq, dests);
    }
    return list;
}

// 1 when the king of `colour` (lowest king of that colour) is attacked by
// the other colour; -1 when that colour has no king.
int king_attacked(const TbPosition& pos, int colour)
{
    const u64 us = colour == WHITE ? pos.white : pos.black;
    const u64 them = colour == WHITE ? pos.black : pos.white;
    const u64 king = pos.kings & us;
    if (!king) return -1;
    const int ksq = lowest_bit_index(king);
    const u64 occ = pos.white | pos.black;
    if (king_attacks[ksq] & pos.kings & them) return 1;
    if (rook_attack_set(ksq, occ) & (pos.rooks | pos.queens) & them) return 1;
    if (bishop_attack_set(ksq, occ) & (pos.bishops | pos.queens) & them) return 1;
    if (knight_attacks[ksq] & pos.knights & them) return 1;
    if (pawn_attacks[colour][ksq] & pos.pawns & them) return 1;
    return 0;
}

// Moves the bit of `from` to `to` in one set and removes whatever stood on `to`.
inline void move_bit(u64& set, u64 from, u64 to)
{
    const u64 had = set & from;
    set &= ~(from | to);
    if (had) set |= to;
}

} // namespace

u64 probe_piece_set(const TbPosition& pos, int code)
{
    const int type = code & 7;
    if (type < PAWN || type > KING || code > 15) return 0;
    const u64 colour_set = (code & 8) ? pos.black : pos.white;
    return colour_set & kind_set(pos, type);
}

u64 material_signature_key(const TbPosition& pos, int mirror)
{
    u64 key = 0;
    for (int type = PAWN; type <= QUEEN; type++) {
        const u64 kind = kind_set(pos, type);
        key += u64(count_bits(pos.white & kind)) * material_constant[mirror ? 1 : 0][type];
        key += u64(count_bits(pos.black & kind)) * material_constant[mirror ? 0 : 1][type];
    }
    return key;
}

u64 material_key_from_counts(const int counts[16], int mirror)
{
    u64 key = 0;
    for (int type = PAWN; type <= QUEEN; type++) {
        key += u64(counts[type]) * material_constant[mirror ? 1 : 0][type];
        key += u64(counts[8 + type]) * material_constant[mirror ? 0 : 1][type];
    }
    return key;
}

void material_name_string(const TbPosition& pos, char* out, int mirror)
{
    static const int letter_order[5] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};
    static const char letter[7] = {'?', 'P', 'N', 'B', 'R', 'Q', 'K'};
    char* p = out;
    char* const last = out + TB_NAME_SIZE - 1;  // room kept for the NUL
    for (int side = 0; side < 2; side++) {
        const u64 colour_set = (side == 0) == (mirror == 0) ? pos.white : pos.black;
        if (side == 1 && p < last) *p++ = 'v';
        if (p < last) *p++ = 'K';
        for (int type : letter_order) {
            for (int n = count_bits(colour_set & kind_set(pos, type)); n > 0 && p < last; n--) *p++ = letter[type];
        }
    }
    *p = 0;
}

ProbeMove* probe_board_generate_moves(const TbPosition& pos, ProbeMove* list) { return generate(pos, list, false); }

ProbeMove* probe_board_generate_captures(const TbPosition& pos, ProbeMove* list) { return generate(pos, list, true); }

bool probe_board_apply_move(TbPosition& out, const TbPosition& pos, ProbeMove move)
{
    const int from = probe_move_from(move);
    const int to = probe_move_to(move);
    const int promotion = probe_move_promotion(move);
    const u64 from_bit = square_bit(from);
    const u64 to_bit = square_bit(to);

    out = pos;
    out.white_to_move = pos.white_to_move ^ 1;
    out.ep_square = 0;
    move_bit(out.white, from_bit, to_bit);
    move_bit(out.black, from_bit, to_bit);
    move_bit(out.kings, from_bit, to_bit);
    move_bit(out.queens, from_bit, to_bit);
    move_bit(out.rooks, from_bit, to_bit);
    move_bit(out.bishops, from_bit, to_bit);
    move_bit(out.knights, from_bit, to_bit);
    move_bit(out.pawns, from_bit, to_bit);

    if (promotion) {
        out.pawns &= ~to_bit;
        switch (promotion) {
        case TB_PROMO_QUEEN: out.queens |= to_bit; break;
        case TB_PROMO_ROOK: out.rooks |= to_bit; break;
        case TB_PROMO_BISHOP: out.bishops |= to_bit; break;
        default: out.knights |= to_bit; break;
        }
        out.halfmove_clock = 0;
    } else if (pos.pawns & from_bit) {
        out.halfmove_clock = 0;
        if (rank_of(from) == 1 && rank_of(to) == 3) {
            // Only the presence of a pawn that could capture is tested.
            const int skipped = from + 8;
            if (pawn_attacks[WHITE][skipped] & pos.black & pos.pawns) out.ep_square = u8(skipped);
        } else if (rank_of(from) == 6 && rank_of(to) == 4) {
            const int skipped = from - 8;
            if (pawn_attacks[BLACK][skipped] & pos.white & pos.pawns) out.ep_square = u8(skipped);
        } else if (pos.ep_square && to == pos.ep_square) {
            const u64 victim = square_bit(pos.white_to_move ? to - 8 : to + 8);
            out.white &= ~victim;
            out.black &= ~victim;
            out.pawns &= ~victim;
        }
    } else {
        out.halfmove_clock = ((pos.white | pos.black) & to_bit) ? 0 : u8(pos.halfmove_clock + 1);
    }

    return king_attacked(out, pos.white_to_move ? WHITE : BLACK) == 0;
}

bool tb_side_to_move_in_check(const TbPosition& pos)
{
    return king_attacked(pos, pos.white_to_move ? WHITE : BLACK) == 1;
}

bool tb_is_en_passant_move(const TbPosition& pos, ProbeMove move)
{
    if (!pos.ep_square || probe_move_to(move) != pos.ep_square) return false;
    const u64 us = pos.white_to_move ? pos.white : pos.black;
    return (pos.pawns & us & square_bit(probe_move_from(move))) != 0;
}

TbPosition tb_position_from_engine(const Position& pos, int halfmove_clock)
{
    TbPosition tb{};
    tb.white = pos.pieces[WHITE][0];
    tb.black = pos.pieces[BLACK][0];
    tb.kings = pos.pieces[WHITE][KING] | pos.pieces[BLACK][KING];
    tb.queens = pos.pieces[WHITE][QUEEN] | pos.pieces[BLACK][QUEEN];
    tb.rooks = pos.pieces[WHITE][ROOK] | pos.pieces[BLACK][ROOK];
    tb.bishops = pos.pieces[WHITE][BISHOP] | pos.pieces[BLACK][BISHOP];
    tb.knights = pos.pieces[WHITE][KNIGHT] | pos.pieces[BLACK][KNIGHT];
    tb.pawns = pos.pieces[WHITE][PAWN] | pos.pieces[BLACK][PAWN];
    tb.halfmove_clock = u8(halfmove_clock);
    tb.ep_square = pos.ep_square >= NO_SQUARE ? 0 : pos.ep_square;
    tb.white_to_move = pos.side == WHITE ? 1 : 0;
    return tb;
}

bool tb_position_is_sound(const TbPosition& pos)
{
    if (count_bits(pos.kings & pos.white) != 1 || count_bits(pos.kings & pos.black) != 1) return false;
    if (pos.white & pos.black) return false;
    const u64 kinds[6] = {pos.kings, pos.queens, pos.rooks, pos.bishops, pos.knights, pos.pawns};
    u64 all = 0;
    for (u64 kind : kinds) {
        if (all & kind) return false;
        all |= kind;
    }
    if (pos.pawns & (RANK_1 | (RANK_1 << 56))) return false;
    if ((pos.white | pos.black) != all) return false;
    const int wk = lowest_bit_index(pos.kings & pos.white);
    if (king_attacks[wk] & pos.kings & pos.black) return false;
    // The side not to move must not be in check.
    if (king_attacked(pos, pos.white_to_move ? BLACK : WHITE) != 0) return false;
    if (pos.ep_square) {
        const int ep = pos.ep_square;
        const u64 occ = pos.white | pos.black;
        if (ep >= 64) return false;
        if (pos.white_to_move) {
            if (rank_of(ep) != 5 || !(pos.pawns & pos.black & square_bit(ep - 8))) return false;
            if (occ & (square_bit(ep) | square_bit(ep + 8))) return false;
        } else {
            if (rank_of(ep) != 2 || !(pos.pawns & pos.white & square_bit(ep + 8))) return false;
            if (occ & (square_bit(ep) | square_bit(ep - 8))) return false;
        }
    }
    return true;
}

bool tb_root_position_is_valid(const Position& pos)
{
    if (pos.castling != 0 || pos.side > 1) return false;
    if (pos.ep_square > NO_SQUARE) return false;
    return tb_position_is_sound(tb_position_from_engine(pos, pos.halfmove_clock));
}
