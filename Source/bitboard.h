// Bit helpers and the fixed square tables built once at start-up:
// attack sets, rays, the squares between two squares, rank and file masks.
#pragma once

#include <bit>
#include <cstddef>

#include "types.h"

#if defined(__BMI2__) && defined(__x86_64__)
#include <immintrin.h>
#define SLIDER_INDEX_BY_PEXT 1
#else
#define SLIDER_INDEX_BY_PEXT 0
#endif

inline int count_bits(u64 set) { return std::popcount(set); }
// Square of the lowest set bit; set must not be 0.
inline int lowest_bit_index(u64 set) { return std::countr_zero(set); }
// Square of the highest set bit; set must not be 0.
inline int highest_bit_index(u64 set) { return 63 - std::countl_zero(set); }
// Pops the lowest set bit and returns its square.
inline int pop_lowest_bit(u64& set)
{
    int sq = std::countr_zero(set);
    set &= set - 1;
    return sq;
}
constexpr u64 square_bit(int sq) { return u64(1) << sq; }

extern const char* const square_name[64];
constexpr int pawn_push[2] = {8, -8};
constexpr int king_home_square[2] = {4, 60};
constexpr u64 seventh_rank_mask[2] = {0x00FF000000000000ULL, 0x000000000000FF00ULL};
constexpr int relative_rank_flip[2] = {0, 56};
constexpr u32 material_key_step[8] = {0, 1, 16, 256, 4096, 65536, 0, 0};
constexpr int piece_unit_value[8] = {0, 0, 3, 3, 5, 10, 0, 0};

constexpr u64 FILE_A = 0x0101010101010101ULL;
constexpr u64 FILE_H = 0x8080808080808080ULL;
constexpr u64 RANK_1 = 0xFFULL;

// The squares the pawns of colour c attack.
inline u64 pawn_attack_set(int c, u64 pawns)
{
    return c == WHITE ? ((pawns & ~FILE_A) << 7) | ((pawns & ~FILE_H) << 9)
                      : ((pawns & ~FILE_A) >> 9) | ((pawns & ~FILE_H) >> 7);
}

// Tables built once by init_board_tables(), read-only afterwards.
extern u8 bit_count_of_byte[256];
extern i32 log2_of_byte[256];
extern u64 file_mask[8];
extern u64 rank_mask[8];
extern u64 ranks_above[8];
extern u64 ranks_below[8];
extern u64 adjacent_files[8];
extern u64 rank_neighbours[64];
extern u64 pawn_attacks[2][64];
extern u64 knight_attacks[64];
extern u64 king_attacks[64];
extern u64 passed_pawn_span[2][64];
extern u64 ray_north[64], ray_south[64], ray_east[64], ray_west[64];
extern u64 ray_north_east[64], ray_north_west[64], ray_south_east[64], ray_south_west[64];
extern u64 rook_rays[64];
extern u64 bishop_rays[64];
extern u64 between_squares[64][64];
// Bit k set when a piece of kind k on the first square attacks the second
// on an empty board: kind 0 white pawn, 1 black pawn, 2 knight, 3 bishop,
// 4 rook, 5 queen (a king, kind 6, never counts).
extern u8 empty_board_attackers[64][64];

// Builds every table above; called once by start-up before anything else.
void init_board_tables();

// Slider attacks by table lookup. The occupied squares that can block a
// slider on sq (its rays less the board edge) are mapped to an index into
// the square's part of one shared table: by PEXT where the instruction
// exists, else by a multiply with a fixed magic number that maps each
// blocker pattern to an entry of the same attack set. The set includes the
// first blocker of either colour on each ray. Without PEXT the rooks take
// their sets from rank and file tables instead (below), and rook_table holds
// only the masks.
#if SLIDER_INDEX_BY_PEXT
// Each entry holds the set packed onto the bits of the square's rays (at
// most 14), unpacked by PDEP: a quarter of the table, kept in cache better.
using SliderEntry = u16;
#else
using SliderEntry = u64;
#endif
struct SliderTable {
    const SliderEntry* attacks;  // this square's entries in the shared table
    u64 mask;                    // squares whose occupancy can change the set
#if SLIDER_INDEX_BY_PEXT
    u64 rays;                    // every square the slider could reach
#else
    u64 magic;
    u32 shift;                   // 64 less the bits of mask
#endif
};
extern SliderTable rook_table[64];
extern SliderTable bishop_table[64];

inline size_t slider_index(const SliderTable& t, u64 occ)
{
#if SLIDER_INDEX_BY_PEXT
    return size_t(_pext_u64(occ, t.mask));
#else
    return size_t(((occ & t.mask) * t.magic) >> t.shift);
#endif
}

inline u64 slider_lookup(const SliderTable& t, u64 occ)
{
#if SLIDER_INDEX_BY_PEXT
    return _pdep_u64(t.attacks[slider_index(t, occ)], t.rays);
#else
    return t.attacks[slider_index(t, occ)];
#endif
}

#if SLIDER_INDEX_BY_PEXT
inline u64 rook_attack_set(int sq, u64 occ) { return slider_lookup(rook_table[sq], occ); }
#else
// Without PEXT a rook's set is its rank's and its file's, each looked up by
// the six inner squares of its line in a small table that stays in the
// nearest cache (a multiply table of every rook pattern would not).
// rank_attack_bits[f][o]: the files a rook on file f attacks along its rank
// when o holds files b-g of the rank; file_attack_sets[r][o]: the set of a
// rook on a1 + 8r along the a-file when o holds ranks 2-7 of the file.
extern u8 rank_attack_bits[8][64];
extern u64 file_attack_sets[8][64];
inline u64 rook_attack_set(int sq, u64 occ)
{
    const int f = sq & 7, r = sq >> 3;
    const u64 rank = u64(rank_attack_bits[f][(occ >> (8 * r + 1)) & 63]) << (8 * r);
    // The multiply gathers the a-file's ranks 2-7 into the top six bits.
    const u64 file_inner = (((occ >> f) & FILE_A) * 0x0004081020408000ULL) >> 58;
    return rank | (file_attack_sets[r][file_inner] << f);
}
#endif
inline u64 bishop_attack_set(int sq, u64 occ) { return slider_lookup(bishop_table[sq], occ); }

// Whether a piece of `colour` attacks `sq` in the position's current sets.
inline bool is_square_attacked_by(const Position& pos, int sq, int colour)
{
    const u64* own = pos.pieces[colour];
    if (pawn_attacks[colour ^ 1][sq] & own[PAWN]) return true;
    if (knight_attacks[sq] & own[KNIGHT]) return true;
    if (king_attacks[sq] & own[KING]) return true;
    const u64 occ = pos.pieces[0][0] | pos.pieces[1][0];
    for (u64 s = bishop_rays[sq] & (own[BISHOP] | own[QUEEN]); s;) {
        if (!(between_squares[pop_lowest_bit(s)][sq] & occ)) return true;
    }
    for (u64 s = rook_rays[sq] & (own[ROOK] | own[QUEEN]); s;) {
        if (!(between_squares[pop_lowest_bit(s)][sq] & occ)) return true;
    }
    return false;
}

// The same sets by walking the rays to their first blocker; the attack
// tables are built from these.
u64 rook_attack_set_by_rays(int sq, u64 occ);
u64 bishop_attack_set_by_rays(int sq, u64 occ);

