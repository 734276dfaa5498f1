#include "bitboard.h"

u8 bit_count_of_byte[256];
i32 log2_of_byte[256];
u64 file_mask[8];
u64 rank_mask[8];
u64 ranks_above[8];
u64 ranks_below[8];
u64 adjacent_files[8];
u64 rank_neighbours[64];
u64 pawn_attacks[2][64];
u64 knight_attacks[64];
u64 king_attacks[64];
u64 passed_pawn_span[2][64];
u64 ray_north[64], ray_south[64], ray_east[64], ray_west[64];
u64 ray_north_east[64], ray_north_west[64], ray_south_east[64], ray_south_west[64];
u64 rook_rays[64];
u64 bishop_rays[64];
u64 between_squares[64][64];
u8 empty_board_attackers[64][64];

const char* const square_name[64] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
};

namespace {

// Squares reached from sq by repeated (df, dr) steps until the board edge.
u64 build_ray(int sq, int df, int dr)
{
    u64 ray = 0;
    int f = file_of(sq) + df, r = rank_of(sq) + dr;
    while (f >= 0 && f < 8 && r >= 0 && r < 8) {
        ray |= square_bit(8 * r + f);
        f += df;
        r += dr;
    }
    return ray;
}

u64 step_set(int sq, const int (*steps)[2], int count)
{
    u64 set = 0;
    for (int i = 0; i < count; i++) {
        int f = file_of(sq) + steps[i][0], r = rank_of(sq) + steps[i][1];
        if (f >= 0 && f < 8 && r >= 0 && r < 8) set |= square_bit(8 * r + f);
    }
    return set;
}

} // namespace

void init_board_tables()
{
    for (int n = 0; n < 256; n++) {
        bit_count_of_byte[n] = u8(std::popcount(unsigned(n)));
        log2_of_byte[n] = n == 0 ? 0 : 31 - std::countl_zero(unsigned(n));
    }
    for (int i = 0; i < 8; i++) {
        file_mask[i] = FILE_A << i;
        rank_mask[i] = RANK_1 << (8 * i);
    }
    for (int r = 0; r < 8; r++) {
        ranks_above[r] = 0;
        ranks_below[r] = 0;
        for (int q = r + 1; q < 8; q++) ranks_above[r] |= rank_mask[q];
        for (int q = 0; q < r; q++) ranks_below[r] |= rank_mask[q];
    }
    for (int f = 0; f < 8; f++) {
        adjacent_files[f] = (f > 0 ? file_mask[f - 1] : 0) | (f < 7 ? file_mask[f + 1] : 0);
    }

    static const int knight_steps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    static const int king_steps[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (int s = 0; s < 64; s++) {
        int f = file_of(s), r = rank_of(s);
        rank_neighbours[s] = (f > 0 ? square_bit(s - 1) : 0) | (f < 7 ? square_bit(s + 1) : 0);
        pawn_attacks[WHITE][s] = 0;
        pawn_attacks[BLACK][s] = 0;
        if (r < 7) {
            if (f > 0) pawn_attacks[WHITE][s] |= square_bit(s + 7);
            if (f < 7) pawn_attacks[WHITE][s] |= square_bit(s + 9);
        }
        if (r > 0) {
            if (f > 0) pawn_attacks[BLACK][s] |= square_bit(s - 9);
            if (f < 7) pawn_attacks[BLACK][s] |= square_bit(s - 7);
        }
        knight_attacks[s] = step_set(s, knight_steps, 8);
        king_attacks[s] = step_set(s, king_steps, 8);
        u64 span_files = file_mask[f] | adjacent_files[f];
        passed_pawn_span[WHITE][s] = span_files & ranks_above[r];
        passed_pawn_span[BLACK][s] = span_files & ranks_below[r];
        ray_north[s] = build_ray(s, 0, 1);
        ray_south[s] = build_ray(s, 0, -1);
        ray_east[s] = build_ray(s, 1, 0);
        ray_west[s] = build_ray(s, -1, 0);
        ray_north_east[s] = build_ray(s, 1, 1);
        ray_north_west[s] = build_ray(s, -1, 1);
        ray_south_east[s] = build_ray(s, 1, -1);
        ray_south_west[s] = build_ray(s, -1, -1);
        rook_rays[s] = ray_north[s] | ray_south[s] | ray_east[s] | ray_west[s];
        bishop_rays[s] = ray_north_east[s] | ray_north_west[s] | ray_south_east[s] | ray_south_west[s];
    }

    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) {
            between_squares[a][b] = 0;
            int df = file_of(b) - file_of(a), dr = rank_of(b) - rank_of(a);
            if (a == b) continue;
            if (df != 0 && dr != 0 && df != dr && df != -dr) continue;
            int step = (df > 0 ? 1 : df < 0 ? -1 : 0) + 8 * (dr > 0 ? 1 : dr < 0 ? -1 : 0);
            for (int s = a + step; s != b; s += step) between_squares[a][b] |= square_bit(s);
        }
    }

    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) {
            const u64 target = square_bit(b);
            u8 kinds = 0;
            if (pawn_attacks[WHITE][a] & target) kinds |= 1 << WHITE;
            if (pawn_attacks[BLACK][a] & target) kinds |= 1 << BLACK;
            if (knight_attacks[a] & target) kinds |= 1 << KNIGHT;
            if (bishop_rays[a] & target) kinds |= (1 << BISHOP) | (1 << QUEEN);
            if (rook_rays[a] & target) kinds |= (1 << ROOK) | (1 << QUEEN);
            empty_board_attackers[a][b] = kinds;
        }
    }
}
