// Reading the headers of mapped table files: piece orders checked against
// the table's material, pair-coding headers and the placement of their
// sections, each checked against the mapped length before use.
#pragma once

#include "tb_decode.h"
#include "types.h"

inline u32 read_le32(const u8* p) { return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24); }

// A piece order of n codes (1..6, 9..14) that holds exactly the table's
// material (counts indexed by code) with each kind of piece in one run.
bool piece_order_is_valid(const u8 order[6], int n, const int counts[16]);
// The same, and the leading colour's pawns (lead_code) first, followed by
// the other colour's pawns when pawn_counts[1] is not 0.
bool pawn_order_is_valid(const u8 order[6], int n, const int counts[16], const u8 pawn_counts[2], int lead_code);

// Reads one pair-coding header at offset *at of a file of `length` bytes:
// the two-byte constant form (every index decodes to constant_value, or to
// the stored byte when constant_value is -1) or a full header. Advances *at
// past the header and writes the section sizes; nullptr when damaged.
TbPairDecoder* read_pair_header(const u8* base, u64 length, u64* at, u64 values, int constant_value,
                                TbSectionSizes* sizes);
// Places the index tables, then the size tables, then the data sections
// (each at a multiple of 64) of `count` decoders from offset *at on.
// Returns false when any section ends past the file.
bool place_sections(const u8* base, u64 length, u64* at, TbPairDecoder* const* decoders,
                   const TbSectionSizes* sizes, int count);
