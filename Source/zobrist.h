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

// The full key of the position after `e`, computed before the move is
// played: exact unless the move changes castling rights, sets an en passant
// square, castles, promotes or takes en passant. Only loads ahead of the
// child use it, where a wrong key merely wastes the load.
inline u64 likely_key_after(const Position& pos, const MoveEntry& e)
{
    const int from = move_from(e.move), to = move_to(e.move);
    u64 key = pos.key ^ zobrist_piece[e.piece][from] ^ zobrist_piece[e.piece][to];
    if (e.captured) key ^= zobrist_piece[e.captured][to];
    return key ^ zobrist_state[pos.castling] ^ zobrist_state[NO_SQUARE] ^ zobrist_side[pos.side ^ 1];
}
