// Decoding of one pair-coded value table of a Syzygy file: pair symbols
// under a canonical prefix code, read in place from the mapped file. Every
// read is checked against the bounds found when the decoder was built, so a
// damaged file yields a failed decode, never a read outside the file.
#pragma once

#include "types.h"

struct TbPairDecoder {
    const u8* index_table;     // 6-byte entries: block (u32 LE), position (u16 LE)
    const u8* size_table;      // u16 LE per block: values in the block minus one
    const u8* data;            // blocks of 2^block_size bytes
    const u8* offset;          // code offsets (u16 LE), entry 0 for min_length
    u8* symbol_length;         // values per symbol minus one
    const u8* symbol_pattern;  // 3-byte symbol entries of the header
    u32 block_size;
    u32 index_bits;            // 0 = constant table
    u32 min_length;            // constant tables: the value every index holds
    u32* base;                 // code bases, entry 0 for min_length
    // Bounds, checked on every decode.
    u32 max_length;
    u32 symbol_count;
    u32 real_blocks;
    u32 total_blocks;          // real plus extra blocks (size-table entries)
    u64 index_entries;
};

// Section sizes a header asks for, in bytes.
struct TbSectionSizes {
    u64 index_table;
    u64 size_table;
    u64 data;
};

// Reads the pair-coding header at `header` (the file ends at `end`) of a
// table of `values` values. Returns the decoder (one allocation, freed with
// free_pair_decoder) and writes the section sizes and the next header's
// address, or returns nullptr when the header is damaged or runs past `end`.
TbPairDecoder* build_pair_decoder(const u8* header, const u8* end, u64 values, TbSectionSizes* sizes,
                                  const u8** next);
// A decoder for a constant table: every index decodes to `value`.
TbPairDecoder* make_constant_decoder(u32 value);
void free_pair_decoder(TbPairDecoder* d);

// Fills symbol_length of symbol s and, first, of the symbols it is made of.
// state[] is 0 (not done), 1 (in progress), 2 (done). Returns false when the
// symbols are damaged (a cycle, a half out of range, a length over 255).
bool pair_symbol_length(TbPairDecoder* d, u32 s, u8* state);

// The value byte stored at `index` (0..255), or -1 when the stored data
// are damaged (an index, block or symbol outside what the header declared).
int decode_pair_coded_value(const TbPairDecoder* d, u64 index);
