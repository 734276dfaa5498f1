// Position indexing of the Syzygy tables: the board folded by its
// symmetries (pawnless tables) or by the leading pawn's file (tables with
// pawns), and the combinatorial factors that number the remaining groups.
#pragma once

#include "types.h"

struct TbPawnEntry;

// Computed and constant index tables, built by init_tb_index_tables().
extern u32 choose_table[5][64];         // [k][n] = C(n, k + 1)
extern u8 lead_pawn_slot[64];
extern u8 pawn_rank_order[64];
extern u32 lead_pawn_offset[5][24];
extern u32 lead_pawn_count[5][4];
extern i8 diagonal_side[64];
extern u8 transpose_square[64];
extern u8 triangle_slot[64];
extern u8 diagonal_index[64];
extern u8 lower_index[64];
extern i16 king_pair_index[10][64];
constexpr u32 lead_group_size_enc0 = 31332;
constexpr u32 lead_group_size_enc2 = 462;
inline u32 lead_group_size(int encoding) { return encoding == 0 ? lead_group_size_enc0 : lead_group_size_enc2; }

// Builds the tables above; idempotent.
void init_tb_index_tables();

// Group sizes of one side: the leading group at position 0, then every run
// of equal codes (pawnless), or the two pawn groups then the runs (pawns).
void pawnless_group_sizes(u8 sizes[6], const u8 order[6], int n, int encoding);
void pawn_group_sizes(u8 sizes[6], const u8 order[6], int n, const u8 pawn_counts[2]);

// Factors of one pawnless side with leading-group step `order`; returns the
// number of indices, or 0 when the order never places the leading group
// (a damaged header).
u64 pawnless_index_factors(u32 factors[6], int n, int encoding, const u8 sizes[6], int order);
// Factors of one side of one file group of a pawn table; order2 = 15 means
// no second pawn group. Returns the number of indices, 0 when damaged.
u64 pawn_table_index_factors(u32 factors[6], int n, int order, int order2, const u8 sizes[6], int file_group);

// Index of a position in a pawnless table; squares are in piece order and
// are mirrored and sorted in place.
u64 encode_piece(int n, int encoding, const u8 sizes[6], u8 squares[6], const u32 factors[6]);
// Index in a pawn table; squares[0] is the leading pawn, the first
// pawn_counts[0] squares the leading colour's pawns.
u64 pawn_table_position_index(int n, const u8 pawn_counts[2], const u8 sizes[6], u8 squares[6], const u32 factors[6]);
