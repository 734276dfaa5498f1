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
SliderTable rook_table[64];
#if !SLIDER_INDEX_BY_PEXT
u8 rank_attack_bits[8][64];
u64 file_attack_sets[8][64];
#endif
SliderTable bishop_table[64];

const char* const square_name[64] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
};

namespace {

// Squares reached from sq by repeated (df, dr) steps until the board edge
// or the first square of `occ`, which is included.
u64 build_ray(int sq, int df, int dr, u64 occ = 0)
{
    u64 ray = 0;
    int f = file_of(sq) + df, r = rank_of(sq) + dr;
    while (f >= 0 && f < 8 && r >= 0 && r < 8) {
        ray |= square_bit(8 * r + f);
        if (occ & square_bit(8 * r + f)) break;
        f += df;
        r += dr;
    }
    return ray;
}

// Entries of all squares: the sum over squares of 2 to the bits of the mask.
// Without PEXT the rooks use the rank and file tables instead.
constexpr int ROOK_TABLE_ENTRIES = SLIDER_INDEX_BY_PEXT ? 102400 : 0;
constexpr int BISHOP_TABLE_ENTRIES = 5248;
SliderEntry slider_attacks[ROOK_TABLE_ENTRIES + BISHOP_TABLE_ENTRIES];

// Multipliers of the bishop squares, found once by a search over sparse
// random numbers: each maps every blocker pattern of its square to an entry
// that holds either nothing yet or the same attack set. A PEXT build does not
// use them.
constexpr u64 bishop_magic[64] = {
    0xA010041108003100ULL, 0x006082020A002900ULL, 0x6810010619200000ULL, 0x08281A0520000408ULL,
    0x0001104001000400ULL, 0x0018901008048400ULL, 0x00040A0210245280ULL, 0x000200210808A402ULL,
    0x9140048410821200ULL, 0x0800091010820041ULL, 0x20504804832202C0ULL, 0x0100091401081000ULL,
    0x8021011140000012ULL, 0x0810020804450400ULL, 0x208B0542109008A2ULL, 0x0080084A08040204ULL,
    0x0040E2A80811244CULL, 0x2505022008008108ULL, 0x0430220100420040ULL, 0x010A040420220040ULL,
    0x1105000290400000ULL, 0x0093001200822120ULL, 0x4000A62048043004ULL, 0x280120048A015004ULL,
    0x006090002A020814ULL, 0x44042000240800D0ULL, 0x01102800040A4400ULL, 0x1004080080220040ULL,
    0x0001001011004024ULL, 0x0010044000805040ULL, 0x0914041200820100ULL, 0x0004821012821480ULL,
    0x0024040500C05021ULL, 0x0088611002080200ULL, 0x0116080A00040020ULL, 0x4000020080080080ULL,
    0x2450450140840040ULL, 0x0000880201484100ULL, 0x0222020404020092ULL, 0x8081110600002E00ULL,
    0x2842101105000801ULL, 0x1100809008001025ULL, 0x00020202221C0400ULL, 0x0422014022009020ULL,
    0x0210046102100C00ULL, 0xC004008082029102ULL, 0x00AA461801101200ULL, 0x0404080080201108ULL,
    0x020542108C205002ULL, 0x0410544804100100ULL, 0x0040910841100000ULL, 0x0400200042021100ULL,
    0x00004204850400C0ULL, 0x0200100410A42102ULL, 0x1040020801210102ULL, 0x0805040410420000ULL,
    0x2884804130100200ULL, 0x800C262201242000ULL, 0x1058000194108800ULL, 0x0014221054420204ULL,
    0x0104000012A02200ULL, 0x0200881003300100ULL, 0x0140400202840100ULL, 0x0402020801010201ULL
};

// The rays of sq less their last square: the occupancy of the edge square
// never changes the set.
u64 slider_mask(int sq, const int (*dirs)[2])
{
    u64 mask = 0;
    for (int i = 0; i < 4; i++) {
        u64 ray = build_ray(sq, dirs[i][0], dirs[i][1]);
        // A ray stepping up the square numbers ends on its highest square.
        if (ray) ray ^= square_bit(dirs[i][0] + 8 * dirs[i][1] > 0 ? highest_bit_index(ray) : lowest_bit_index(ray));
        mask |= ray;
    }
    return mask;
}

u64 walk_rays(int sq, u64 occ, const int (*dirs)[2])
{
    u64 set = 0;
    for (int i = 0; i < 4; i++) set |= build_ray(sq, dirs[i][0], dirs[i][1], occ);
    return set;
}

const int rook_dirs[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
const int bishop_dirs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};

// Fills the tables of one slider kind from `next` on; returns the first
// entry behind them.
SliderEntry* build_slider_tables(SliderTable* tables, const u64* magics, SliderEntry* next, const int (*dirs)[2],
                         u64 (*by_rays)(int, u64))
{
    for (int sq = 0; sq < 64; sq++) {
        SliderTable& t = tables[sq];
        t.attacks = next;
        t.mask = slider_mask(sq, dirs);
#if SLIDER_INDEX_BY_PEXT
        (void)magics;
        t.rays = by_rays(sq, 0);
#else
        t.magic = magics[sq];
        t.shift = u32(64 - std::popcount(t.mask));
#endif
        // Every subset of the mask, by the carry-rippler enumeration.
        u64 occ = 0;
        do {
#if SLIDER_INDEX_BY_PEXT
            next[slider_index(t, occ)] = SliderEntry(_pext_u64(by_rays(sq, occ), t.rays));
#else
            next[slider_index(t, occ)] = by_rays(sq, occ);
#endif
            occ = (occ - t.mask) & t.mask;
        } while (occ);
        next += size_t(1) << std::popcount(t.mask);
    }
    return next;
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

u64 rook_attack_set_by_rays(int sq, u64 occ) { return walk_rays(sq, occ, rook_dirs); }
u64 bishop_attack_set_by_rays(int sq, u64 occ) { return walk_rays(sq, occ, bishop_dirs); }

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

#if SLIDER_INDEX_BY_PEXT
    SliderEntry* next = build_slider_tables(rook_table, nullptr, slider_attacks, rook_dirs, rook_attack_set_by_rays);
#else
    // Index i is the rook's file in the rank table and its rank in the file table.
    for (int i = 0; i < 8; i++) {
        for (int o = 0; o < 64; o++) {
            rank_attack_bits[i][o] = u8(rook_attack_set_by_rays(i, u64(o) << 1) & 0xFF);
            u64 file_occ = 0;
            for (int k = 0; k < 6; k++)
                if (o & (1 << k)) file_occ |= square_bit(8 * (k + 1));
            file_attack_sets[i][o] = rook_attack_set_by_rays(8 * i, file_occ) & FILE_A;
        }
    }
    for (int sq = 0; sq < 64; sq++) rook_table[sq].mask = slider_mask(sq, rook_dirs);
    SliderEntry* next = slider_attacks;
#endif
    build_slider_tables(bishop_table, bishop_magic, next, bishop_dirs, bishop_attack_set_by_rays);
}
