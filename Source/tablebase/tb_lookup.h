// Shared steps of the WDL and DTZ table look-ups: which colour and side the
// table stores the position as, and the squares of its pieces in the
// table's piece order.
#pragma once

#include "bitboard.h"
#include "tb_index.h"
#include "tb_position.h"

// Pawn tables are split by the leading pawn's file folded onto a-d.
inline int fold_file(int sq)
{
    const int f = file_of(sq);
    return f < 4 ? f : 7 - f;
}

// How a table sees the position: the colour offset of the piece codes it
// lists first (0 or 8), the square flip (0 or 56) and the stored side.
struct TbView {
    int colour_offset;
    int flip;
    int side;
};

// symmetric: both sides hold the same material; own_material: the table's
// material key is the position's own (not its colour swap).
inline TbView table_view(bool symmetric, bool own_material, bool white_to_move)
{
    if (symmetric) return {white_to_move ? 0 : 8, white_to_move ? 0 : 56, 0};
    if (!own_material) return {8, 56, white_to_move ? 1 : 0};
    return {0, 0, white_to_move ? 0 : 1};
}

// Squares of the pieces order[start..n-1] (colour offset c, flip m) into
// p[start..]; false when the position's material does not fit the order.
inline bool fill_squares(u8 p[6], int start, int n, const u8 order[6], const TbPosition& pos, int c, int m)
{
    int i = start;
    while (i < n) {
        u64 set = probe_piece_set(pos, order[i] ^ c);
        if (!set) return false;
        for (; set; set &= set - 1) {
            if (i >= n) return false;
            p[i++] = u8(lowest_bit_index(set) ^ m);
        }
    }
    return true;
}

// The `lead` leading pawns (code lead_code) into p[0..lead-1], the one with
// the lowest slot first; false when the position has another number of them.
inline bool gather_leading_pawns(u8 p[6], const TbPosition& pos, int lead_code, int lead, int m)
{
    u64 leading = probe_piece_set(pos, lead_code);
    if (count_bits(leading) != lead) return false;
    for (int i = 0; leading; leading &= leading - 1) p[i++] = u8(lowest_bit_index(leading) ^ m);
    for (int i = 1; i < lead; i++) {
        if (lead_pawn_slot[p[0]] > lead_pawn_slot[p[i]]) {
            const u8 tmp = p[0];
            p[0] = p[i];
            p[i] = tmp;
        }
    }
    return true;
}
