// Zobrist keys: piece-square keys, castling / en-passant state keys and the
// side keys. The position keeps only the piece key; the transposition table
// folds in the state and side keys when it probes and stores.
#pragma once

#include "types.h"

extern u64 zobrist_piece[16][64];   // [piece code][square]
extern u64 zobrist_state[66];       // [castling rights 0..15] and [en-passant square, 64 = none]
constexpr u64 zobrist_side[2] = {0, ~u64(0)};

// Fills the keys from two 16-bit multiply-with-carry generators seeded 1, 1.
// Idempotent: only the first call generates.
void generate_zobrist_keys();

inline u64 full_key(const Position& pos)
{
    return pos.key ^ zobrist_state[pos.castling] ^ zobrist_state[pos.ep_square] ^ zobrist_side[pos.side];
}
